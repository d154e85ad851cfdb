// midicompose for JavaScript: the C++ engine compiled to WebAssembly, with
// the same bytes as the native library. Works in Node and in browsers.
import createMidicompose from './midicompose.mjs';
import { INSTRUMENT_ROWS } from './instruments.js';

/** The library's statuses, by value. */
const STATUS_NAMES = Object.freeze({
  999: 'COMPOSE_OK',
  12: 'COMPOSE_BAD_BEATS',
  13: 'COMPOSE_BAD_INSTRUMENT',
  14: 'COMPOSE_NO_MEMORY',
  15: 'COMPOSE_NO_NOTES',
  16: 'COMPOSE_NO_WRITER',
  17: 'COMPOSE_ADD_NOTE_FAILED',
  18: 'COMPOSE_SAVE_FAILED',
  19: 'COMPOSE_TOO_LONG',
});

/** A failed composition: `status` is the C status name, `code` its value,
 * and the message is the library's own. */
export class ComposeError extends Error {
  constructor(code, message) {
    super(message);
    this.name = 'ComposeError';
    this.code = code;
    this.status = STATUS_NAMES[code] ?? 'UNKNOWN';
  }
}

const FIRST_NAME = new Map();
for (const [name, program] of INSTRUMENT_ROWS) if (!FIRST_NAME.has(program)) FIRST_NAME.set(program, name);

let engine;  // the instantiated module, shared by every call once loaded
function loadEngine() {
  engine ??= createMidicompose();
  return engine;
}

// Where MIDIComposeResult's fields lie on wasm32 (size_t and pointers are 4 bytes).
const RESULT = { size: 0, data: 4, length: 8, output: 12, errors: 16, program: 20, notes: 24, beats: 32, bytes: 40 };
const encoder = new TextEncoder();
const decoder = new TextDecoder();

function argumentText(value, what) {
  if (typeof value === 'number') return String(value);  // the shortest text that reads back as the same number
  if (typeof value === 'string') return value;
  throw new TypeError(`${what} must be a string or a number`);
}

function cString(module, text) {
  const bytes = encoder.encode(text);
  const at = module._malloc(bytes.length + 1);
  if (at === 0) throw new ComposeError(14, 'Error: Memory allocation failed');
  module.HEAPU8.set(bytes, at);
  module.HEAPU8[at + bytes.length] = 0;
  return at;
}

function readCString(module, at) {
  if (at === 0) return '';
  const heap = module.HEAPU8;
  let end = at;
  while (heap[end] !== 0) end++;
  return decoder.decode(heap.subarray(at, end));
}

/**
 * Composes the notes into a Standard MIDI File, in memory.
 * @param {string} notes "FACE" or "C:2 E G C5:2"
 * @param {{instrument?: string|number, beats?: number|string}} [options]
 */
export async function compose(notes, { instrument = 'piano', beats = 1 } = {}) {
  if (typeof notes !== 'string') throw new TypeError('notes must be a string');
  const module = await loadEngine();
  const texts = [notes, argumentText(instrument, 'instrument'), argumentText(beats, 'beats')];
  const pointers = [];
  let result = 0;
  try {
    for (const text of texts) pointers.push(cString(module, text));
    result = module._malloc(RESULT.bytes);
    if (result === 0) throw new ComposeError(14, 'Error: Memory allocation failed');
    module.HEAPU8.fill(0, result, result + RESULT.bytes);
    new DataView(module.HEAPU8.buffer).setUint32(result + RESULT.size, RESULT.bytes, true);
    const code = module._MIDIComposeUTF8(pointers[0], 0, pointers[1], pointers[2], result);
    const view = new DataView(module.HEAPU8.buffer);  // the memory may have grown
    const field = (name) => view.getUint32(result + RESULT[name], true);
    if (code !== 999) {
      const message = readCString(module, field('errors')).trim() || 'Error: Memory allocation failed';
      throw new ComposeError(code, message);
    }
    const program = view.getInt32(result + RESULT.program, true);
    return Object.freeze({
      data: module.HEAPU8.slice(field('data'), field('data') + field('length')),
      program,
      instrument: FIRST_NAME.get(program & 0xff) ?? 'unknown',
      notes: view.getInt32(result + RESULT.notes, true),
      beats: view.getFloat64(result + RESULT.beats, true),
      report: readCString(module, field('output')),
    });
  } finally {
    if (result !== 0) {
      module._MIDIComposeFreeResult(result);
      module._free(result);
    }
    for (const at of pointers) module._free(at);
  }
}

/** Every instrument name the library knows, with its program, in its order. */
export function instruments() {
  return INSTRUMENT_ROWS.map(([name, program]) => ({ name, program }));
}
