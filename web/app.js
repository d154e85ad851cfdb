// The playground: note text in; piano roll or score, sound, the .mid, the
// .wav and the .musicxml out.
// Every byte and every note comes from the midicompose engine; this page
// draws the notes it hands back and plays them through the package's
// renderer with a real General MIDI font, fetched an instrument at a time
// (or, where there is none to be had, simple voices).
import { compose, instruments, version } from './midicompose/index.js';
import { fontSlices } from './fonts.js';
import { playWithFont } from './player.js';
import { LABEL_WIDTH, drawRoll } from './roll.js';
import { keepEngraver } from './score.js';
import { scorePanel } from './score-panel.js';
import { readLink, writeLink } from './share.js';
import { playVoices } from './voices.js';

const $ = (id) => document.getElementById(id);
const notesInput = $('notes'), instrumentSelect = $('instrument'), beatsInput = $('beats');
const report = $('report'), roll = $('roll'), programLine = $('program'), fontLine = $('font');
const playButton = $('play'), downloadButton = $('download'), wavButton = $('download-wav'), linkButton = $('copy-link');
const musicxmlButton = $('download-musicxml'), svgButton = $('download-svg');
const viewInputs = [...document.querySelectorAll('input[name="view"]')];

const SECONDS_PER_BEAT = 0.5;  // the engine writes no tempo: 120 beats a minute
const page = document.body.dataset;
let song = null;          // the latest successful composition
let playing = null;       // { stop() } while sound plays, or while Play waits for its font
let pixelsPerBeat = 48;
const release = await version();
const fonts = fontSlices(`fonts-${release}`, `midicompose-${release}`);
// The renderer and its synthesizer, the page's heaviest part: imported once
// the page is usable, when the first sound is prepared.
let audioModule = null;
const audio = () => (audioModule ??= import('./midicompose/audio.js').catch(() => { audioModule = null; return null; }));
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
// The view: the link's, else the one chosen last time here, else the roll.
const VIEW_KEY = 'midicompose-view';
const storedView = () => { try { return localStorage.getItem(VIEW_KEY); } catch { return null; } };
const firstView = linked?.view ?? storedView();
for (const input of viewInputs) input.checked = input.value === (firstView === 'score' ? 'score' : 'roll');
const view = () => viewInputs.find((input) => input.checked).value;

const current = () => ({ notes: notesInput.value, instrument: instrumentSelect.value, beats: beatsInput.value,
                         view: view() === 'score' ? 'score' : undefined });

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
  const ticket = ++pending, began = performance.now();
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
    engrave(began);
    prepare(song);
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
    score.refuse(error.message);
  }
  playButton.disabled = downloadButton.disabled = wavButton.disabled = musicxmlButton.disabled = song === null;
  page.composed = String(ticket);
}

// The score, engraved only while its view is shown. page.scoreMs is the
// time from the start of the update (or the view's opening) to the score drawn.
const score = scorePanel({
  section: $('score-view'), container: $('score'), facts: $('score-facts'), svgButton, latest: () => song,
  notes: () => notesInput.value,
  engraved: (notes, ms) => Object.assign(page, { scoreNotes: String(notes), scoreMs: String(Math.round(ms)),
                                                 scored: String(Number(page.scored ?? 0) + 1) }),
});
const engrave = (began) => view() === 'score' && score.engrave(began);

function showView() {
  const scoreShown = view() === 'score';
  $('roll-view').hidden = scoreShown;
  $('score-view').hidden = !scoreShown;
  try { localStorage.setItem(VIEW_KEY, view()); } catch { /* storage refused: the choice lasts the visit */ }
  writeLink(current());
  if (scoreShown) engrave(performance.now());
  else redraw();
}

const kilobytes = (bytes) => `${Math.round(bytes / 1000)} KB`;

// What Play needs for the song's instrument, fetched as soon as it is
// chosen: its slice and the renderer. The line beside the buttons says
// which font plays, or why none does.
async function prepare({ program, instrument }) {
  const renderer = audio();
  const entry = await fonts.entry(program);
  const current = () => song?.program === program;
  if (!entry) {
    if (!current()) return;
    fontLine.textContent = 'No soundfont beside this page (make wasm cuts one from Debian\'s fluidr3mono-gm-soundfont): ' +
                           'Play uses simple voices, and there is no .wav to download.';
    wavButton.hidden = true;
    page.font = 'none';
    keepOffline();
    return;
  }
  wavButton.hidden = false;
  if (!fonts.has(program) && current()) {
    fontLine.textContent = `Loading the sound of ${instrument} (${kilobytes(entry.bytes)})…`;
    page.font = 'loading';
  }
  const [font] = await Promise.all([fonts.get(program), renderer]);
  if (font) warmUp(program, font);
  if (!current()) return;
  fontLine.textContent = font ? `${instrument}: “${entry.preset}” from ${entry.font} (${kilobytes(entry.bytes)}).`
                              : `The sound of ${instrument} could not be fetched: Play uses simple voices.`;
  page.font = font ? 'loaded' : 'none';
  keepOffline();
}

// A font's samples are decoded the first time they play: done ahead, in the
// background, for the instrument chosen, so that Play only renders; but not
// while Play is waiting, which would wait for it.
const warmed = new Set();
function warmUp(program, font) {
  if (warmed.has(program) || playing) return;
  warmed.add(program);
  setTimeout(async () => (await audio())?.render(await compose('C', { instrument: program }), { soundfont: font }), 0);
}

// The service worker keeps the page for offline visits: registered once
// the first sound is ready (or known to be the simple voices), so that it
// does not compete with it.
function keepOffline() {
  if (page.offline || !navigator.serviceWorker) return;
  page.offline = 'registering';
  navigator.serviceWorker.register('sw.js').then(() => navigator.serviceWorker.ready)
    .then(() => keepEngraver(`midicompose-${release}`).catch(() => {}))  // kept or not, the rest is offline
    .then(() => { page.offline = 'ready'; }, () => { page.offline = 'unavailable'; });
}

function stop() {
  if (!playing) return;
  playing.stop();
  playing = null;
  playButton.textContent = 'Play';
  playButton.removeAttribute('aria-busy');
  page.playing = 'false';
  $('cursor')?.setAttribute('visibility', 'hidden');
  score.follow(null);
}

// The cursor follows the music from `start` (context time) to its last beat.
function follow(context, start) {
  const cursor = $('cursor'), last = Math.max(...song.timeline.map((n) => n.start + n.beats));
  cursor?.setAttribute('visibility', 'visible');
  const step = () => {
    if (!playing) return;
    const beat = (context.currentTime - start) / SECONDS_PER_BEAT;
    if (beat > last + 0.5) return stop();
    score.follow(beat);
    const x = LABEL_WIDTH + Math.max(0, beat) * pixelsPerBeat;
    cursor?.setAttribute('x1', x);
    cursor?.setAttribute('x2', x);
    requestAnimationFrame(step);
  };
  requestAnimationFrame(step);
}

// Play sounds the instrument chosen, never another: pressed before its
// slice is here, it says it is loading it and starts when it arrives.
async function play() {
  if (playing) return stop();
  if (!song) return;
  const wanted = song, clicked = performance.now();
  const context = new AudioContext();  // made within the press, so that it may start
  const ticket = { stop: () => context.close() };
  playing = ticket;
  page.playing = 'true';
  playButton.textContent = 'Stop';
  if (!fonts.has(wanted.program)) {
    playButton.textContent = `Loading ${wanted.instrument}…`;
    playButton.setAttribute('aria-busy', 'true');
  }
  const [font, renderer] = await Promise.all([fonts.get(wanted.program), audio()]);
  if (playing !== ticket) return;  // stopped while it loaded
  playButton.textContent = 'Stop';
  playButton.removeAttribute('aria-busy');
  const started = (start) => {
    page.firstSoundMs = String(Math.round(performance.now() - clicked));
    page.firstSoundAt = String(Math.round(performance.now() + (start - context.currentTime) * 1000));
    page.contextState = context.state;
    page.sourcesStarted = String(Number(page.sourcesStarted ?? 0) + 1);
    page.sounded = `${wanted.program} ${font && renderer ? 'font' : 'voices'}`;
    follow(context, start);
  };
  if (font && renderer) {
    const player = playWithFont(context, wanted, font, started, renderer);
    ticket.stop = () => { player.stop(); context.close(); };
  } else {
    const start = context.currentTime + 0.05;
    playVoices(context, wanted, start, SECONDS_PER_BEAT);
    started(start);
  }
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
  if (!song) return;
  const wanted = song;
  wavButton.disabled = true;
  try {
    const [font, renderer] = await Promise.all([fonts.get(wanted.program), audio()]);
    if (font && renderer) save((await renderer.render(wanted, { soundfont: font })).wav, 'audio/wav', 'composition.wav');
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
musicxmlButton.addEventListener('click', () => song && save(song.musicxml(), 'application/vnd.recordare.musicxml+xml',
                                                           'composition.musicxml'));
svgButton.addEventListener('click', () => {
  const drawing = score.svg();  // serialised once
  if (drawing) save(drawing, 'image/svg+xml', 'composition.svg');
});
for (const input of viewInputs) input.addEventListener('change', showView);
linkButton.addEventListener('click', copyLink);
// Space plays and stops, except where it types a space or presses a button.
document.addEventListener('keydown', (event) => {
  if (event.code !== 'Space' || event.target.closest('input, select, textarea, button')) return;
  event.preventDefault();
  play();
});
new ResizeObserver(redraw).observe($('roll-frame'));
playButton.textContent = 'Play';  // its handler is here: update() enables it with the first song
$('roll-view').hidden = view() === 'score';
$('score-view').hidden = view() !== 'score';
await update();
