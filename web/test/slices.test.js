// The playground's font slices against the whole font they were cut from:
// one for every program and the drums, each holding its preset alone, and
// each sounding exactly as the whole font. Environment: MIDICOMPOSE_WEB_DIR
// (the built page), MIDICOMPOSE_NPM_DIR (the npm package, with its
// synthesizer installed), MIDICOMPOSE_SOUNDFONT (the whole font).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const npm = process.env.MIDICOMPOSE_NPM_DIR, web = process.env.MIDICOMPOSE_WEB_DIR;
const load = (path) => import(pathToFileURL(join(npm, path)).href);
const { compose, version } = await load('index.js');
const { render } = await load('audio.js');
const { SoundBankLoader } = await load('node_modules/spessasynth_core/dist/index.js');
const folder = join(web, `fonts-${await version()}`);
const index = JSON.parse(readFileSync(join(folder, 'index.json'), 'utf8'));
const slice = (program) => readFileSync(join(folder, index.slices[program].file));

test('every program and the drums have a slice holding their preset alone', () => {
  assert.deepEqual(Object.keys(index.slices).map(Number), Array.from({ length: 129 }, (_, p) => p));
  assert.deepEqual(readdirSync(folder).sort(), [...Object.values(index.slices).map((s) => s.file), 'index.json'].sort());
  for (const [program, entry] of Object.entries(index.slices)) {
    const bytes = slice(program);
    assert.equal(bytes.length, entry.bytes);
    const { presets } = SoundBankLoader.fromArrayBuffer(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
    assert.deepEqual(presets.map((p) => [p.name, p.isGMGSDrum ? 'drums' : p.program, p.bankMSB]),
                     [[entry.preset, Number(program) === 128 ? 'drums' : Number(program), 0]], `program ${program}`);
  }
});

test('a slice renders the same samples as the whole font', async () => {
  const whole = readFileSync(process.env.MIDICOMPOSE_SOUNDFONT);
  const cases = [['C:2 E:1 G:1 C5:2', 'violin'], ['C:2 E:1 G:1 C5:2', 'piano'], ['A3 E5:0.5 B6:0.25', 'flute'],
                 ['C2 D2 F2 A2 C3 E3', 'drums'], ['G:0.5 A:0.5 B:3', 'tubular_bells']];
  for (const [notes, instrument] of cases) {
    const song = await compose(notes, { instrument });
    const [fromSlice, fromWhole] = [await render(song, { soundfont: slice(song.program) }),
                                    await render(song, { soundfont: whole })];
    assert.ok(fromWhole.channels[0].some((x) => x !== 0), `${instrument} sounds`);
    assert.ok(Buffer.from(fromSlice.wav).equals(fromWhole.wav), `${instrument}: the same samples`);
  }
});
