// The installed npm package, as a user's program uses it: composes the chord
// (which must be the golden file's bytes) and renders it with a font.
// Usage: node chord.mjs GOLDEN_CHORD_MID SOUNDFONT
import { readFileSync } from 'node:fs';
import { compose } from 'midicompose';
import { render } from 'midicompose/audio';

const [golden, soundfont] = process.argv.slice(2);
const song = await compose('C:2 E:1 G:1 C5:2', { instrument: 'violin' });
const sound = await render(song, { soundfont: readFileSync(soundfont) });
if (Buffer.compare(Buffer.from(song.data), readFileSync(golden)) !== 0) throw new Error('not the golden chord');
if (!(sound.seconds > 3 && sound.wav.byteLength > 44)) throw new Error(`a ${sound.seconds} s sound`);
