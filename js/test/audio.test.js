// midicompose/audio in Node: the length, pitch and instrument of what it
// renders, the WAV read back by Python's wave module, a clear error for what
// it cannot play, and a cross-check against the native renderer (FluidSynth)
// on the same file and font. Environment: MIDICOMPOSE_NPM_DIR, MIDICOMPOSE_CLI,
// MIDICOMPOSE_SOUNDFONT (Debian's FluidR3Mono).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const packageDir = resolve(process.env.MIDICOMPOSE_NPM_DIR);
const { compose } = await import(pathToFileURL(join(packageDir, 'index.js')));
const { render, RenderError } = await import(pathToFileURL(join(packageDir, 'audio.js')));
const soundfont = readFileSync(process.env.MIDICOMPOSE_SOUNDFONT);

// The strength of one frequency over a stretch of samples (Goertzel).
function power(samples, from, count, frequency, rate) {
  const k = 2 * Math.cos((2 * Math.PI * frequency) / rate);
  let s1 = 0, s2 = 0;
  for (let i = from; i < from + count; i++) [s1, s2] = [samples[i] + k * s1 - s2, s1];
  return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// The strongest frequency between low and high, in steps of a quarter hertz,
// over `seconds` from `start` (by default one second from the middle).
function strongest(samples, rate, low, high, start = samples.length / rate / 2 - 0.5, seconds = 1) {
  const from = Math.floor(start * rate), count = Math.floor(seconds * rate);
  let best = low, bestPower = -1;
  for (let f = low; f <= high; f += 0.25) {
    const p = power(samples, from, count, f, rate);
    if (p > bestPower) [best, bestPower] = [f, p];
  }
  return best;
}

// Loudness every 10 ms.
function envelope(samples, rate) {
  const step = rate / 100, out = [];
  for (let at = 0; at + step <= samples.length; at += step) {
    let sum = 0;
    for (let i = at; i < at + step; i++) sum += samples[i] * samples[i];
    out.push(Math.sqrt(sum / step));
  }
  return out;
}

// Where the loudness last stands within 40 dB of its peak, in seconds.
const audibleEnd = (env) => (env.findLastIndex((v) => v > Math.max(...env) / 100) + 1) / 100;

function correlation(a, b) {
  const n = Math.min(a.length, b.length), mean = (x) => x.slice(0, n).reduce((s, v) => s + v, 0) / n;
  const ma = mean(a), mb = mean(b);
  let ab = 0, aa = 0, bb = 0;
  for (let i = 0; i < n; i++) [ab, aa, bb] = [ab + (a[i] - ma) * (b[i] - mb), aa + (a[i] - ma) ** 2, bb + (b[i] - mb) ** 2];
  return ab / Math.sqrt(aa * bb);
}

test('renders the music at its length and pitch, with its own instrument', async () => {
  const chord = await render(await compose('C:2 E:1 G:1 C5:2', { instrument: 'violin' }), { soundfont });
  assert.ok(chord.seconds > 3 && chord.seconds <= 5, `${chord.seconds} s`);
  assert.equal(chord.channels[0].length, Math.round(chord.seconds * 44100));
  const flute = await render(await compose('A:4 ', { instrument: 'flute' }), { soundfont });
  assert.ok(Math.abs(strongest(flute.channels[0], 44100, 400, 480) - 440) <= 4.4);
  // Brightness: the energy of the upper partials against the fundamental.
  const brightness = async (instrument) => {
    const { channels: [left] } = await render(await compose('C:4 ', { instrument }), { soundfont });
    const from = 44100, at = (f) => power(left, from, 44100, f, 44100);
    return [2, 3, 4, 5, 6].reduce((sum, k) => sum + at(261.63 * k), 0) / at(261.63);
  };
  const [piano, sameProgram, violin] = [await brightness('piano'), await brightness('acoustic_piano'), await brightness('violin')];
  assert.equal(piano, sameProgram);
  assert.ok(violin / piano > 1.5 || piano / violin > 1.5, `piano ${piano}, violin ${violin}`);

  const work = mkdtempSync(join(tmpdir(), 'midicompose-audio-'));
  try {
    const read = spawnSync('python3', ['-c', `import sys, wave
with wave.open(sys.stdin.buffer) as w: print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())`],
    { input: chord.wav });
    assert.equal(read.stdout.toString(), `2 2 44100 ${chord.channels[0].length}\n`, read.stderr.toString());
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});

test('rejects what it cannot play with a RenderError', async () => {
  const song = await compose('C D');
  const cases = [[song, { soundfont: song.data }, 'RENDER_BAD_SOUNDFONT'], [new Uint8Array([1, 2, 3]), { soundfont }, 'RENDER_NOT_MIDI'],
                 [song, { soundfont, sampleRate: 4000 }, 'RENDER_BAD_RATE'], [song, {}, 'RENDER_NO_SOUNDFONT']];
  for (const [input, options, status] of cases) {
    await assert.rejects(render(input, options), (error) => error instanceof RenderError && error.status === status, status);
  }
  await assert.rejects(render('C D', { soundfont }), TypeError);
});

test('sounds like the native renderer on the same file and font', async () => {
  const work = mkdtempSync(join(tmpdir(), 'midicompose-audio-'));
  try {
    const notes = 'C:2 E G:0.5 A C5:1.5 B G';
    const run = spawnSync(process.env.MIDICOMPOSE_CLI, ['--wav', join(work, 'native.wav'), '--soundfont',
      process.env.MIDICOMPOSE_SOUNDFONT, notes, join(work, 'song.mid'), 'flute']);
    assert.equal(run.status, 0, run.stderr.toString());
    const wav = readFileSync(join(work, 'native.wav'));
    const native = new Float32Array((wav.length - 44) / 4);
    for (let i = 0; i < native.length; i++) native[i] = wav.readInt16LE(44 + 4 * i) / 32768;
    const js = await render(await compose(notes, { instrument: 'flute' }), { soundfont });
    const [a, b] = [envelope(native, 44100), envelope(js.channels[0], 44100)];
    const r = correlation(a, b);
    assert.ok(r > 0.9, `loudness envelopes correlate at r = ${r}`);
    assert.ok(Math.abs(audibleEnd(a) - audibleEnd(b)) <= 0.25, `audible until ${audibleEnd(a)} s and ${audibleEnd(b)} s`);
    // C5 sounds from 2.25 s to 3 s in both.
    const c5 = [native, js.channels[0]].map((samples) => strongest(samples, 44100, 500, 550, 2.35, 0.5));
    assert.ok(Math.abs(c5[0] - c5[1]) <= 1 && Math.abs(c5[0] - 523.25) <= 5.2, `C5 at ${c5} Hz`);
    console.log(`cross-check: r = ${r.toFixed(3)}; audible until ${audibleEnd(a)} s native, ${audibleEnd(b)} s here; ` +
                `lengths ${(native.length / 44100).toFixed(3)} s and ${js.seconds.toFixed(3)} s`);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
