// Cuts a General MIDI soundfont into one small font a program, so that the
// playground fetches only the instrument it plays: each slice holds one
// preset (bank 0, or the standard drum kit for percussion) with only the
// instruments and samples it uses, its samples' bytes copied as they are
// (an SF3's stay Ogg Vorbis), so a slice sounds exactly as the whole font.
// Writes OUT/000.sf3 … OUT/127.sf3, OUT/drums.sf3 and OUT/index.json.
// Usage: node slice-font.mjs NODE_MODULES FONT OUT
import { mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, fontPath, out] = process.argv.slice(2);
if (!out) {
  console.error('usage: node slice-font.mjs NODE_MODULES FONT OUT');
  process.exit(2);
}
const { BasicSoundBank, SoundBankLoader } =
  await import(pathToFileURL(join(modules, 'spessasynth_core/dist/index.js')).href);

const PERCUSSION = 128;  // the engine's program for drums: channel 10, no program change

const whole = SoundBankLoader.fromArrayBuffer(readFileSync(fontPath).buffer);
// What a synthesizer picks for the program: bank 0's melodic preset, or
// the kit a percussion channel starts with.
const presetFor = (program) => whole.presets.find((p) => (program === PERCUSSION
  ? p.isGMGSDrum && p.program === 0
  : !p.isGMGSDrum && p.bankMSB === 0 && p.bankLSB === 0 && p.program === program));

rmSync(out, { recursive: true, force: true });
mkdirSync(out, { recursive: true });
const slices = {};
for (let program = 0; program <= PERCUSSION; program++) {
  const preset = presetFor(program);
  if (!preset) continue;  // a font without it: the page plays its simple voices for this program
  const slice = new BasicSoundBank();
  slice.soundBankInfo = { ...whole.soundBankInfo };
  slice.addCompletePresets([preset]);
  slice.flush();
  const file = program === PERCUSSION ? 'drums.sf3' : `${String(program).padStart(3, '0')}.sf3`;
  const bytes = new Uint8Array(slice.writeSF2({ software: 'midicompose slice-font' }));
  writeFileSync(join(out, file), bytes);
  slices[program] = { file, bytes: bytes.length, preset: preset.name };
}
// One slice a line: the index is read by people as well as by the page.
const lines = Object.entries(slices).map(([program, slice]) => `  "${program}": ${JSON.stringify(slice)}`);
writeFileSync(join(out, 'index.json'),
              `{ "font": ${JSON.stringify(basename(fontPath))}, "slices": {\n${lines.join(',\n')}\n} }\n`);
const sizes = Object.values(slices).filter((s) => s.file !== 'drums.sf3').map((s) => s.bytes).sort((a, b) => a - b);
console.log(`slice-font: ${Object.keys(slices).length} slices of ${basename(fontPath)} in ${out}: ` +
            `${sizes[0]} to ${sizes.at(-1)} bytes (median ${sizes[sizes.length >> 1]}), drums ${slices[PERCUSSION]?.bytes}`);
