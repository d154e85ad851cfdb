// The playground: note text in; piano roll, sound, the .mid and the .wav out.
// Every byte and every note comes from the midicompose engine; this page
// draws the notes it hands back and plays them through the package's
// renderer with a real General MIDI font (or, without one, simple voices).
import { compose, instruments } from './midicompose/index.js';
import { render } from './midicompose/audio.js';
import { loadFont, playWithFont } from './player.js';
import { LABEL_WIDTH, drawRoll } from './roll.js';
import { readLink, writeLink } from './share.js';
import { playVoices } from './voices.js';

const $ = (id) => document.getElementById(id);
const notesInput = $('notes'), instrumentSelect = $('instrument'), beatsInput = $('beats');
const report = $('report'), roll = $('roll'), programLine = $('program'), fontLine = $('font');
const playButton = $('play'), downloadButton = $('download'), wavButton = $('download-wav'), linkButton = $('copy-link');

const SECONDS_PER_BEAT = 0.5;  // the engine writes no tempo: 120 beats a minute
const page = document.body.dataset;
let song = null;          // the latest successful composition
let font = null;          // the soundfont's bytes, once loaded
let playing = null;       // { stop() } while sound plays
let pixelsPerBeat = 48;

for (const [name, program] of Object.entries(await instruments())) {
  instrumentSelect.append(new Option(`${name} (${program})`, name));
}
instrumentSelect.value = 'violin';
const linked = readLink();
if (linked) {
  notesInput.value = linked.notes;
  if (linked.instrument !== undefined) instrumentSelect.value = linked.instrument;
  if (linked.beats !== undefined) beatsInput.value = linked.beats;
}

const current = () => ({ notes: notesInput.value, instrument: instrumentSelect.value, beats: beatsInput.value });

// The warnings: their places in the notes underlined under the field's own
// text, and each listed with the text it is about.
function showWarnings(warnings) {
  const marks = $('notes-marks'), text = notesInput.value;
  marks.replaceChildren();
  let at = 0;
  for (const w of warnings) {
    if (w.argument !== 'notes' || w.end <= at) continue;  // a place inside one already marked
    marks.append(text.slice(at, Math.max(at, w.start)));
    marks.append(Object.assign(document.createElement('mark'), { textContent: text.slice(Math.max(at, w.start), w.end) }));
    at = w.end;
  }
  marks.append(text.slice(at));
  marks.scrollLeft = notesInput.scrollLeft;
  const texts = { notes: text, beats: beatsInput.value, instrument: instrumentSelect.value };
  const list = document.createElement('ul');
  for (const w of warnings) {
    const item = document.createElement('li');
    item.append(Object.assign(document.createElement('code'), { textContent: texts[w.argument].slice(w.start, w.end) }),
                ` ${w.message}`);
    list.append(item);
  }
  $('warnings').replaceChildren(...(warnings.length ? [list] : []));
}

function redraw() {
  if (song) pixelsPerBeat = drawRoll(roll, song, $('roll-frame').clientWidth);
}

let pending = 0;
async function update() {
  const ticket = ++pending;
  stop();
  try {
    const result = await compose(notesInput.value, { instrument: instrumentSelect.value, beats: beatsInput.value });
    if (ticket !== pending) return;
    song = result;
    showWarnings(result.warnings);
    report.textContent = result.report;
    report.classList.remove('error');
    report.removeAttribute('role');
    redraw();
    warmUp(song.program);
    programLine.textContent = song.program === 128 ? 'Drums: percussion on channel 10' : `Program ${song.program}: ${song.instrument}`;
  } catch (error) {
    if (ticket !== pending) return;
    song = null;
    showWarnings([]);
    report.textContent = error.message;
    report.classList.add('error');
    report.setAttribute('role', 'alert');  // announced at once
    roll.replaceChildren();
    programLine.textContent = '';
  }
  playButton.disabled = downloadButton.disabled = song === null;
  wavButton.disabled = song === null || !font;
  page.composed = String(ticket);
}

// The font's samples for an instrument are decoded the first time it plays:
// done ahead, in the background, for the instrument chosen, so that Play
// only renders.
const warmed = new Set();
function warmUp(program) {
  if (!font || warmed.has(program)) return;
  warmed.add(program);
  setTimeout(async () => render(await compose('C', { instrument: program }), { soundfont: font }), 0);
}

function stop() {
  if (!playing) return;
  playing.stop();
  playing = null;
  playButton.textContent = 'Play';
  page.playing = 'false';
  $('cursor')?.setAttribute('visibility', 'hidden');
}

// The cursor follows the music from `start` (context time) to its last beat.
function follow(context, start) {
  const cursor = $('cursor'), last = Math.max(...song.timeline.map((n) => n.start + n.beats));
  cursor?.setAttribute('visibility', 'visible');
  const step = () => {
    if (!playing) return;
    const beat = (context.currentTime - start) / SECONDS_PER_BEAT;
    if (beat > last + 0.5) return stop();
    const x = LABEL_WIDTH + Math.max(0, beat) * pixelsPerBeat;
    cursor?.setAttribute('x1', x);
    cursor?.setAttribute('x2', x);
    requestAnimationFrame(step);
  };
  requestAnimationFrame(step);
}

function play() {
  if (playing) return stop();
  if (!song) return;
  const clicked = performance.now();
  const context = new AudioContext();
  const started = (start) => {
    page.firstSoundMs = String(Math.round(performance.now() - clicked));
    page.contextState = context.state;
    page.sourcesStarted = String(Number(page.sourcesStarted ?? 0) + 1);
    follow(context, start);
  };
  if (font) {
    const player = playWithFont(context, song, font, started);
    playing = { stop: () => { player.stop(); context.close(); } };
  } else {
    const start = context.currentTime + 0.05;
    playVoices(context, song, start, SECONDS_PER_BEAT);
    started(start);
    playing = { stop: () => context.close() };
  }
  playButton.textContent = 'Stop';
  page.playing = 'true';
}

function save(bytes, type, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

async function downloadWav() {
  if (!song || !font) return;
  wavButton.disabled = true;
  try {
    save((await render(song, { soundfont: font })).wav, 'audio/wav', 'composition.wav');
  } finally {
    wavButton.disabled = song === null;
  }
}

async function copyLink() {
  writeLink(current());
  try {
    await navigator.clipboard.writeText(location.href);
    fontLine.textContent = 'Link copied.';
  } catch {
    fontLine.textContent = `Link: ${location.href}`;  // no clipboard here: the address, to copy by hand
  }
}

async function fetchFont() {
  wavButton.disabled = true;
  fontLine.textContent = 'Loading the General MIDI soundfont…';
  try {
    font = await loadFont('soundfont.sf3', (received, total) => {
      fontLine.textContent = total ? `Loading the General MIDI soundfont… ${Math.round((100 * received) / total)}%`
                                   : `Loading the General MIDI soundfont… ${(received / 1e6).toFixed(1)} MB`;
    });
  } catch {
    font = null;
  }
  if (font) {
    warmUp(song?.program ?? 0);
    fontLine.textContent = `Soundfont loaded (${(font.length / 1e6).toFixed(1)} MB): you hear the instrument you chose.`;
  } else {
    fontLine.textContent = 'No soundfont beside this page (make wasm copies one where Debian\'s fluidr3mono-gm-soundfont is ' +
                           'installed): Play uses simple voices, and there is no .wav to download.';
  }
  wavButton.disabled = song === null || !font;
  wavButton.hidden = !font;
  page.font = font ? 'loaded' : 'none';
}

let timer = 0;
for (const input of [notesInput, instrumentSelect, beatsInput]) {
  input.addEventListener('input', () => {
    writeLink(current());
    clearTimeout(timer);
    timer = setTimeout(update, 120);
  });
}
notesInput.addEventListener('scroll', () => { $('notes-marks').scrollLeft = notesInput.scrollLeft; });
$('controls').addEventListener('submit', (event) => event.preventDefault());
playButton.addEventListener('click', play);
downloadButton.addEventListener('click', () => song && save(song.data, 'audio/midi', 'composition.mid'));
wavButton.addEventListener('click', downloadWav);
linkButton.addEventListener('click', copyLink);
// Space plays and stops, except where it types a space or presses a button.
document.addEventListener('keydown', (event) => {
  if (event.code !== 'Space' || event.target.closest('input, select, textarea, button')) return;
  event.preventDefault();
  play();
});
new ResizeObserver(redraw).observe($('roll-frame'));
await update();
fetchFont();
