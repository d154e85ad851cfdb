// Sound from a General MIDI soundfont: the font fetched once from the page's
// own origin, and a song played while it renders, piece by piece, so the
// first sound comes long before the whole piece is computed.
import { renderChunks } from './midicompose/audio.js';

const CHUNK_SECONDS = 0.1, AHEAD_SECONDS = 1.5;

/** The font's bytes, reporting progress as (received, total) bytes; null
 * when the page has no font beside it. */
export async function loadFont(url, onProgress) {
  const response = await fetch(url);
  if (!response.ok) return null;
  const total = Number(response.headers.get('content-length')) || 0;
  const reader = response.body.getReader(), parts = [];
  let received = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    parts.push(value);
    received += value.length;
    onProgress(received, total);
  }
  const bytes = new Uint8Array(received);
  let at = 0;
  for (const part of parts) { bytes.set(part, at); at += part.length; }
  return bytes;
}

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/**
 * Plays the song with the font on the context. onStart(contextTime) is
 * called as the first piece is scheduled. Returns { stop(), finished } where
 * finished resolves with the sound's length in seconds once all of it is
 * scheduled.
 */
export function playWithFont(context, song, font, onStart) {
  let stopped = false;
  const sources = [];
  const finished = (async () => {
    let start = 0, frames = 0;
    for await (const { left, right } of renderChunks(song, { soundfont: font, sampleRate: context.sampleRate,
                                                            chunkSeconds: CHUNK_SECONDS })) {
      if (stopped) return frames / context.sampleRate;
      if (left.length > 0) {
        const buffer = new AudioBuffer({ numberOfChannels: 2, length: left.length, sampleRate: context.sampleRate });
        buffer.copyToChannel(left, 0);
        buffer.copyToChannel(right, 1);
        const source = new AudioBufferSourceNode(context, { buffer });
        source.connect(context.destination);
        if (frames === 0) {
          start = context.currentTime + 0.02;
          onStart(start);
        }
        source.start(start + frames / context.sampleRate);
        sources.push(source);
        frames += left.length;
      }
      // Keep a little ahead of the music, and let the page breathe.
      while (!stopped && start + frames / context.sampleRate - context.currentTime > AHEAD_SECONDS) await pause(50);
      await pause(0);
    }
    return frames / context.sampleRate;
  })();
  return {
    finished,
    stop() {
      stopped = true;
      for (const source of sources) source.stop();
    },
  };
}
