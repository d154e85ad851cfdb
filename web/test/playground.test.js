// The playground in headless Chromium (Debian's): type a composition, read
// the piano roll and the report, download the file, compare with the native
// command, and keep a screenshot. Environment: MIDICOMPOSE_WEB_DIR (the built
// page), MIDICOMPOSE_CLI (the native command), MIDICOMPOSE_SCREENSHOT (where
// to save it), CHROMIUM (default /usr/bin/chromium).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { connect } from 'node:net';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
let server, browser, address;

before(async () => {
  server = spawn(process.execPath, [join(here, '../../scripts/serve-web.mjs'), process.env.MIDICOMPOSE_WEB_DIR, '0']);
  address = await new Promise((resolve, reject) => {
    server.stdout.once('data', (line) => resolve(String(line).match(/http:\S+/)[0]));
    server.once('exit', reject);
  });
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
});

test('the playground draws, reports and downloads exactly what the native command writes', async () => {
  const page = await browser.newPage({ acceptDownloads: true, viewport: { width: 900, height: 640 } });
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(address);
  await page.waitForSelector('body[data-composed]');
  assert.equal(await page.locator('#instrument option').count(), 132);

  const notes = 'C:2 E G:0.5 A5:1.5 C';
  await page.selectOption('#instrument', 'flute');
  await page.fill('#beats', '1');
  await page.fill('#notes', notes);
  await page.waitForFunction(() => document.querySelector('#report').textContent.includes('Notes: 5'));

  // The piano roll: each note at its key, start and length, on a beat grid after a 36-pixel label column,
  // as wide as its panel.
  const perBeat = Number(await page.getAttribute('#roll', 'data-pixels-per-beat'));
  const frameWidth = await page.$eval('#roll-frame', (frame) => frame.clientWidth);
  assert.equal(Number(await page.getAttribute('#roll', 'width')), frameWidth);
  const rects = await page.$$eval('#roll rect.note', (all) => all.map((r) => ({
    key: Number(r.dataset.key), start: Number(r.dataset.start), beats: Number(r.dataset.beats),
    x: Number(r.getAttribute('x')), width: Number(r.getAttribute('width')) })));
  assert.deepEqual(rects.map(({ key, start, beats }) => [key, start, beats]),
    [[60, 0, 2], [64, 2, 1], [67, 3, 0.5], [81, 3.5, 1.5], [60, 5, 1]]);
  for (const r of rects) {
    assert.ok(Math.abs(r.x - (36 + r.start * perBeat)) < 1e-6);
    assert.ok(Math.abs(r.width - (r.beats * perBeat - 1)) < 1e-6);
  }
  assert.equal(await page.locator('#roll line.beat').count(), 7);  // beats 0 to 6
  assert.match(await page.textContent('#program'), /Program 73: flute/);

  const work = mkdtempSync(join(tmpdir(), 'midicompose-web-'));
  try {
    const path = join(work, 'native.mid');
    const native = spawnSync(process.env.MIDICOMPOSE_CLI, [notes, path, 'flute', '1']);
    assert.equal(native.status, 0);
    assert.equal(await page.textContent('#report'),
      native.stdout.toString().replace(`successfully: ${path}\n`, 'successfully: \n'));
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.equal(download.suggestedFilename(), 'composition.mid');
    assert.deepEqual(readFileSync(await download.path()), readFileSync(path));
  } finally {
    rmSync(work, { recursive: true, force: true });
  }

  // A warning: its place underlined in the field, listed under it, and its note marked on the roll.
  await page.fill('#notes', 'A#5 C:1/3');
  await page.waitForFunction(() => document.querySelectorAll('#warnings li').length === 2);
  assert.deepEqual(await page.$$eval('#notes-marks mark', (all) => all.map((m) => m.textContent)), ['#5', '/3']);
  assert.deepEqual(await page.$$eval('#warnings li', (all) => all.map((li) => li.textContent)),
    ['#5 A#5 has no sharps or flats here: played as A4 (key 69)', '/3 C:1/3: "/3" after the length ignored: lasts 1 beat']);
  assert.equal(await page.getAttribute('#warnings', 'role'), 'status');
  assert.deepEqual(await page.$$eval('#roll rect.warned title', (all) => all.map((t) => t.textContent)),
    ['A4 at beat 0, 1 beats: A#5 has no sharps or flats here: played as A4 (key 69)',
     'C4 at beat 1, 1 beats: C:1/3: "/3" after the length ignored: lasts 1 beat']);
  await page.fill('#notes', notes);
  await page.waitForFunction(() => document.querySelector('#warnings').children.length === 0);

  // A bad length shows the library's message instead of a roll.
  await page.fill('#beats', '0');
  await page.waitForFunction(() => document.querySelector('#report').classList.contains('error'));
  assert.equal(await page.textContent('#report'), "Error: Invalid beats value '0'");
  assert.equal(await page.locator('#roll rect').count(), 0);
  await page.fill('#beats', '1');
  await page.waitForFunction(() => !document.querySelector('#report').classList.contains('error'));

  assert.deepEqual(problems, []);
});

test('a share link restores its composition; Play sounds the font and moves the cursor; the .wav downloads', async () => {
  const notes = 'C:2 E G:0.5 A#5 # café ' + Array.from({ length: 96 }, (_, i) => 'CDEFGAB'[i % 7] + ':0.5').join(' ');
  const link = `${address}#${new URLSearchParams({ notes, instrument: 'trumpet', beats: '1' })}`;
  const page = await browser.newPage({ acceptDownloads: true, viewport: { width: 1000, height: 720 } });
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(link);
  await page.waitForSelector('body[data-composed]');
  assert.equal(await page.inputValue('#notes'), notes);
  assert.equal(await page.inputValue('#instrument'), 'trumpet');
  assert.match(await page.textContent('#report'), /Notes: 100\n/);
  assert.equal(await page.locator('#roll rect.note').count(), 100);
  await page.waitForSelector('body[data-font="loaded"]', { timeout: 60000 });

  // Space plays: the context runs, a source starts, the cursor moves.
  await page.locator('#play').focus();
  await page.locator('#roll-frame').click();
  await page.keyboard.press('Space');
  await page.waitForSelector('body[data-sources-started]');
  const x0 = Number(await page.getAttribute('#cursor', 'x1'));
  await page.waitForFunction((x) => Number(document.querySelector('#cursor').getAttribute('x1')) > x + 20, x0);
  assert.equal(await page.getAttribute('body', 'data-context-state'), 'running');
  console.log(`playground: first sound ${await page.getAttribute('body', 'data-first-sound-ms')} ms after Play`);
  await page.screenshot({ path: process.env.MIDICOMPOSE_SCREENSHOT, fullPage: true });
  await page.keyboard.press('Space');
  await page.waitForSelector('body[data-playing="false"]');

  // Typing keeps the address up to date, and the address restores what was typed.
  await page.fill('#notes', 'C:2 E G C5:2');
  await page.waitForFunction(() => document.querySelector('#report').textContent.includes('Notes: 4'));
  const typed = page.url();
  const again = await browser.newPage();
  await again.goto(typed);
  await again.waitForSelector('body[data-composed]');
  assert.equal(await again.inputValue('#notes'), 'C:2 E G C5:2');
  await again.close();


  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-wav')]);
  assert.equal(download.suggestedFilename(), 'composition.wav');
  const wav = readFileSync(await download.path());
  assert.equal(wav.toString('latin1', 0, 4) + wav.toString('latin1', 8, 12), 'RIFFWAVE');
  const seconds = wav.readUInt32LE(40) / wav.readUInt32LE(28);
  assert.ok(seconds > 3 && seconds <= 5, `${seconds} s`);
  assert.deepEqual(problems, []);
  await page.close();
});

test('the score engraves the command\'s MusicXML note for note, marks the warnings, lights what sounds in order', async () => {
  const notes = 'Cx:2 E:0.001 G:0.001 A:1.5 B:0.33 C5:2.67 D A#5 E F G A B C5';
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1000, height: 800 } });
  const page = await context.newPage();
  const problems = [], fetched = [];
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('request', (request) => fetched.push(request.url()));
  await page.goto(`${address}#${new URLSearchParams({ notes, instrument: 'flute', beats: '1' })}`);
  await page.waitForSelector('body[data-font="loaded"]', { timeout: 60000 });
  assert.ok(!fetched.some((url) => url.includes('opensheetmusicdisplay')), 'the engraver is fetched before the score is shown');
  await page.check('input[value="score"]');
  await page.waitForSelector('body[data-scored]', { timeout: 20000 });

  // Read independently from the command's file: the composition's note each written note is a piece of.
  const work = mkdtempSync(join(tmpdir(), 'midicompose-score-'));
  try {
    const written = join(work, 'native.musicxml');
    assert.equal(spawnSync(process.env.MIDICOMPOSE_CLI, [notes, join(work, 'n.mid'), 'flute', '1', '--musicxml', written]).status, 0);
    let index = -1;
    const pieces = readFileSync(written, 'utf8').match(/<note>[^]*?<\/note>/g).filter((n) => !n.includes('<rest/>'))
      .map((n) => (n.includes('<tie type="stop"/>') ? index : ++index));
    // In the order drawn, but for the grace notes drawn inside the note they lead to, which come before it.
    const engraved = await page.$$eval('#score [data-note]', (all) => all.map((g, i) => [Math.max(i, ...all.map((inner, j) =>
      (inner !== g && g.contains(inner) ? j + 0.5 : -1))), Number(g.dataset.note)]).sort((a, b) => a[0] - b[0]).map(([, n]) => n));
    assert.deepEqual(engraved, pieces);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-musicxml')]);
    assert.deepEqual(readFileSync(await download.path()), readFileSync(written));
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
  assert.deepEqual(await page.$$eval('#score .warned', (all) => [...new Set(all.map((g) => Number(g.dataset.note)))]), [0, 1, 2, 4, 5, 7]);
  assert.match(await page.textContent('#score .warned[data-note="7"] title'), /^A4: A#5 has no sharps or flats here/);
  assert.equal(await page.textContent('#score-facts'), '4 measures. 10 notes moved to the nearest 64th or triplet, 2 grace notes.');
  const [svg] = await Promise.all([page.waitForEvent('download'), page.click('#download-svg')]);
  assert.match(readFileSync(await svg.path(), 'utf8'), /^<svg [^>]*xmlns="http:\/\/www.w3.org\/2000\/svg"/);

  // What is lit while it plays, on the score and in the field: each change a later note, the grace notes with the note after them.
  await page.evaluate(() => {
    window.lit = [];
    window.litText = [];
    new MutationObserver(() => {
      window.lit.push([...document.querySelectorAll('#score .sounding')].map((g) => Number(g.dataset.note)));
      window.litText.push([...document.querySelectorAll('#notes-marks .sounding')].map((span) => span.textContent).join(' '));
    }).observe(document.querySelector('#score'), { attributeFilter: ['data-sounding'] });
  });
  await page.click('#play');
  await page.waitForFunction(() => window.lit.length >= 5, null, { timeout: 20000 });
  await page.click('#play');
  await page.waitForSelector('body[data-playing="false"]');
  const lit = await page.evaluate(() => window.lit);
  assert.deepEqual(lit.slice(0, 3).map((notes) => [...new Set(notes)].sort()), [[0], [1, 2, 3], [4]]);
  for (let i = 1; i < lit.length - 1; i++) assert.ok(Math.min(...lit[i]) > Math.max(...lit[i - 1]), JSON.stringify(lit));
  assert.deepEqual((await page.evaluate(() => window.litText)).slice(0, 3), ['Cx:2', 'E:0.001 G:0.001 A:1.5', 'B:0.33']);
  assert.equal(await page.locator('#score .sounding, #notes-marks .sounding').count(), 0);

  // Printed, the page is the score alone; the view is remembered here, and kept in the link.
  await page.emulateMedia({ media: 'print' });
  assert.deepEqual(await Promise.all(['#controls', '#roll-view', '#score'].map((s) => page.isVisible(s))), [false, false, true]);
  assert.match(page.url(), /&view=score$/);
  // A score too long to engrave here says so and shows none.
  await page.emulateMedia({ media: 'screen' });
  await page.fill('#notes', 'C:5000 D');
  await page.waitForFunction(() => document.querySelector('#score-facts').textContent.startsWith('1251 measures: the page'));
  assert.equal(await page.isVisible('#score'), false);
  const again = await context.newPage();
  await again.goto(address);
  await again.waitForSelector('body[data-scored]', { timeout: 20000 });
  assert.deepEqual(problems, []);
  await context.close();
});

test('each note points at its characters: chosen by a click or Enter, named and walked in order, a selection played alone and looped', async () => {
  const notes = 'C:2 E:0.5 G#4:0.5 C5:2 E5 D:0.001 F';
  const names = ['C4, half note, measure 1, beat 1: C:2, characters 1 to 3', 'E4, eighth note, measure 1, beat 3: E:0.5, characters 5 to 9',
    'G4, eighth note, measure 1, beat 3.5: G#4:0.5, characters 11 to 17', 'C5, half note, measure 1, beat 4: C5:2, characters 19 to 22',
    'E5, quarter note, measure 2, beat 2: E5, characters 24 to 25', 'D4, grace note, measure 2, beat 3: D:0.001, characters 27 to 33',
    'F4, quarter note, measure 2, beat 3: F, character 35'];
  const page = await browser.newPage({ viewport: { width: 1000, height: 800 } });
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(`${address}#${new URLSearchParams({ notes, instrument: 'flute', beats: '1', view: 'score' })}`);
  await page.waitForSelector('body[data-font="loaded"]', { timeout: 60000 });
  await page.waitForSelector('body[data-scored]', { timeout: 20000 });
  const cdp = await page.context().newCDPSession(page);
  await page.addScriptTag({ content: readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8') });
  const axe = async () => assert.deepEqual(await page.evaluate(async () => (await globalThis.axe.run()).violations.map((v) => v.id)), []);
  const selected = () => page.$eval('#notes', (field) => field.value.slice(field.selectionStart, field.selectionEnd));
  const sounded = async (count) => page.waitForFunction((n) => document.body.dataset.soundedNotes === n, String(count));
  for (const view of ['score', 'roll']) {
    await page.check(`input[value="${view}"]`);
    // Each name as the accessibility tree holds it, in order; the keyboard walks them in that order, and Enter chooses one.
    const tree = (await cdp.send('Accessibility.getFullAXTree')).nodes.filter((n) => !n.ignored && n.role?.value === 'button');
    assert.deepEqual(tree.map((n) => n.name.value).filter((name) => name.includes(', measure ')), names, view);
    await page.focus(`#${view} [role="button"][tabindex="0"]`);
    const walked = [];
    for (const key of [...names.map(() => 'ArrowRight'), 'Home', 'End']) {
      walked.push(await page.evaluate(() => document.activeElement.getAttribute('aria-label')));
      await page.keyboard.press(key);
    }
    assert.deepEqual(walked, [...names, names[names.length - 1], names[0]], view);
    await axe();
    await page.keyboard.press('Enter');
    assert.equal(await selected(), 'F');
    // A click on the third note selects its characters and sounds it alone.
    await page.click(view === 'roll' ? '#roll [data-note="2"]' : '#score [data-note="2"] .vf-notehead');
    assert.equal(await selected(), 'G#4:0.5');
    await sounded(1);
    await page.waitForSelector('body[data-playing="false"]');
  }
  // Notes 2 and 3 selected: marked on both views, played alone, and looped until Stop.
  await page.$eval('#notes', (field) => { field.focus(); field.setSelectionRange(5, 12); });
  for (const view of ['roll', 'score']) {
    assert.deepEqual(await page.$$eval(`#${view} .selected`, (all) => [...new Set(all.map((e) => e.closest('[data-note]').dataset.note))]), ['1', '2']);
  }
  await axe();
  await page.check('#loop');
  const before = Number(await page.getAttribute('body', 'data-sources-started'));
  await page.click('#play');
  await sounded(2);
  await page.waitForFunction((n) => Number(document.body.dataset.sourcesStarted) >= n + 2, before, { timeout: 10000 });
  await page.click('#play');
  assert.equal(await page.locator('.sounding').count(), 0);
  assert.doesNotMatch(page.url(), /loop|select/);
  console.log(`walked and looped: each note lit within ${await page.getAttribute('body', 'data-lit-off-ms')} ms of its start by the audio clock`);
  assert.deepEqual(problems, []);
  await page.close();
});

test('Play pressed as soon as it exists, while the engine is still arriving, is not lost', async () => {
  const page = await browser.newPage();
  let arrive;
  const held = new Promise((resolve) => { arrive = resolve; });
  await page.route('**/midicompose.mjs', async (route) => { await held; await route.continue(); });
  await page.goto(address, { waitUntil: 'commit' });
  await page.waitForSelector('#play', { state: 'attached' });
  setTimeout(arrive, 1500);
  await page.click('#play');  // pressed the moment the page lets it be pressed
  await page.waitForSelector('body[data-playing="true"]', { timeout: 5000 });
  await page.close();
});

test('the server answers malformed and escaping requests with 400 and goes on serving', async () => {
  const { port } = new URL(address);
  const sibling = `${process.env.MIDICOMPOSE_WEB_DIR}-private`;
  const requests = [['/%E0%A4%A', 400], ['/%', 400], ['/%2e%2e/%2e%2e/etc/passwd', 404], ['/..%2f..%2fetc%2fpasswd', 400],
                    ['/index.html%00.png', 400], [`/..%2f${encodeURIComponent(sibling.split('/').pop())}%2fsecret`, 400],
                    [`/${'a'.repeat(2000)}`, 404], [`/${'a'.repeat(60000)}`, 431]];
  for (const [path, expected] of requests) {
    // Raw requests, so that neither fetch nor URL tidies the path first.
    const status = await new Promise((resolve) => {
      const socket = connect(Number(port), '127.0.0.1', () => socket.write(`GET ${path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n`));
      let head = '';
      socket.on('data', (chunk) => { head += chunk; });
      // The server may reset a request it refuses before reading it whole.
      for (const event of ['end', 'error']) socket.on(event, () => resolve(Number(head.split(' ')[1])));
    });
    assert.equal(status, expected, path.slice(0, 40));
  }
  const page = await browser.newPage();
  await page.goto(address);
  await page.waitForSelector('body[data-composed]');
  assert.match(await page.textContent('#report'), /Notes: 4/);
  await page.close();
});
