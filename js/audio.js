// midicompose/audio: a composition rendered to sound with a General MIDI
// soundfont, in Node, browsers and workers alike (no Web Audio needed). The
// synthesizer is spessasynth_core (pure JavaScript, SF2/SF3/DLS); the sound
// is shaped like the native midicompose-audio's: the music at its tempo, then
// the release of its last notes until they fall silent, at most 2 s.
import { BasicMIDI, SoundBankLoader, SpessaSynthProcessor, SpessaSynthSequencer } from 'spessasynth_core';

const BLOCK = 128;               // frames the synthesizer renders at once
const MAX_RELEASE_SECONDS = 2;
const SILENCE = 0.5 / 32768;     // a frame is silent when it rounds to 0 as 16-bit PCM
// spessasynth's output is about twenty times as loud as FluidSynth's for the
// same file and font, and a chord of a hundred voices would clip: scaled to
// leave room for that, near FluidSynth's level.
const LEVEL = 0.4;

/** A render that failed: `status` names why, as the native library does
 * ('RENDER_NOT_MIDI', 'RENDER_BAD_SOUNDFONT', 'RENDER_BAD_RATE'). */
export class RenderError extends Error {
  constructor(status, message) {
    super(message);
    this.name = 'RenderError';
    this.status = status;
  }
}

function bytesOf(value, what) {
  if (value instanceof Uint8Array) return value;
  if (value instanceof ArrayBuffer) return new Uint8Array(value);
  if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
  throw new TypeError(`${what} must be a Uint8Array or an ArrayBuffer`);
}

const copyOf = (bytes) => bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);

// Parsed fonts by the caller's buffer: a page that plays again with the same
// font does not parse it again.
const banks = new WeakMap();
function soundBank(font) {
  const bytes = bytesOf(font, 'soundfont');
  const key = bytes.buffer;
  let entry = banks.get(key)?.find((e) => e.offset === bytes.byteOffset && e.length === bytes.byteLength);
  if (!entry) {
    let bank;
    try {
      bank = SoundBankLoader.fromArrayBuffer(copyOf(bytes));
    } catch (error) {
      throw new RenderError('RENDER_BAD_SOUNDFONT', `Error: Cannot load the soundfont: ${error.message}`);
    }
    entry = { offset: bytes.byteOffset, length: bytes.byteLength, bank };
    banks.set(key, [...(banks.get(key) ?? []), entry]);
  }
  return entry.bank;
}

function parseMIDI(data) {
  try {
    return BasicMIDI.fromArrayBuffer(copyOf(data));
  } catch (error) {
    throw new RenderError('RENDER_NOT_MIDI', `Error: Not a Standard MIDI File: ${error.message}`);
  }
}

/**
 * Renders the song block by block, yielding the sound as it goes: a player
 * can start with the first chunk while the rest is computed.
 * @returns {AsyncGenerator<{left: Float32Array, right: Float32Array}>}
 */
export async function* renderChunks(song, { soundfont, sampleRate = 44100, chunkSeconds = 0.25 } = {}) {
  const data = bytesOf(song?.data ?? song, 'song');
  if (!Number.isInteger(sampleRate) || sampleRate < 8000 || sampleRate > 96000) {
    throw new RenderError('RENDER_BAD_RATE', `Error: Invalid sample rate ${sampleRate} (8000 to 96000 frames a second)`);
  }
  if (soundfont === undefined) throw new RenderError('RENDER_NO_SOUNDFONT', 'Error: No soundfont: pass its bytes as { soundfont }');
  const bank = soundBank(soundfont);
  const midi = parseMIDI(data);
  const synth = new SpessaSynthProcessor(sampleRate, { maxBufferSize: BLOCK, effectsEnabled: true });
  synth.soundBankManager.addSoundBank(bank, 'main');
  await synth.processorInitialized;
  const sequencer = new SpessaSynthSequencer(synth);
  sequencer.loadNewSongList([midi]);
  sequencer.loopCount = 0;
  sequencer.play();

  const chunkFrames = Math.max(BLOCK, Math.round((chunkSeconds * sampleRate) / BLOCK) * BLOCK);
  const maxRelease = MAX_RELEASE_SECONDS * sampleRate;
  let total = 0;         // frames rendered
  let musicEnd = -1;     // the frame where the sequencer finished
  let audibleEnd = 0;    // one past the last frame that is not silent
  for (let ended = false; !ended;) {
    const left = new Float32Array(chunkFrames), right = new Float32Array(chunkFrames);
    let used = 0;
    while (used < chunkFrames) {
      const count = musicEnd < 0 ? BLOCK : Math.min(BLOCK, musicEnd + maxRelease - total);
      if (musicEnd < 0) sequencer.processTick();
      synth.process(left, right, used, count);
      for (let i = used; i < used + count; i++) {
        left[i] *= LEVEL;
        right[i] *= LEVEL;
        if (Math.abs(left[i]) >= SILENCE || Math.abs(right[i]) >= SILENCE) audibleEnd = total + (i - used) + 1;
      }
      used += count;
      total += count;
      if (musicEnd < 0 && sequencer.isFinished) musicEnd = total;
      // After the music: a whole silent block, or the cap, ends the sound.
      if (musicEnd >= 0 && (audibleEnd <= total - count || total >= musicEnd + maxRelease)) {
        ended = true;
        used -= total - audibleEnd;  // ends with its last audible frame
        break;
      }
    }
    yield { left: left.subarray(0, Math.max(0, used)), right: right.subarray(0, Math.max(0, used)) };
  }
}

/** The two channels as a WAV file: RIFF, 16-bit PCM, stereo. */
export function encodeWav(left, right, sampleRate) {
  const frames = left.length, bytes = new Uint8Array(44 + frames * 4), view = new DataView(bytes.buffer);
  const text = (at, s) => { for (let i = 0; i < 4; i++) bytes[at + i] = s.charCodeAt(i); };
  text(0, 'RIFF'); view.setUint32(4, 36 + frames * 4, true); text(8, 'WAVE');
  text(12, 'fmt '); view.setUint32(16, 16, true); view.setUint16(20, 1, true); view.setUint16(22, 2, true);
  view.setUint32(24, sampleRate, true); view.setUint32(28, sampleRate * 4, true);
  view.setUint16(32, 4, true); view.setUint16(34, 16, true);
  text(36, 'data'); view.setUint32(40, frames * 4, true);
  const sample = (x) => Math.max(-32768, Math.min(32767, Math.round(x * 32768)));
  for (let i = 0, at = 44; i < frames; i++, at += 4) {
    view.setInt16(at, sample(left[i]), true);
    view.setInt16(at + 2, sample(right[i]), true);
  }
  return bytes;
}

/**
 * Renders a song (from `compose`) or the bytes of a MIDI file to sound.
 * @param {{data: Uint8Array}|Uint8Array|ArrayBuffer} song
 * @param {{soundfont: Uint8Array|ArrayBuffer, sampleRate?: number}} options
 * @returns {Promise<{wav: Uint8Array, channels: [Float32Array, Float32Array], sampleRate: number, seconds: number}>}
 */
export async function render(song, { soundfont, sampleRate = 44100 } = {}) {
  const chunks = [];
  for await (const chunk of renderChunks(song, { soundfont, sampleRate, chunkSeconds: 4 })) chunks.push(chunk);
  const frames = chunks.reduce((sum, chunk) => sum + chunk.left.length, 0);
  const left = new Float32Array(frames), right = new Float32Array(frames);
  let at = 0;
  for (const chunk of chunks) {
    left.set(chunk.left, at);
    right.set(chunk.right, at);
    at += chunk.left.length;
  }
  return { wav: encodeWav(left, right, sampleRate), channels: [left, right], sampleRate, seconds: frames / sampleRate };
}
