// The simple voices the page plays when no soundfont can be loaded: a
// waveform, attack and decay per General MIDI family, noise for drums.
function voice(program) {
  const voices = {
    0: ['triangle', 0.005, 0.9], 1: ['sine', 0.002, 0.6], 2: ['square', 0.02, 2], 3: ['triangle', 0.003, 0.7],
    4: ['sawtooth', 0.01, 0.8], 5: ['sawtooth', 0.08, 2], 6: ['sawtooth', 0.1, 2], 7: ['sawtooth', 0.03, 2],
    8: ['square', 0.03, 2], 9: ['sine', 0.04, 2], 10: ['square', 0.01, 2], 11: ['sawtooth', 0.15, 2],
  };
  return voices[Math.floor(program / 8)] ?? ['triangle', 0.01, 1];
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

/** Schedules the song's notes from `start` (context time); seconds a beat. */
export function playVoices(context, song, start, secondsPerBeat) {
  const out = new GainNode(context, { gain: 0.25 });
  out.connect(context.destination);
  const [type, attack, decay] = voice(song.program);
  for (const note of song.timeline) {
    const time = start + note.start * secondsPerBeat, length = note.beats * secondsPerBeat;
    if (note.channel === 9) { playDrum(context, note.key, time, out); continue; }  // channel 10: percussion
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
}
