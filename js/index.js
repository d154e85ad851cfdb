// midicompose for JavaScript: the C++ engine compiled to WebAssembly, with
// the same bytes as the native library. Works in Node and in browsers.
// Every fact here (version, statuses, instruments, the notes, the warnings,
// the layout of the result) is read from the engine.
import createMidicompose from './midicompose.mjs';

let engine;  // the instantiated module and what it says of itself, shared once loaded
function loadEngine() {
  engine ??= createMidicompose().then((module) => ({ module, ...readFacts(module) }));
  return engine;
}

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const KEY_NAMES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];

/** A MIDI key's name, as the timeline gives it: 60 is 'C4', 61 'C#4'. */
export const keyName = (key) => KEY_NAMES[key % 12] + (Math.floor(key / 12) - 1);

function readCString(module, at) {
  if (at === 0) return '';
  const heap = module.HEAPU8;
  let end = at;
  while (heap[end] !== 0) end++;
  return decoder.decode(heap.subarray(at, end));
}

// The structures' layout, the status names and the instrument table.
function readFacts(module) {
  const names = readCString(module, module._MIDIComposeLayoutNames()).trim().split(' ');
  const values = new Uint32Array(module.HEAPU8.buffer, module._MIDIComposeLayout(), names.length);
  const layout = { result: {}, note: {}, warning: {}, place: {}, score: {} };
  names.forEach((name, i) => {
    const [group, field] = name.split('.');
    layout[group][field] = values[i];
  });
  const statusNames = new Map(), statusCodes = new Map();
  for (let value = 0; value <= 1000; value++) {
    const at = module._MIDIComposeStatusName(value);
    if (at !== 0) statusNames.set(value, readCString(module, at));
    if (at !== 0) statusCodes.set(readCString(module, at), value);
  }
  const table = {};
  const program = module._malloc(4);
  for (let index = 0, at; (at = module._MIDIComposeInstrument(index, program)) !== 0; index++) {
    table[readCString(module, at)] = new Int32Array(module.HEAPU8.buffer, program, 1)[0];
  }
  module._free(program);
  const namesOf = (namer) => {
    const found = new Map();
    for (let value = 0; value <= 64; value++) if (namer(value) !== 0) found.set(value, readCString(module, namer(value)));
    return found;
  };
  return {
    layout, statusNames, statusCodes, table: Object.freeze(table), version: readCString(module, module._MIDIComposeVersion()),
    warningNames: namesOf(module._MIDIComposeWarningName), argumentNames: namesOf(module._MIDIComposeArgumentName),
    noMemoryText: `Error: ${readCString(module, module._MIDIComposeStatusMessage(statusCodes.get('COMPOSE_NO_MEMORY')))}`,
  };
}

/** A failed composition: `status` is the C status name, `code` its value,
 * and the message is the library's own. */
export class ComposeError extends Error {
  constructor(code, message, status = 'UNKNOWN') {
    super(message);
    this.name = 'ComposeError';
    this.code = code;
    this.status = status;
  }
}

// The library reads a text up to its first NUL; what followed would be
// dropped without a word.
function refuseNul(text, what) {
  if (text.includes('\0')) throw new TypeError(`${what} must not contain null characters`);
  return text;
}

function argumentText(value, what, integral = false) {
  if (typeof value === 'number') {
    if (integral && !Number.isInteger(value)) throw new TypeError(`${what} must be an integer or a string, not ${value}`);
    return String(value);  // the shortest text that reads back as the same number
  }
  if (typeof value === 'string') return refuseNul(value, what);
  throw new TypeError(`${what} must be a string or a number`);
}

// What the engine says when memory runs out; where it had no room to say so
// itself, the binding says it in the engine's words, from its status table.
const noMemory = ({ statusCodes, noMemoryText }) =>
  new ComposeError(statusCodes.get('COMPOSE_NO_MEMORY'), noMemoryText, 'COMPOSE_NO_MEMORY');

function cString(engineFacts, text) {
  const { module } = engineFacts;
  const bytes = encoder.encode(text);
  const at = module._malloc(bytes.length + 1);
  if (at === 0) throw noMemory(engineFacts);
  module.HEAPU8.set(bytes, at);
  module.HEAPU8[at + bytes.length] = 0;
  return at;
}

// The notes as the file holds them, in beats, with their keys' names and
// their places in the notes text (`units` maps its UTF-8 offsets to UTF-16).
function readTimeline(view, at, count, layout, division, places, units) {
  const notes = [];
  for (let i = 0; i < count; i++) {
    const note = at + i * layout.note.bytes, place = places + i * layout.place.bytes;
    const key = view.getInt32(note + layout.note.key, true);
    notes.push(Object.freeze({
      start: view.getUint32(note + layout.note.start, true) / division,
      beats: view.getUint32(note + layout.note.length, true) / division,
      key,
      name: keyName(key),
      channel: view.getInt32(note + layout.note.channel, true),
      place: Object.freeze([units(view.getUint32(place + layout.place.start, true)),
        units(view.getUint32(place + layout.place.end, true))]),
    }));
  }
  return Object.freeze(notes);
}

// Byte offsets of a text's UTF-8 as indexes of its UTF-16 units, so that
// text.slice(start, end) is a place the engine gave in bytes. ASCII text,
// where the two are the same, is not read.
function utf16Units(text) {
  const bytes = encoder.encode(text);
  if (bytes.length === text.length) return (offset) => offset;
  const units = new Uint32Array(bytes.length + 1);
  for (let i = 0, unit = 0; i < bytes.length; i++) {
    units[i] = unit;
    if ((bytes[i] & 0xC0) !== 0x80) unit += bytes[i] >= 0xF0 ? 2 : 1;  // four bytes: a surrogate pair
    units[i + 1] = unit;
  }
  return (offset) => units[offset];
}

// The warnings: what the grammar did with the texts (notes, beats, instrument).
function readWarnings(facts, view, at, count, units) {
  const { module, layout: { warning: layout }, warningNames, argumentNames } = facts;
  const warnings = [];
  for (let i = 0; i < count; i++) {
    const w = at + i * layout.bytes;
    const argument = view.getInt32(w + layout.argument, true), note = view.getInt32(w + layout.note, true);
    warnings.push(Object.freeze({
      code: warningNames.get(view.getInt32(w + layout.code, true)),
      argument: argumentNames.get(argument),
      note: note >= 0 ? note : null,
      start: units[argument](view.getUint32(w + layout.start, true)),
      end: units[argument](view.getUint32(w + layout.end, true)),
      message: readCString(module, view.getUint32(w + layout.message, true)),
    }));
  }
  return Object.freeze(warnings);
}

// The score of a composition's notes (their bytes as the engine handed them
// over): its MusicXML text and what the engine says of it, or a ComposeError
// such as COMPOSE_SCORE_TOO_LONG.
function scoreOf(facts, noteBytes, program, instrument) {
  const { module, layout: { result: RESULT, score: SCORE, note: NOTE }, statusNames, statusCodes } = facts;
  const pointers = [];
  try {
    const allocate = (bytes) => {
      const at = module._malloc(Math.max(bytes, 1));
      if (at === 0) throw noMemory(facts);
      pointers.push(at);
      module.HEAPU8.fill(0, at, at + bytes);
      return at;
    };
    const notes = allocate(noteBytes.length), result = allocate(RESULT.bytes), score = allocate(SCORE.bytes);
    const name = cString(facts, instrument);
    pointers.push(name);
    module.HEAPU8.set(noteBytes, notes);
    let view = new DataView(module.HEAPU8.buffer);
    view.setUint32(result + RESULT.size, RESULT.bytes, true);
    view.setInt32(result + RESULT.program, program, true);
    view.setUint32(result + RESULT.instrument, name, true);
    view.setUint32(result + RESULT.noteList, notes, true);
    view.setUint32(result + RESULT.noteCount, noteBytes.length / NOTE.bytes, true);
    view.setUint32(score + SCORE.size, SCORE.bytes, true);
    const code = module._MIDIComposeMusicXML(result, 0, score);
    view = new DataView(module.HEAPU8.buffer);  // the memory may have grown
    const field = (name) => view.getUint32(score + SCORE[name], true);
    try {
      if (code !== statusCodes.get('COMPOSE_OK')) {
        throw new ComposeError(code, readCString(module, field('message')) || facts.noMemoryText, statusNames.get(code));
      }
      return Object.freeze({
        musicxml: decoder.decode(module.HEAPU8.subarray(field('musicxml'), field('musicxml') + field('length'))),
        measures: Number(view.getBigUint64(score + SCORE.measures, true)),
        moved: view.getInt32(score + SCORE.moved, true),
        graceNotes: view.getInt32(score + SCORE.graceNotes, true),
        leftOut: view.getInt32(score + SCORE.leftOut, true),
        message: readCString(module, field('message')),
      });
    } finally {
      module._MIDIComposeFreeScore(score);
    }
  } finally {
    for (const at of pointers) module._free(at);
  }
}

/**
 * Composes the notes into a Standard MIDI File, in memory.
 * @param {string} notes "FACE" or "C:2 E G C5:2"
 * @param {{instrument?: string|number, beats?: number|string}} [options]
 */
export async function compose(notes, { instrument = 'piano', beats = 1 } = {}) {
  if (typeof notes !== 'string') throw new TypeError('notes must be a string');
  const texts = [refuseNul(notes, 'notes'), argumentText(instrument, 'instrument', true), argumentText(beats, 'beats')];
  const facts = await loadEngine();
  const { module, layout, statusNames, statusCodes } = facts;
  const RESULT = layout.result;
  const pointers = [];
  let result = 0;
  try {
    for (const text of texts) pointers.push(cString(facts, text));
    result = module._malloc(RESULT.bytes);
    if (result === 0) throw noMemory(facts);
    module.HEAPU8.fill(0, result, result + RESULT.bytes);
    new DataView(module.HEAPU8.buffer).setUint32(result + RESULT.size, RESULT.bytes, true);
    const code = module._MIDIComposeUTF8(pointers[0], 0, pointers[1], pointers[2], result);
    const view = new DataView(module.HEAPU8.buffer);  // the memory may have grown
    const field = (name) => view.getUint32(result + RESULT[name], true);
    if (code !== statusCodes.get('COMPOSE_OK')) {
      const message = readCString(module, field('errors')).trim() || facts.noMemoryText;
      throw new ComposeError(code, message, statusNames.get(code));
    }
    const data = module.HEAPU8.slice(field('data'), field('data') + field('length'));
    const division = (data[12] << 8) | data[13];  // ticks per beat, from the file's header
    const program = view.getInt32(result + RESULT.program, true), instrument = readCString(module, field('instrument'));
    const units = [texts[0], texts[2], texts[1]].map(utf16Units);  // notes, beats, instrument
    const noteBytes = module.HEAPU8.slice(field('noteList'), field('noteList') + field('noteCount') * layout.note.bytes);
    return Object.freeze({
      data,
      program,
      instrument,
      /** The composition as a score: MusicXML 4.0 text (its UTF-8 is the bytes the command writes). */
      score: () => scoreOf(facts, noteBytes, program, instrument),
      musicxml: () => scoreOf(facts, noteBytes, program, instrument).musicxml,
      notes: view.getInt32(result + RESULT.notes, true),
      beats: view.getFloat64(result + RESULT.beats, true),
      report: readCString(module, field('output')),
      timeline: readTimeline(view, field('noteList'), field('noteCount'), layout, division, field('places'), units[0]),
      warnings: readWarnings(facts, view, field('warnings'), field('warningCount'), units),
    });
  } finally {
    if (result !== 0) {
      module._MIDIComposeFreeResult(result);
      module._free(result);
    }
    for (const at of pointers) module._free(at);
  }
}

/** Every instrument name the engine knows, with its program, in its order
 * (by program; "drums" is 128): `{ piano: 0, ..., drums: 128 }`. */
export async function instruments() {
  return (await loadEngine()).table;
}

/** The engine's version, such as "1.5.0". */
export async function version() {
  return (await loadEngine()).version;
}
