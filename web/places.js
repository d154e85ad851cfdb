// Every note knows its characters: the engine gives each note its place in
// the notes text (note.place), and this module ties the field, the roll and
// the score together through it. The notes that sound are lit in all three;
// the caret or a selection in the field marks the notes it touches; a click
// on a note (or Enter on the focused one) selects its characters and sounds
// it; and each view is one tab stop whose arrow keys walk the notes, each
// with an accessible name made of the engine's facts.

const BEATS_PER_MEASURE = 4;  // the score is in 4/4
// Written values by their length in beats; triplets are two thirds of the plain value.
const VALUES = [[4, 'whole note'], [3, 'dotted half note'], [2, 'half note'], [1.5, 'dotted quarter note'],
  [4 / 3, 'half-note triplet'], [1, 'quarter note'], [0.75, 'dotted eighth note'], [2 / 3, 'quarter-note triplet'],
  [0.5, 'eighth note'], [0.375, 'dotted 16th note'], [1 / 3, 'eighth-note triplet'], [0.25, '16th note'],
  [1 / 6, '16th-note triplet'], [0.125, '32nd note'], [1 / 12, '32nd-note triplet'], [0.0625, '64th note']];

const valueName = (beats) => (beats === 0 ? 'grace note'
  : VALUES.find(([length]) => Math.abs(length - beats) < 1 / 128)?.[1] ?? `${Number(beats.toFixed(3))} beats`);

/** "E5, half note, measure 2, beat 1: E5:2, characters 9 to 12": the note's
 * pitch, value, place in the measures and characters in `text`. */
export function noteName(note, text) {
  const [start, end] = note.place;
  const beat = Number(((note.start % BEATS_PER_MEASURE) + 1).toFixed(2));
  const characters = end - start === 1 ? `character ${end}` : `characters ${start + 1} to ${end}`;
  return `${note.name}, ${valueName(note.beats)}, measure ${Math.floor(note.start / BEATS_PER_MEASURE) + 1}, ` +
         `beat ${beat}: ${text.slice(start, end)}, ${characters}`;
}

/** The notes sounding at `beat`: the one that sounds with the grace notes
 * just before it, as [first, last] indexes; null when none does. */
export function soundingAt(timeline, beat) {
  const last = beat === null ? -1 : timeline.findIndex((n) => n.start <= beat && beat < n.start + n.beats);
  if (last < 0) return null;
  let first = last;
  while (first > 0 && timeline[first - 1].beats === 0) first--;
  return [first, last];
}

/** The notes whose characters [start, end) touches; a caret (start ===
 * end) touches the note it stands in or at either end of. */
export function notesTouched(timeline, start, end) {
  const found = [];
  timeline.forEach(({ place: [from, to] }, index) => {
    if (start === end ? from <= start && start <= to : from < end && start < to) found.push(index);
  });
  return found;
}

/** The notes field's layer beneath its text: each note's characters in a
 * span of its own (data-note, to light and mark), each warning's underlined. */
export function markText(marks, text, timeline, warnings) {
  const notes = timeline.map((note) => note.place);
  const warned = warnings.filter((w) => w.argument === 'notes').map((w) => [w.start, w.end]);
  const cuts = [...new Set([0, text.length, ...notes.flat(), ...warned.flat()])].sort((a, b) => a - b);
  const inside = (spans, at) => spans.findIndex(([start, end]) => start <= at && at < end);
  const parts = [];
  let span = null;
  for (let i = 0; i + 1 < cuts.length; i++) {
    const piece = text.slice(cuts[i], cuts[i + 1]), note = inside(notes, cuts[i]);
    const part = inside(warned, cuts[i]) < 0 ? piece : Object.assign(document.createElement('mark'), { textContent: piece });
    if (note < 0) {
      span = null;
      parts.push(part);
      continue;
    }
    if (Number(span?.dataset.note) !== note) {
      span = Object.assign(document.createElement('span'), { className: 'place' });
      span.dataset.note = note;
      parts.push(span);
    }
    span.append(part);
  }
  marks.replaceChildren(...parts);
}

/**
 * Ties the field (`input`, its layer `marks`) to the views. `song()` is the
 * latest composition, `textOf(song)` the notes text it came from;
 * `sound(indexes)` plays those notes of the latest song alone.
 */
export function placesOf({ input, marks, song, textOf, sound }) {
  const views = new Map();  // container -> the song it shows and its notes: { shown, items: [{ element, index }] }
  let lit = [], marked = [];

  // The elements of these notes in the field's layer and in each view that shows the latest song.
  const elementsOf = (indexes) => {
    const wanted = new Set(indexes);
    const found = [...marks.querySelectorAll('[data-note]')].filter((e) => wanted.has(Number(e.dataset.note)));
    for (const { shown, items } of views.values()) {
      if (shown === song()) for (const { element, index } of items) if (wanted.has(index)) found.push(element);
    }
    return found;
  };
  const mark = (elements, className, previous) => {
    for (const element of previous) element.classList.remove(className);
    for (const element of elements) element.classList.add(className);
    return elements;
  };

  function choose(index, shown) {
    if (shown !== song()) return;  // a view of an earlier song, about to be drawn again
    const [start, end] = shown.timeline[index].place;
    input.focus();
    input.setSelectionRange(start, end);
    showSelection();
    sound([index]);
  }

  // The notes the caret or the selection touches, marked on the views while
  // the field has the focus or a selection.
  function showSelection() {
    const latest = song(), selected = input.selectionStart !== input.selectionEnd;
    const touched = latest && (selected || document.activeElement === input)
      ? notesTouched(latest.timeline, input.selectionStart, input.selectionEnd) : [];
    marked = mark(elementsOf(touched).filter((e) => !marks.contains(e)), 'selected', marked);
  }

  /** Makes `container`'s notes of `shown` one tab stop: named, walked with
   * the arrow keys, Home and End, chosen with Enter or a click. `items` are
   * in order, each { element, index, stop }: `element` is lit and marked,
   * and the first `stop` (default `element`) of each note is what the
   * keyboard reaches, so tied pieces name their note once. */
  function walk(container, items, shown) {
    const words = textOf(shown), first = new Map(), indexOf = new Map();
    views.set(container, { shown, items });
    for (const { element, index, stop = element } of items) if (!first.has(index)) first.set(index, stop);
    first.forEach((stop, index) => {
      indexOf.set(stop, index);
      stop.id = `${container.id}-note-${index}`;
      Object.entries({ role: 'button', tabindex: index === 0 ? '0' : '-1', 'aria-label': noteName(shown.timeline[index], words) })
        .forEach(([key, value]) => stop.setAttribute(key, value));
    });
    const stops = [...first.values()];
    // Read in the order walked, whatever the order drawn (a grace note is drawn inside the note it leads to).
    container.setAttribute('aria-owns', stops.map((stop) => stop.id).join(' '));
    container.onkeydown = (event) => {
      const at = stops.indexOf(event.target);
      if (at < 0) return;
      const to = { ArrowRight: at + 1, ArrowDown: at + 1, ArrowLeft: at - 1, ArrowUp: at - 1, Home: 0, End: stops.length - 1 }[event.key];
      if (event.key === 'Enter') choose(indexOf.get(stops[at]), shown);
      else if (to === undefined) return;
      else stops[Math.max(0, Math.min(stops.length - 1, to))].focus();
      event.preventDefault();
    };
    let focused = [];
    container.onfocusin = (event) => {
      const index = indexOf.get(event.target);
      if (index === undefined) return;
      for (const stop of stops) stop.setAttribute('tabindex', stop === event.target ? '0' : '-1');
      focused = mark(items.filter((item) => item.index === index).map((item) => item.element), 'focused', focused);
      if (event.target.matches(':focus-visible') && shown === song()) sound([index]);  // reached from the keyboard; a click sounds it itself
    };
    container.onfocusout = () => { focused = mark([], 'focused', focused); };
    container.onclick = (event) => {
      const element = event.target.closest?.('[data-note]');
      if (element && container.contains(element)) choose(Number(element.dataset.note), shown);
    };
    showSelection();
  }

  for (const type of ['select', 'keyup', 'pointerup', 'focus', 'blur']) input.addEventListener(type, showSelection);
  document.addEventListener('selectionchange', showSelection);

  return {
    walk,
    /** The notes a selection in the field touches, or null when nothing is selected. */
    selected: () => (input.selectionStart !== input.selectionEnd && song()
      ? notesTouched(song().timeline, input.selectionStart, input.selectionEnd) : null),
    /** Lights the notes sounding at `beat` in the field and on the views; null clears. */
    light(beat) {
      const span = beat === null ? null : soundingAt(song().timeline, beat);
      const indexes = span ? Array.from({ length: span[1] - span[0] + 1 }, (_, i) => span[0] + i) : [];
      const now = elementsOf(indexes);
      if (now.length === lit.length && now.every((element, i) => element === lit[i])) return span;
      lit = mark(now, 'sounding', lit);
      for (const container of [marks, ...views.keys()]) container.dataset.sounding = span ? String(span[1]) : '-1';
      return span;
    },
  };
}
