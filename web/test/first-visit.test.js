// The playground as a visitor on a slow network meets it: the static zip
// (MIDICOMPOSE_WEB_ZIP) served by python3 -m http.server, Chromium at
// 10 Mbit/s and 40 ms. A first visit plays the chosen instrument, fetching
// its slice alone; a second instrument fetches its own; with the server
// gone, a second visit opens, composes, plays and downloads. The figures are
// printed (make bench keeps them); the bytes fetched are held to the goal.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const FIRST_SOUND_BYTES = 1.5e6;
const SLOW = { offline: false, latency: 40, downloadThroughput: 10e6 / 8, uploadThroughput: 10e6 / 8 };
let browser, server, address, site;

before(async () => {
  site = mkdtempSync(join(tmpdir(), 'midicompose-zip-'));
  assert.equal(spawnSync('unzip', ['-q', process.env.MIDICOMPOSE_WEB_ZIP, '-d', site]).status, 0);
  const root = join(site, readdirSync(site)[0]);
  server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', root]);
  address = await new Promise((resolve, reject) => {
    server.stdout.on('data', (line) => {
      const port = String(line).match(/port (\d+)/)?.[1];
      if (port) resolve(`http://127.0.0.1:${port}/`);
    });
    server.once('exit', reject);
  });
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
  rmSync(site, { recursive: true, force: true });
});

// Bytes the page fetched up to `until` (ms after it opened), by the
// browser's own count of each response.
const fetchedBy = (page, until) => page.evaluate((t) => performance.getEntriesByType('navigation')
  .concat(performance.getEntriesByType('resource'))
  .filter((e) => e.responseEnd <= t).reduce((sum, e) => sum + e.transferSize, 0), until);

async function playUntilSound(page, program) {
  await page.click('#play');
  await page.waitForFunction((p) => document.body.dataset.sounded === `${p} font`, program, { timeout: 60000 });
  const sound = await page.evaluate(() => ({ at: Number(document.body.dataset.firstSoundAt),
                                             afterPlay: Number(document.body.dataset.firstSoundMs) }));
  await page.click('#play');
  await page.waitForSelector('body[data-playing="false"]');
  return sound;
}

// Each page's own requests slowed: a service worker's fetches are its own,
// which the emulation does not slow, so the timed visit runs without one.
async function slowPage(context) {
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  await cdp.send('Network.enable');
  await cdp.send('Network.emulateNetworkConditions', SLOW);
  return { page, cdp };
}

test('a first visit sounds its instrument from its slice alone, and another instrument from its own', async () => {
  const context = await browser.newContext({ serviceWorkers: 'block' });
  const { page, cdp } = await slowPage(context);
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));

  // Play as soon as the page shows: it waits for the violin, then plays it.
  await page.goto(address);
  await page.waitForSelector('body[data-composed]');
  const first = await playUntilSound(page, 40);
  const firstBytes = await fetchedBy(page, first.at);
  console.log(`first visit: violin sounds ${first.at} ms after the page opened, ${(firstBytes / 1e6).toFixed(2)} MB fetched by then`);
  assert.ok(firstBytes <= FIRST_SOUND_BYTES, `${firstBytes} bytes before the first sound`);

  // An instrument not fetched yet, with one of the largest slices (822 KB): Play waits for it.
  await page.selectOption('#instrument', 'piano');
  await page.waitForFunction(() => document.querySelector('#program').textContent.startsWith('Program 0:'));
  const changed = await playUntilSound(page, 0);
  console.log(`instrument change: piano sounds ${changed.afterPlay} ms after Play`);
  const slices = await page.evaluate(() => performance.getEntriesByType('resource')
    .map((e) => new URL(e.name).pathname.split('/').pop()).filter((name) => name.endsWith('.sf3')));
  assert.deepEqual(slices, ['040.sf3', '000.sf3']);
  console.log(`first visit in all: ${((await fetchedBy(page, Infinity)) / 1e6).toFixed(2)} MB`);

  // The score view: its engraver fetched only once it is opened; then engraving as the text changes.
  const engraverFetched = () => page.evaluate(() => performance.getEntriesByType('resource')
    .some((e) => e.name.endsWith('/opensheetmusicdisplay.min.js')));
  assert.equal(await engraverFetched(), false);
  await page.check('input[value="score"]');
  await page.waitForSelector('body[data-scored="1"]', { timeout: 60000 });
  assert.equal(await engraverFetched(), true);
  console.log(`score view: first appears ${await page.getAttribute('body', 'data-score-ms')} ms after it is opened`);
  const hundred = Array.from({ length: 100 }, (_, i) => 'CDEFGAB'[i % 7] + ['', ':0.5', ':1.5'][i % 3]).join(' ');
  for (const [round, notes] of [[2, hundred], [3, `${hundred.slice(0, -1)}A`]]) {
    await page.fill('#notes', notes);
    await page.waitForSelector(`body[data-scored="${round}"]`);
  }
  console.log(`score view: follows a 100-note text ${await page.getAttribute('body', 'data-score-ms')} ms after it is composed`);
  // The 100 notes' places: a selection marked on the score, a click on a note sounding it, the notes lit as they play.
  const marked = await page.evaluate(async () => {
    const began = performance.now(), field = document.querySelector('#notes');
    field.focus();
    field.setSelectionRange(0, 12);
    await new Promise((resolve) => new MutationObserver(resolve).observe(document.querySelector('#score'), { subtree: true, attributeFilter: ['class'] }));
    return Math.round(performance.now() - began);
  });
  await page.click('#score [data-note="50"] .vf-notehead');
  await page.waitForFunction(() => document.body.dataset.soundedNotes === '1' && document.body.dataset.playing === 'false');
  const clicked = await page.getAttribute('body', 'data-sound-after-ms');
  await page.$eval('#notes', (field) => field.setSelectionRange(0, 0));
  await page.click('#play');
  await page.waitForTimeout(3000);
  await page.click('#play');
  console.log(`places: a selection marked ${marked} ms after it is made, a clicked note sounds ${clicked} ms after the click, ` +
              `each note lit within ${await page.getAttribute('body', 'data-lit-off-ms')} ms of its start by the audio clock`);

  // The warnings in the page and on the score, and nothing axe-core finds; installable (but
  // for the test's browser context being a private one, where no app is).
  await page.fill('#notes', 'A#5 C:1/3');
  await page.waitForFunction(() => document.querySelectorAll('#warnings li').length === 2);
  await page.waitForSelector('body[data-scored="4"] #score .warned');
  await page.addScriptTag({ content: readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8') });
  const violations = await page.evaluate(async () => (await globalThis.axe.run()).violations.map((v) => `${v.id}: ${v.help}`));
  assert.deepEqual(violations, []);
  const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
  assert.deepEqual(installabilityErrors.filter((e) => e.errorId !== 'in-incognito'), []);
  assert.deepEqual(problems, []);
  await context.close();
});

test('after a first visit, the page opens, composes, plays and downloads with the network off', async () => {
  const context = await browser.newContext({ acceptDownloads: true });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(`${address}#notes=C&instrument=trumpet&view=score`);
  await page.waitForSelector('body[data-offline="ready"]', { timeout: 60000 });
  await page.close();

  server.kill();
  await context.setOffline(true);
  const offline = await context.newPage();
  offline.on('pageerror', (error) => problems.push(error.message));
  // Whatever the worker does not answer itself is refused (and routing turns the HTTP cache off).
  await context.route('**/*', (route) => route.abort());
  await offline.goto(`${address}#notes=C%3A2+E+G+C5%3A2&instrument=trumpet&beats=1`);
  await offline.waitForSelector('body[data-composed]');
  assert.match(await offline.textContent('#report'), /Notes: 4\n/);
  await offline.check('input[value="score"]');
  await offline.waitForSelector('body[data-scored]');
  await playUntilSound(offline, 56);
  const [mid] = await Promise.all([offline.waitForEvent('download'), offline.click('#download')]);
  assert.equal(readFileSync(await mid.path()).toString('latin1', 0, 4), 'MThd');
  const [wav] = await Promise.all([offline.waitForEvent('download'), offline.click('#download-wav')]);
  assert.equal(readFileSync(await wav.path()).toString('latin1', 8, 12), 'WAVE');

  // An instrument never fetched has no font offline: simple voices, and the page says so.
  await offline.selectOption('#instrument', 'flute');
  await offline.waitForSelector('body[data-font="none"]');
  assert.match(await offline.textContent('#font'), /flute could not be fetched: Play uses simple voices/);
  await offline.click('#play');
  await offline.waitForFunction(() => document.body.dataset.sounded === '73 voices');
  // The release's cache holds the page, the engine, the synthesizer and the slice played.
  const kept = await offline.evaluate(async () => {
    const name = (await caches.keys()).find((key) => key.startsWith('midicompose-'));
    return (await (await caches.open(name)).keys()).map((request) => new URL(request.url).pathname.split('/').pop());
  });
  for (const file of ['', 'index.html', 'app.js', 'midicompose.mjs', 'audio.js', '056.sf3', 'opensheetmusicdisplay.min.js']) {
    assert.ok(kept.includes(file), file);
  }
  assert.deepEqual(problems, []);
  await context.close();
});
