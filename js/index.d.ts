/** The C library's status names (MIDIComposeStatusName). */
export type ComposeStatus =
  | 'COMPOSE_BAD_BEATS'
  | 'COMPOSE_BAD_INSTRUMENT'
  | 'COMPOSE_NO_MEMORY'
  | 'COMPOSE_NO_NOTES'
  | 'COMPOSE_NO_WRITER'
  | 'COMPOSE_ADD_NOTE_FAILED'
  | 'COMPOSE_SAVE_FAILED'
  | 'COMPOSE_TOO_LONG'
  | 'COMPOSE_SCORE_TOO_LONG'
  | 'UNKNOWN';

/** A failed composition, with the library's own message. */
export class ComposeError extends Error {
  readonly name: 'ComposeError';
  /** The status name, such as 'COMPOSE_BAD_BEATS'. */
  readonly status: ComposeStatus;
  /** The status value, such as 12. */
  readonly code: number;
}

export interface ComposeOptions {
  /** A General MIDI program 0 to 127 (an integer) or a name such as 'violin' (default 'piano'). */
  instrument?: string | number;
  /** The default note length in quarter notes (default 1). */
  beats?: number | string;
}

/** One composed note as the file holds it. */
export interface Note {
  /** Where it starts, in beats. */
  readonly start: number;
  /** How long it sounds, in beats. */
  readonly beats: number;
  /** MIDI key 0 to 127 (60 is C4, middle C); for drums, the percussion sound. */
  readonly key: number;
  /** The key's name, such as 'C5'. */
  readonly name: string;
  /** 0, or 9 (channel 10) for drums. */
  readonly channel: number;
  /** Where it stands in the notes text, `[start, end]` in UTF-16 units:
   * `notes.slice(...note.place)` is the note as written ('C5:2' in beat
   * notation, its letter in notes without spaces). */
  readonly place: readonly [number, number];
}

/** The names of MIDIComposeWarningCode, without their prefix. */
export type WarningCode =
  | 'SKIPPED_CHARACTERS'
  | 'NOTES_DROPPED'
  | 'UNKNOWN_LETTER'
  | 'SHARP_OR_FLAT'
  | 'IGNORED_CHARACTERS'
  | 'KEY_CLAMPED'
  | 'LENGTH_IGNORED'
  | 'LENGTH_TRAILING'
  | 'ZERO_LENGTH'
  | 'LENGTH_ROUNDED'
  | 'TRAILING_TEXT';

/** What the note grammar did with part of a text that may not mean what its
 * writer meant ('C#5' plays C4). `text.slice(start, end)` is that part. */
export interface NotationWarning {
  readonly code: WarningCode;
  readonly argument: 'notes' | 'beats' | 'instrument';
  /** The index of the composed note it is about, or null. */
  readonly note: number | null;
  /** First UTF-16 unit of the part. */
  readonly start: number;
  /** The unit after it. */
  readonly end: number;
  /** What was done instead, from the library. */
  readonly message: string;
}

export interface Song {
  /** The Standard MIDI File, byte for byte what the native library writes. */
  readonly data: Uint8Array;
  /** General MIDI program; 128 is drums. */
  readonly program: number;
  /** The program's name, as the report gives it. */
  readonly instrument: string;
  /** Notes composed. */
  readonly notes: number;
  /** Their total length in beats. */
  readonly beats: number;
  /** The report the native library prints. */
  readonly report: string;
  /** The notes in time order. */
  readonly timeline: readonly Note[];
  /** What the grammar did with the texts, in order of argument and place. */
  readonly warnings: readonly NotationWarning[];
  /** The composition as a score: MusicXML 4.0 text, whose UTF-8 is the bytes the
   * command's --musicxml writes. Lengths inside a beat move to the nearest 64th or
   * triplet. Throws a ComposeError (COMPOSE_SCORE_TOO_LONG) past 10,000 measures. */
  musicxml(): string;
  /** The same score with what the engine says of it. */
  score(): Score;
}

/** A composition's score, as the engine wrote it. */
export interface Score {
  /** MusicXML 4.0 text: what musicxml() returns. */
  readonly musicxml: string;
  readonly measures: number;
  /** Sounding notes whose start or length moved to the nearest 64th or triplet. */
  readonly moved: number;
  /** Notes of no length, written as grace notes. */
  readonly graceNotes: number;
  /** Notes of no length after the last sounding note, left out. */
  readonly leftOut: number;
  /** What moved, in words ("3 notes moved to the nearest 64th or triplet, 1 grace note"), or "". */
  readonly message: string;
}

/** Composes note text such as 'C:2 E G C5:2' into a Standard MIDI File, in memory.
 * @param notes "FACE" (one note per letter) or "C:2 E G C5:2" (notes apart, each NAME[:BEATS])
 * @param options the instrument (a General MIDI program or a name; default 'piano') and the
 *   default beats (default 1)
 * @returns the song: its file's bytes, its report, its timeline (each note with its place in
 *   `notes`), its warnings, and its score on demand. Rejects with a TypeError for a null
 *   character in a text or a program that is not an integer, and with a ComposeError when the
 *   library fails. */
export function compose(notes: string, options?: ComposeOptions): Promise<Song>;

/** Every instrument name with its program, in the library's order.
 * @returns `{ piano: 0, ..., drums: 128 }`, from the engine's table */
export function instruments(): Promise<Readonly<Record<string, number>>>;

/** A MIDI key's name, as the timeline gives it.
 * @param key a MIDI key, 0 to 127
 * @returns its name: 60 is 'C4', 61 'C#4' */
export function keyName(key: number): string;

/** The engine's version.
 * @returns the loaded engine's version, such as '1.5.0' */
export function version(): Promise<string>;
