// Play and Stop: the song, or some of its notes alone, sounded with its
// instrument's font (or simple voices where there is none), the roll's
// cursor and the lit notes following the audio clock, again and again while
// Loop is checked.
import { compose } from './midicompose/index.js';
import { playWithFont } from './player.js';
import { LABEL_WIDTH } from './roll.js';
import { playVoices } from './voices.js';

export const SECONDS_PER_BEAT = 0.5;  // the engine writes no tempo: 120 beats a minute
const HALF_FRAME = 1 / 120;  // seconds, at 60 frames a second

// Some of the song's notes alone, as the engine composes them from their own
// characters (a space keeps each name in beat notation), with the song's
// instrument and beats; the whole song when they are all of it.
function partOf(whole, indexes, text, beats) {
  if (!indexes || indexes.length === whole.timeline.length) return whole;
  const notes = indexes.map((i) => text.slice(...whole.timeline[i].place)).join(' ') + ' ';
  return compose(notes, { instrument: whole.program, beats });
}

/**
 * `latest()` is the page's song and `textOf(song)` its notes text; `beats()`
 * the default length typed; `prepared(program)` resolves with the font and
 * the renderer (either null where there is none); `places` lights what
 * sounds; `pixelsPerBeat()` places the cursor. The page's dataset is told
 * what sounded and when.
 */
export function playback({ button, loop, page, latest, textOf, beats, prepared, places, pixelsPerBeat }) {
  let playing = null;  // { stop() } while sound plays, or while Play waits for its font

  function stop() {
    if (!playing) return;
    playing.stop();
    playing = null;
    button.textContent = 'Play';
    button.removeAttribute('aria-busy');
    page.playing = 'false';
    document.getElementById('cursor')?.setAttribute('visibility', 'hidden');
    places.light(null);
  }

  // The cursor and the lit notes follow the music from `start` (context
  // time) to its last beat: `part` sounds from beat `offset` of `song`, for
  // as long as `ticket` is what plays. At its end, Loop plays it again
  // (`again`), else it stops.
  function follow(ticket, context, start, song, part, offset, again) {
    const cursor = document.getElementById('cursor'), last = Math.max(...part.timeline.map((n) => n.start + n.beats));
    cursor?.setAttribute('visibility', 'visible');
    let shown = null;
    const step = () => {
      if (playing !== ticket) return;
      // Where the music will be half a frame on, about when this frame is shown.
      const beat = (context.currentTime + HALF_FRAME - start) / SECONDS_PER_BEAT;
      if (beat > last + 0.5) return loop.checked ? again() : stop();
      // Only the part's own notes are lit: not the song's before it starts, nor after it ends.
      const span = places.light(beat >= 0 && beat < last ? offset + beat : null);
      if (span && span[1] !== shown) {  // how far from its start by the audio clock each note was lit
        shown = span[1];
        const off = (context.currentTime - start) * 1000 - (song.timeline[shown].start - offset) * SECONDS_PER_BEAT * 1000;
        page.litOffMs = String(Math.max(Number(page.litOffMs ?? 0), Math.round(Math.abs(off))));
      }
      const x = LABEL_WIDTH + Math.max(0, offset + beat) * pixelsPerBeat();
      cursor?.setAttribute('x1', x);
      cursor?.setAttribute('x2', x);
      requestAnimationFrame(step);
    };
    requestAnimationFrame(step);
  }

  // Play sounds the instrument chosen, never another: pressed before its
  // slice is here, it says it is loading it and starts when it arrives.
  // `indexes`, if any, are the notes to play alone.
  async function play(indexes) {
    if (playing) return stop();
    const song = latest();
    if (!song) return;
    const clicked = performance.now();
    const context = new AudioContext();  // made within the press, so that it may start
    const ticket = { stop: () => context.close() };
    playing = ticket;
    page.playing = 'true';
    button.textContent = 'Stop';
    const waiting = prepared(song.program);
    if (!waiting.ready) {
      button.textContent = `Loading ${song.instrument}…`;
      button.setAttribute('aria-busy', 'true');
    }
    const [[font, renderer], part] = await Promise.all([waiting, partOf(song, indexes, textOf(song), beats())]);
    if (playing !== ticket || song !== latest()) return;  // stopped, or composed anew, while it loaded
    button.textContent = 'Stop';
    button.removeAttribute('aria-busy');
    const offset = indexes?.length ? song.timeline[indexes[0]].start : 0;
    const round = () => {
      const started = (start) => {
        page.firstSoundMs = String(Math.round(performance.now() - clicked));  // to the sound scheduled
        page.soundAfterMs = String(Math.round(performance.now() + (start - context.currentTime) * 1000 - clicked));  // to it heard
        page.firstSoundAt = String(Math.round(performance.now() + (start - context.currentTime) * 1000));
        page.contextState = context.state;
        page.sourcesStarted = String(Number(page.sourcesStarted ?? 0) + 1);
        page.sounded = `${song.program} ${font && renderer ? 'font' : 'voices'}`;
        page.soundedNotes = String(part.notes);
        follow(ticket, context, start, song, part, offset, round);
      };
      if (font && renderer) {
        const player = playWithFont(context, part, font, started, renderer);
        ticket.stop = () => { player.stop(); context.close(); };
      } else {
        const start = context.currentTime + 0.05;
        playVoices(context, part, start, SECONDS_PER_BEAT);
        started(start);
      }
    };
    round();
  }

  return { play, stop, playing: () => playing !== null };
}
