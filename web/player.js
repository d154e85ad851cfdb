// Sound from a General MIDI soundfont: a song played while it renders,
// piece by piece, so the first sound comes long before the whole piece is
// computed. The renderer (the package's audio entry, with its synthesizer)
// is passed in: the page imports it only when sound is first needed.

const CHUNK_SECONDS = 0.1, AHEAD_SECONDS = 1.5;

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/**
 * Plays the song with the font on the context, rendered by the audio
 * module. onStart(contextTime) is called as the first piece is scheduled. Returns { stop(), finished } where
 * finished resolves with the sound's length in seconds once all of it is
 * scheduled.
 */
export function playWithFont(context, song, font, onStart, { renderChunks }) {
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
