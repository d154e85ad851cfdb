// The npm package against the golden files and the native command, and its
// packed tarball installed offline into an empty folder.
// Environment: MIDICOMPOSE_NPM_DIR (the built package), MIDICOMPOSE_CLI (the
// native command), MIDICOMPOSE_GOLDEN (tests/golden).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const packageDir = resolve(process.env.MIDICOMPOSE_NPM_DIR);
const { compose, instruments, version, ComposeError } = await import(pathToFileURL(join(packageDir, 'index.js')));

// The notes of a file, read from its bytes by the test alone: each note-on
// paired with the next note-off of its channel and key, in beats.
function readNotes(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const division = view.getUint16(12), end = 22 + view.getUint32(18), open = new Map(), notes = [];
  const names = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];
  for (let at = 22, tick = 0; at < end;) {
    let byte, delta = 0;
    do { byte = bytes[at++]; delta = (delta << 7) | (byte & 0x7f); } while (byte & 0x80);
    tick += delta;
    const status = bytes[at++];
    if (status === 0xff) { at += 2 + bytes[at + 1]; continue; }
    if ((status & 0xf0) === 0xc0) { at++; continue; }
    const key = bytes[at], channel = status & 0x0f, id = `${channel}:${key}`;
    at += 2;
    if ((status & 0xf0) === 0x90) open.set(id, [...(open.get(id) ?? []), tick]);
    else {
      const start = open.get(id).shift();
      notes.push({ start: start / division, beats: (tick - start) / division, key,
                   name: names[key % 12] + (Math.floor(key / 12) - 1), channel });
    }
  }
  return notes.sort((a, b) => a.start - b.start);
}

test('composes the golden files byte for byte', async () => {
  const goldens = [['chord.mid', 'C:2 E:1 G:1 C5:2', 'violin'], ['face.mid', 'FACE', 'piano'], ['drums.mid', 'C2 D2', 'drums']];
  for (const [file, notes, instrument] of goldens) {
    const song = await compose(notes, { instrument, beats: '1.0' });
    assert.ok(song.data instanceof Uint8Array);
    assert.deepEqual(Buffer.from(song.data), readFileSync(join(process.env.MIDICOMPOSE_GOLDEN, file)), file);
  }
  const chord = await compose('C:2 E G C5:2', { instrument: 'violin', beats: 1 });
  assert.deepEqual([chord.program, chord.instrument, chord.notes, chord.beats], [40, 'violin', 4, 6]);
});

test('reads its version, statuses and instruments from the engine', async () => {
  const packageJson = JSON.parse(readFileSync(join(packageDir, 'package.json'), 'utf8'));
  const native = spawnSync(process.env.MIDICOMPOSE_CLI, ['--version']).stdout.toString();
  assert.equal(await version(), packageJson.version);
  assert.equal(native, `midicompose ${packageJson.version}\n`);
  const table = await instruments();
  assert.equal(Object.keys(table).length, 132);
  const listed = spawnSync(process.env.MIDICOMPOSE_CLI, ['--list-instruments']).stdout.toString();
  assert.equal(Object.entries(table).map(([name, program]) => `${name.padEnd(17)} ${program}\n`).join(''), listed);
  const help = spawnSync(process.env.MIDICOMPOSE_CLI, ['--help']).stdout.toString();
  for (const [code, notes, instrument, beats] of [[12, 'C', 'piano', '0'], [13, 'C', 'kazoo', '1'], [15, '1', 'piano', '1']]) {
    await assert.rejects(compose(notes, { instrument, beats }), (error) => {
      assert.ok(help.includes(`  ${code}  ${error.status}: `), error.status);
      return error.code === code;
    });
  }
});

test('refuses null characters and non-integer programs instead of cutting them', async () => {
  const cases = [['C D\0E F G', {}], ['C D', { instrument: 'violin\0junk' }], ['C D', { beats: '1\0junk' }],
                 ['C D', { instrument: 40.7 }], ['C D', { instrument: true }], [['C D'], {}]];
  for (const [notes, options] of cases) {
    await assert.rejects(compose(notes, options), TypeError, JSON.stringify([notes, options]));
  }
  assert.equal((await compose('C D', { instrument: 40 })).instrument, 'violin');
});

// A small seeded generator, so that a failure names a reproducible input.
function generator(seed) {
  let state = seed;
  const next = () => (state = (state * 1103515245 + 12345) % 2147483648) / 2147483648;
  return (items) => items[Math.floor(next() * items.length)];
}

test('places each warning and each note in UTF-16 units, so that slicing the text gives it', async () => {
  const cases = [
    ['C:2 E G C5:2', '1', 'violin', [], ['C:2', 'E', 'G', 'C5:2']],
    ['\u{1D11E} C#5 H\u266F', '1', 'piano', [['UNKNOWN_LETTER', 'notes', 0, '\u{1D11E}'], ['SHARP_OR_FLAT', 'notes', 1, '#5'],
                                            ['UNKNOWN_LETTER', 'notes', 2, 'H\u266F']], ['\u{1D11E}', 'C#5', 'H\u266F']],
    ['\u00E9\u{1D11E}CE', '0.333', '7up', [['SKIPPED_CHARACTERS', 'notes', null, '\u00E9\u{1D11E}'],
                                         ['LENGTH_ROUNDED', 'beats', null, '0.333'], ['TRAILING_TEXT', 'instrument', null, 'up']], ['C', 'E']],
    ['C', '2.25x', '7\u{1D11E}', [['TRAILING_TEXT', 'beats', null, 'x'], ['TRAILING_TEXT', 'instrument', null, '\u{1D11E}']], ['C']],
    ['C', '2\u00E9\u00E9', '123x', [['TRAILING_TEXT', 'beats', null, '\u00E9\u00E9'], ['TRAILING_TEXT', 'instrument', null, 'x']], ['C']],
  ];
  for (const [notes, beats, instrument, expected, written] of cases) {
    const song = await compose(notes, { beats, instrument });
    const texts = { notes, beats, instrument };
    assert.deepEqual(song.warnings.map((w) => [w.code, w.argument, w.note, texts[w.argument].slice(w.start, w.end)]), expected);
    assert.ok(song.warnings.every((w) => Object.isFrozen(w) && w.message.length > 0));
    assert.deepEqual(song.timeline.map((note) => notes.slice(...note.place)), written);
  }
});

test('agrees with the native command on generated compositions', async () => {
  const pick = generator(480);
  const work = mkdtempSync(join(tmpdir(), 'midicompose-js-'));
  const path = join(work, 'song.mid');
  const statuses = new Set();
  try {
    for (let i = 0; i < 120; i++) {
      const count = 1 + Math.floor(pick([...Array(110).keys()]));
      const tokens = Array.from({ length: count }, () =>
        pick(['C', 'D', 'e', 'G', 'a', 'B', 'X', '']) + pick(['', '3', '5', '9']) + pick(['', ':0.5', ':2', ':-1', ':1e1', ':.25']));
      const notes = pick([true, false]) ? tokens.join(' ') : tokens.join('').replace(/ /g, '');
      const instrument = pick(['violin', 'DRUMS', '40', '0', 'kazoo', '128', 73]);
      const beats = pick(['1.0', '0.5', 0.25, 2, '-1', 'abc', 1 / 3]);
      rmSync(path, { force: true });
      const run = spawnSync(process.env.MIDICOMPOSE_CLI, ['--', notes, path, String(instrument), String(beats)]);
      try {
        const song = await compose(notes, { instrument, beats });
        statuses.add('COMPOSE_OK');
        assert.equal(run.status, 0, `${notes} ${instrument} ${beats}: ${run.stderr}`);
        assert.equal(song.report, run.stdout.toString().replace(`successfully: ${path}\n`, 'successfully: \n'));
        assert.deepEqual(Buffer.from(song.data), readFileSync(path));
        assert.deepEqual(song.timeline.map(({ place, ...note }) => note), readNotes(song.data));
        // The texts are ASCII, so a place in UTF-16 units is the command's column in characters.
        const lines = song.warnings.map((w) => `${w.argument}:${w.start + 1}: warning: ${w.message} [${w.code}]\n`);
        assert.equal(lines.join(''), run.stderr.toString());
      } catch (error) {
        if (!(error instanceof ComposeError)) throw error;
        statuses.add(error.status);
        assert.equal(error.code, run.status, `${notes} ${instrument} ${beats}`);
        assert.equal(error.message, run.stderr.toString().trim());
      }
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
  for (const status of ['COMPOSE_OK', 'COMPOSE_BAD_BEATS', 'COMPOSE_BAD_INSTRUMENT', 'COMPOSE_ADD_NOTE_FAILED']) {
    assert.ok(statuses.has(status), `the generator never reached ${status}`);
  }
});

test('the packed tarball installs into an empty folder offline, with its synthesizer, and composes and renders', () => {
  const work = mkdtempSync(join(tmpdir(), 'midicompose-pack-'));
  try {
    const npm = (args, cwd, env = process.env) =>
      execFileSync('npm', [...args, '--no-audit', '--no-fund', '--loglevel=error'], { cwd, env, encoding: 'utf8' });
    const tarball = npm(['pack', packageDir, '--pack-destination', work], work).trim().split('\n').pop();
    const app = join(work, 'app');
    execFileSync('mkdir', [app]);
    writeFileSync(join(app, 'package.json'), '{"name": "app", "private": true, "type": "module"}');
    // With an empty cache of its own: what a warm cache holds cannot stand in for what the tarball lacks.
    npm(['install', '--offline', join(work, tarball)], app, { ...process.env, npm_config_cache: join(work, 'cache') });
    writeFileSync(join(app, 'main.js'),
      "import { readFileSync } from 'node:fs';\n" +
      "import { compose } from 'midicompose';\n" +
      "import { render } from 'midicompose/audio';\n" +
      "const song = await compose('C:2 E:1 G:1 C5:2', { instrument: 'violin', beats: 1 });\n" +
      "const { seconds } = await render(song, { soundfont: readFileSync(process.argv[2]) });\n" +
      "process.stdout.write(Buffer.from(song.data).toString('hex') + ' ' + (seconds > 3));\n");
    const out = execFileSync('node', ['main.js', process.env.MIDICOMPOSE_SOUNDFONT], { cwd: app, encoding: 'utf8' });
    assert.equal(out, readFileSync(join(process.env.MIDICOMPOSE_GOLDEN, 'chord.mid')).toString('hex') + ' true');
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});

test('the score is the text whose UTF-8 the command writes with --musicxml', async () => {
  const work = mkdtempSync(join(tmpdir(), 'midicompose-score-'));
  try {
    const notes = 'C:0.333 D:0.333 E:0.333 C5:2 G2:0.001 C';
    const said = spawnSync(process.env.MIDICOMPOSE_CLI, ['--musicxml', join(work, 'c.musicxml'), notes, join(work, 'c.mid'), 'drums'],
                           { encoding: 'utf8' }).stderr;
    const score = (await compose(notes, { instrument: 'drums' })).score();
    assert.deepEqual(Buffer.from(score.musicxml), readFileSync(join(work, 'c.musicxml')));
    assert.ok(said.endsWith(`\nscore: ${score.message}\n`), said);
    assert.deepEqual([score.measures, score.moved, score.graceNotes, score.leftOut], [1, 5, 1, 0]);
    const long = await compose('C:500 '.repeat(100));
    assert.throws(() => long.musicxml(), { name: 'ComposeError', status: 'COMPOSE_SCORE_TOO_LONG', message: /12500 measures/ });
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
