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

/** Renders a song from `compose` (or a MIDI file's bytes) to sound, without Web Audio. */
export function render(song: { data: Uint8Array } | Uint8Array | ArrayBuffer, options: RenderOptions): Promise<Rendered>;

/** The same sound in pieces as it is computed, for a player that starts before the end is ready. */
export function renderChunks(song: { data: Uint8Array } | Uint8Array | ArrayBuffer,
                             options: RenderOptions & { chunkSeconds?: number }):
  AsyncGenerator<{ left: Float32Array; right: Float32Array }>;

/** Two channels of floats as a WAV file (16-bit PCM, stereo). */
export function encodeWav(left: Float32Array, right: Float32Array, sampleRate: number): Uint8Array;
