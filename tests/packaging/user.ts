// A user's module against the packed tarball's declarations, checked with
// tsc --strict under Node's own module rules (nodenext): both entries resolve,
// and a song, its notes, its sound and the errors have the types they claim.
import { compose, instruments, version, ComposeError, type NotationWarning, type Note, type Song, type WarningCode } from 'midicompose';
import { render, RenderError, type Rendered } from 'midicompose/audio';

export async function chord(soundfont: Uint8Array): Promise<string> {
  const song: Song = await compose('C:2 E G C5:2', { instrument: 'violin', beats: 1 });
  const first: Note | undefined = song.timeline[0];
  const warning: NotationWarning | undefined = (await compose('C#5 E')).warnings[0];
  const code: WarningCode | undefined = warning?.code;
  const place: string = warning ? 'C#5 E'.slice(warning.start, warning.end) + (warning.note ?? -1) + code : '';
  const programs: Readonly<Record<string, number>> = await instruments();
  try {
    const sound: Rendered = await render(song, { soundfont, sampleRate: 22050 });
    return `${await version()} ${first?.name ?? ''} ${programs.violin} ${sound.seconds.toFixed(1)} ${sound.wav.byteLength} ${place}`;
  } catch (error) {
    if (error instanceof RenderError || error instanceof ComposeError) return `${error.status}: ${error.message}`;
    throw error;
  }
}
