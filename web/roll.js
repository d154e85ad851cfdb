// The piano roll: the notes the engine hands back (song.timeline), pitch
// against time on a grid of beats, filling the width of its panel; a long
// composition scrolls rather than shrinking past reading.
import { keyName } from './midicompose/index.js';

const SVG = 'http://www.w3.org/2000/svg';
const DRUM_CHANNEL = 9;  // channel 10, where a General MIDI key names a percussion sound
export const LABEL_WIDTH = 36;
const LANE = 12, MIN_PIXELS_PER_BEAT = 24, MAX_PIXELS_PER_BEAT = 160;

function element(name, attributes, parent) {
  const node = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  parent.append(node);
  return node;
}

// What the warnings say of each note, by its index.
function remarksByNote(warnings) {
  const remarks = new Map();
  for (const w of warnings) if (w.note !== null) remarks.set(w.note, [...(remarks.get(w.note) ?? []), w.message]);
  return remarks;
}

/** Draws the song into the svg, as wide as `width` allows; returns the
 * pixels a beat takes, for the cursor. Each note's rect carries its index
 * (data-note); a note a warning is about is outlined, marked after its
 * name, and its title says why. The names drawn are for the eye: each
 * note's accessible name is given by the page. */
export function drawRoll(roll, song, width) {
  roll.replaceChildren();
  const notes = song.timeline;
  const low = Math.min(...notes.map((n) => n.key)) - 1, high = Math.max(...notes.map((n) => n.key)) + 1;
  const totalBeats = Math.max(1, Math.ceil(Math.max(...notes.map((n) => n.start + n.beats))));
  const perBeat = Math.min(MAX_PIXELS_PER_BEAT, Math.max(MIN_PIXELS_PER_BEAT, (width - LABEL_WIDTH - 8) / totalBeats));
  const fullWidth = Math.max(width, LABEL_WIDTH + totalBeats * perBeat + 8), height = (high - low + 1) * LANE;
  Object.entries({ width: fullWidth, height, viewBox: `0 0 ${fullWidth} ${height}`, 'data-pixels-per-beat': perBeat })
    .forEach(([key, value]) => roll.setAttribute(key, value));
  const y = (key) => (high - key) * LANE;
  for (let key = low; key <= high; key++) {
    if ([1, 3, 6, 8, 10].includes(key % 12)) element('rect', { class: 'lane', x: LABEL_WIDTH, y: y(key), width: fullWidth, height: LANE }, roll);
    if (key % 12 === 0) element('text', { x: 2, y: y(key) + LANE - 2, 'aria-hidden': 'true' }, roll).textContent = keyName(key);
  }
  for (let beat = 0; beat <= totalBeats; beat++) {
    const x = LABEL_WIDTH + beat * perBeat;
    element('line', { class: 'beat', x1: x, x2: x, y1: 0, y2: height }, roll);
  }
  const remarks = remarksByNote(song.warnings);
  notes.forEach((note, index) => {
    const drums = note.channel === DRUM_CHANNEL, remark = remarks.get(index);
    const rect = element('rect', {
      class: (drums ? 'drum' : 'note') + (remark ? ' warned' : ''), x: LABEL_WIDTH + note.start * perBeat, y: y(note.key) + 1,
      width: Math.max(2, note.beats * perBeat - 1), height: LANE - 2, rx: drums ? 5 : 2,
      'data-key': note.key, 'data-start': note.start, 'data-beats': note.beats, 'data-note': index,
    }, roll);
    element('title', {}, rect).textContent =
      `${note.name} at beat ${note.start}, ${note.beats} beats` + (remark ? `: ${remark.join('; ')}` : '');
    element('text', { x: LABEL_WIDTH + note.start * perBeat + 2, y: y(note.key) - 1, 'aria-hidden': 'true' }, roll).textContent =
      note.name + (remark ? ' \u26A0' : '');
  });
  element('line', { class: 'cursor', id: 'cursor', x1: LABEL_WIDTH, x2: LABEL_WIDTH, y1: 0, y2: height, visibility: 'hidden' }, roll);
  return perBeat;
}
