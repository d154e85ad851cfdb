// The playground: note text in, piano roll, sound and the .mid file out.
// Every byte and every note comes from the midicompose engine; this page
// only draws the notes it hands back and plays them.
import { compose, instruments } from './midicompose/index.js';

const $ = (id) => document.getElementById(id);
const notesInput = $('notes'), instrumentSelect = $('instrument'), beatsInput = $('beats');
const report = $('report'), roll = $('roll'), programLine = $('program');
const playButton = $('play'), downloadButton = $('download');

const PIXELS_PER_BEAT = 48, LANE = 12, LABEL_WIDTH = 36, SECONDS_PER_BEAT = 0.5;
const NAMES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];
const SVG = 'http://www.w3.org/2000/svg';
let song = null;      // the latest successful composition
let playing = null;   // {context, stop()} while sound plays

for (const [name, program] of Object.entries(await instruments())) {
  const option = new Option(`${name} (${program})`, name);
  instrumentSelect.append(option);
}
instrumentSelect.value = 'violin';

const keyName = (key) => NAMES[key % 12] + (Math.floor(key / 12) - 1);

function element(name, attributes, parent) {
  const node = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  parent.append(node);
  return node;
}

function drawRoll(current) {
  roll.replaceChildren();
  const notes = current.timeline;
  const drums = current.program === 128;
  const low = Math.min(...notes.map((n) => n.key)) - 1, high = Math.max(...notes.map((n) => n.key)) + 1;
  const totalBeats = Math.max(1, Math.ceil(Math.max(...notes.map((n) => n.start + n.beats))));
  const width = LABEL_WIDTH + totalBeats * PIXELS_PER_BEAT + 8, height = (high - low + 1) * LANE;
  roll.setAttribute('width', width);
  roll.setAttribute('height', height);
  roll.setAttribute('viewBox', `0 0 ${width} ${height}`);
  const y = (key) => (high - key) * LANE;
  for (let key = low; key <= high; key++) {
    if ([1, 3, 6, 8, 10].includes(key % 12)) element('rect', { class: 'lane', x: LABEL_WIDTH, y: y(key), width: width, height: LANE }, roll);
    if (key % 12 === 0) element('text', { x: 2, y: y(key) + LANE - 2 }, roll).textContent = keyName(key);
  }
  for (let beat = 0; beat <= totalBeats; beat++) {
    const x = LABEL_WIDTH + beat * PIXELS_PER_BEAT;
    element('line', { class: 'beat', x1: x, x2: x, y1: 0, y2: height }, roll);
  }
  for (const note of notes) {
    const rect = element('rect', {
      class: drums ? 'drum' : 'note', x: LABEL_WIDTH + note.start * PIXELS_PER_BEAT, y: y(note.key) + 1,
      width: Math.max(2, note.beats * PIXELS_PER_BEAT - 1), height: LANE - 2, rx: drums ? 5 : 2,
      'data-key': note.key, 'data-start': note.start, 'data-beats': note.beats,
    }, roll);
    element('title', {}, rect).textContent = `${note.name} at beat ${note.start}, ${note.beats} beats`;
    element('text', { x: LABEL_WIDTH + note.start * PIXELS_PER_BEAT + 2, y: y(note.key) - 1 }, roll).textContent = note.name;
  }
  element('line', { class: 'cursor', id: 'cursor', x1: LABEL_WIDTH, x2: LABEL_WIDTH, y1: 0, y2: height, visibility: 'hidden' }, roll);
  programLine.textContent = drums
    ? 'Drums: percussion on channel 10'
    : `Program ${current.program}: ${current.instrument}`;
}

let pending = 0;
async function update() {
  const ticket = ++pending;
  try {
    const result = await compose(notesInput.value, { instrument: instrumentSelect.value, beats: beatsInput.value });
    if (ticket !== pending) return;
    song = result;
    report.textContent = result.report;
    report.classList.remove('error');
    drawRoll(result);
  } catch (error) {
    if (ticket !== pending) return;
    song = null;
    report.textContent = error.message;
    report.classList.add('error');
    roll.replaceChildren();
    programLine.textContent = '';
  }
  playButton.disabled = downloadButton.disabled = song === null;
  document.body.dataset.composed = String(ticket);
}

// A simple voice per General MIDI family: waveform, attack and decay.
function voice(program) {
  const family = Math.floor(program / 8);
  const voices = {
    0: ['triangle', 0.005, 0.9], 1: ['sine', 0.002, 0.6], 2: ['square', 0.02, 2], 3: ['triangle', 0.003, 0.7],
    4: ['sawtooth', 0.01, 0.8], 5: ['sawtooth', 0.08, 2], 6: ['sawtooth', 0.1, 2], 7: ['sawtooth', 0.03, 2],
    8: ['square', 0.03, 2], 9: ['sine', 0.04, 2], 10: ['square', 0.01, 2], 11: ['sawtooth', 0.15, 2],
  };
  return voices[family] ?? ['triangle', 0.01, 1];
}

function playDrum(context, key, time, out) {
  if (key <= 36) {  // bass drums: a falling sine
    const osc = new OscillatorNode(context, { type: 'sine', frequency: 150 });
    const gain = new GainNode(context, { gain: 0.9 });
    osc.frequency.exponentialRampToValueAtTime(40, time + 0.15);
    gain.gain.exponentialRampToValueAtTime(0.001, time + 0.25);
    osc.connect(gain).connect(out);
    osc.start(time);
    osc.stop(time + 0.3);
    return;
  }
  const length = Math.floor(context.sampleRate * 0.2);
  const buffer = new AudioBuffer({ length, sampleRate: context.sampleRate });
  const samples = buffer.getChannelData(0);
  for (let i = 0; i < length; i++) samples[i] = Math.random() * 2 - 1;
  const noise = new AudioBufferSourceNode(context, { buffer });
  const filter = new BiquadFilterNode(context, { type: 'bandpass', frequency: 200 * 2 ** ((key - 36) / 12), Q: 1.5 });
  const gain = new GainNode(context, { gain: 0.6 });
  gain.gain.exponentialRampToValueAtTime(0.001, time + (key >= 42 ? 0.08 : 0.18));
  noise.connect(filter).connect(gain).connect(out);
  noise.start(time);
  noise.stop(time + 0.2);
}

function stop() {
  if (!playing) return;
  playing.stop();
  playing = null;
  playButton.textContent = 'Play';
  $('cursor')?.setAttribute('visibility', 'hidden');
}

function play() {
  if (playing) return stop();
  if (!song) return;
  const context = new AudioContext();
  const out = new GainNode(context, { gain: 0.25 });
  out.connect(context.destination);
  const notes = song.timeline;
  const start = context.currentTime + 0.05, drums = song.program === 128;
  const [type, attack, decay] = voice(song.program);
  let last = 0;
  for (const note of notes) {
    const time = start + note.start * SECONDS_PER_BEAT, length = note.beats * SECONDS_PER_BEAT;
    last = Math.max(last, note.start + note.beats);
    if (drums) { playDrum(context, note.key, time, out); continue; }
    if (length <= 0) continue;
    const osc = new OscillatorNode(context, { type, frequency: 440 * 2 ** ((note.key - 69) / 12) });
    const gain = new GainNode(context, { gain: 0 });
    gain.gain.linearRampToValueAtTime(0.8, time + Math.min(attack, length / 2));
    gain.gain.setTargetAtTime(0.001, time + Math.min(attack, length / 2), Math.min(decay, length) / 3);
    gain.gain.setValueAtTime(gain.gain.value, time + length);
    osc.connect(gain).connect(out);
    osc.start(time);
    osc.stop(time + length + 0.05);
  }
  const cursor = $('cursor');
  cursor?.setAttribute('visibility', 'visible');
  let frame = 0;
  const follow = () => {
    const beat = (context.currentTime - start) / SECONDS_PER_BEAT;
    if (beat > last) return stop();
    const x = LABEL_WIDTH + Math.max(0, beat) * PIXELS_PER_BEAT;
    cursor?.setAttribute('x1', x);
    cursor?.setAttribute('x2', x);
    frame = requestAnimationFrame(follow);
  };
  frame = requestAnimationFrame(follow);
  playing = { stop: () => { cancelAnimationFrame(frame); context.close(); } };
  playButton.textContent = 'Stop';
}

function download() {
  if (!song) return;
  const url = URL.createObjectURL(new Blob([song.data], { type: 'audio/midi' }));
  const link = Object.assign(document.createElement('a'), { href: url, download: 'composition.mid' });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

let timer = 0;
for (const input of [notesInput, instrumentSelect, beatsInput]) {
  input.addEventListener('input', () => {
    clearTimeout(timer);
    timer = setTimeout(update, 120);
  });
}
$('controls').addEventListener('submit', (event) => event.preventDefault());
playButton.addEventListener('click', play);
downloadButton.addEventListener('click', download);
update();
