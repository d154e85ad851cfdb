/** Why a render failed, named as the native midicompose-audio names it. */
export type RenderStatus = 'RENDER_NO_SOUNDFONT' | 'RENDER_BAD_SOUNDFONT' | 'RENDER_NOT_MIDI' | 'RENDER_BAD_RATE';

/** A render that failed, with a message that says why. */
export class RenderError extends Error {
  readonly name: 'RenderError';
  readonly status: RenderStatus;
}

export interface RenderOptions {
  /** A General MIDI soundfont's bytes (SF2, SF3 or DLS); nothing is fetched. */
  soundfont: Uint8Array | ArrayBuffer;
  /** Frames a second, 8000 to 96000 (default 44100). */
  sampleRate?: number;
}

export interface Rendered {
  /** A WAV file: RIFF, 16-bit PCM, stereo. */
  readonly wav: Uint8Array;
  /** The sound as floats, left and right. */
  readonly channels: [Float32Array, Float32Array];
  readonly sampleRate: number;
  /** The music at its tempo and the release of its last notes, at most 2 s. */
  readonly seconds: number;
}

/** Renders a song from `compose` (or a MIDI file's bytes) to sound, without Web Audio.
 * @param song a song from `compose`, or a Standard MIDI File's bytes
 * @param options the soundfont's bytes (nothing is fetched) and the sample rate
 * @returns the WAV file, its two channels as floats, the rate and the length in seconds;
 *   rejects with a RenderError for a font that cannot be read, bytes that are no MIDI file or a bad rate */
export function render(song: { data: Uint8Array } | Uint8Array | ArrayBuffer, options: RenderOptions): Promise<Rendered>;

/** The same sound in pieces as it is computed, for a player that starts before the end is ready.
 * @param song a song from `compose`, or a Standard MIDI File's bytes
 * @param options as for `render`, with the length of each piece in seconds
 * @returns the pieces in order, each its left and right channel */
export function renderChunks(song: { data: Uint8Array } | Uint8Array | ArrayBuffer,
                             options: RenderOptions & { chunkSeconds?: number }):
  AsyncGenerator<{ left: Float32Array; right: Float32Array }>;

/** Two channels of floats as a WAV file (16-bit PCM, stereo).
 * @param left the left channel, samples from -1 to 1
 * @param right the right channel, as long as the left
 * @param sampleRate frames a second
 * @returns the WAV file's bytes */
export function encodeWav(left: Float32Array, right: Float32Array, sampleRate: number): Uint8Array;
