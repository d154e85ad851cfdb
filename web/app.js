// The playground: note text in; piano roll or score, sound, the .mid, the
// .wav and the .musicxml out.
// Every byte and every note comes from the midicompose engine; this page
// draws the notes it hands back and plays them through the package's
// renderer with a real General MIDI font, fetched an instrument at a time
// (or, where there is none to be had, simple voices).
import { compose, instruments, version } from './midicompose/index.js';
import { fontSlices } from './fonts.js';
import { markText, placesOf } from './places.js';
import { playback } from './playback.js';
import { drawRoll } from './roll.js';
import { keepEngraver } from './score.js';
import { scorePanel } from './score-panel.js';
import { readLink, writeLink } from './share.js';

const $ = (id) => document.getElementById(id);
const notesInput = $('notes'), instrumentSelect = $('instrument'), beatsInput = $('beats');
const report = $('report'), roll = $('roll'), programLine = $('program'), fontLine = $('font');
const playButton = $('play'), downloadButton = $('download'), wavButton = $('download-wav'), linkButton = $('copy-link');
const musicxmlButton = $('download-musicxml'), svgButton = $('download-svg'), loopInput = $('loop');
const viewInputs = [...document.querySelectorAll('input[name="view"]')];

const page = document.body.dataset;
let song = null;          // the latest successful composition
const texts = new WeakMap();  // each song's notes text
const textOf = (shown) => texts.get(shown);
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

// Beneath the field's own text, each note's characters (lit as it sounds)
// and the warnings' places underlined; each warning listed with its text.
function showWarnings(warnings, text) {
  const marks = $('notes-marks');
  markText(marks, text, song?.timeline ?? [], warnings);
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
  if (!song) return;
  pixelsPerBeat = drawRoll(roll, song, $('roll-frame').clientWidth);
  places.walk(roll, [...roll.querySelectorAll('rect[data-note]')].map((element) => ({ element, index: Number(element.dataset.note) })),
              song);
}

let pending = 0;
async function update() {
  const ticket = ++pending, began = performance.now();
  player.stop();
  try {
    const text = notesInput.value;
    const result = await compose(text, { instrument: instrumentSelect.value, beats: beatsInput.value });
    if (ticket !== pending) return;
    song = result;
    texts.set(song, text);
    showWarnings(result.warnings, text);
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
    showWarnings([], notesInput.value);
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
  engraved: (notes, ms, shown) => {
    // A note's head and stem, without the grace notes drawn inside it, is what the keyboard reaches.
    places.walk($('score'), notes.map((note) => ({ ...note, stop: note.element.querySelector(':scope > .vf-note') ?? undefined })),
                shown);
    Object.assign(page, { scoreNotes: String(notes.length), scoreMs: String(Math.round(ms)),
                          scored: String(Number(page.scored ?? 0) + 1) });
  },
});
// The field, the roll and the score pointing at each other through each note's place.
const places = placesOf({ input: notesInput, marks: $('notes-marks'), song: () => song, textOf,
                          sound: (indexes) => { player.stop(); player.play(indexes); } });
const player = playback({
  button: playButton, loop: loopInput, page, latest: () => song, textOf,
  beats: () => beatsInput.value, places, pixelsPerBeat: () => pixelsPerBeat,
  prepared: (program) => Object.assign(Promise.all([fonts.get(program), audio()]), { ready: fonts.has(program) }),
});
// Play: with notes selected in the field, those alone.
const play = () => player.play(places.selected());
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
  if (warmed.has(program) || player.playing()) return;
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
