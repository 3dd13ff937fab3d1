// Proof of work in a real browser (Debian's chromium through playwright-core).
// First the widget's worker against other implementations, on puzzles made here with Node's
// PBKDF2 and libsodium's Argon2id (through python3), served from a stand-in server that takes
// only the right answers: edge answers, more than one pass, memory the module must grow for,
// the progress bar, and the error a page gets when its Content-Security-Policy forbids
// WebAssembly. Then against `quillgate serve` with a sites file whose site asks for the work:
// the server's refusal of a challenge without it leads the widget to a puzzle, the widget
// solves it in its worker and gets its challenge. Prints the solve times.
// Usage: node proof-of-work.test.mjs QUILLGATE_BINARY [ALGORITHM] [UNITS] [SOLVES]
// (ALGORITHM: pbkdf2-sha256, argon2id or both, the default).
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { execFileSync } from 'node:child_process';
import { pbkdf2Sync, randomBytes, randomInt } from 'node:crypto';
import assert from 'node:assert/strict';
import { startServer, launchBrowser, Steps } from './support.mjs';

const algorithms = ['pbkdf2-sha256', 'argon2id'];
const [binary, algorithmText = 'both', unitsText = '100', solvesText = '4'] = process.argv.slice(2);
const units = Number(unitsText);
const solves = Number(solvesText);
if (!binary || !(algorithmText === 'both' || algorithms.includes(algorithmText)) ||
    !Number.isInteger(units) || units < 1 || !Number.isInteger(solves) || solves < 1) {
  console.error('usage: proof-of-work.test.mjs QUILLGATE_BINARY [pbkdf2-sha256|argon2id|both] [UNITS] [SOLVES]');
  process.exit(2);
}
const chosen = algorithmText === 'both' ? algorithms : [algorithmText];
const assets = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..', 'Service', 'assets');

// The unit's input: the search's index, then the candidate as 4 bytes big-endian.
const unitInput = (j, n) => Buffer.from([j, n >>> 24, (n >>> 16) & 255, (n >>> 8) & 255, n & 255]);

// libsodium's crypto_pwhash with ALG_ARGON2ID13, for each [password hex, salt hex, passes, KiB].
function sodiumArgon2id(cases) {
  const program = `
import ctypes, ctypes.util, json, sys
sodium = ctypes.CDLL(ctypes.util.find_library('sodium'))
assert sodium.sodium_init() >= 0
out = []
for password, salt, passes, kib in json.load(sys.stdin):
    password, salt, tag = bytes.fromhex(password), bytes.fromhex(salt), ctypes.create_string_buffer(32)
    assert sodium.crypto_pwhash(tag, ctypes.c_ulonglong(32), password, ctypes.c_ulonglong(len(password)), salt,
        ctypes.c_ulonglong(passes), ctypes.c_size_t(kib * 1024), ctypes.c_int(sodium.crypto_pwhash_alg_argon2id13())) == 0
    out.append(tag.raw.hex())
print(json.dumps(out))`;
  return JSON.parse(execFileSync('python3', ['-c', program], { input: JSON.stringify(cases) }));
}

// A puzzle as the server sends it, with its hidden answers, for `answers.length` searches.
function handMadePuzzle(algorithm, parameters, range, answers) {
  const seed = randomBytes(16);
  let targets;
  if (algorithm === 'pbkdf2-sha256') {
    targets = answers.map((n, j) => pbkdf2Sync(seed, unitInput(j, n), parameters.iterations, 32, 'sha256').toString('hex'));
  } else {
    targets = sodiumArgon2id(answers.map((n, j) => [unitInput(j, n).toString('hex'), seed.toString('hex'),
                                                    parameters.passes, parameters.memory_kib]));
  }
  return {
    answers,
    json: {
      puzzle: 'sealed-' + seed.toString('hex'), algorithm, ...parameters, seed: seed.toString('hex'),
      searches: answers.length, range, targets, units: answers.length * (range + 1) / 2, expires_ms: Date.now() + 600000,
    },
  };
}

const work = mkdtempSync(join(tmpdir(), 'quillgate-pow-'));
const steps = new Steps();
let server;
let context;

try {
  context = await launchBrowser(join(work, 'profile'));
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(120000);
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));

  // The stand-in server: a loopback origin (WebCrypto needs a secure context) that nothing
  // listens on, answered by the browser context's routes, the worker's requests included.
  const standIn = 'http://127.0.0.1:9';
  let current = null;  // the puzzle /api/puzzle hands out and /api/challenge wants solved
  let challengeBodies = [];
  let csp = '';
  await context.route(standIn + '/**', (route) => {
    const url = new URL(route.request().url());
    const json = (status, body) => route.fulfill({ status, contentType: 'application/json', body: JSON.stringify(body) });
    if (url.pathname === '/page.html') {
      return route.fulfill({ contentType: 'text/html; charset=utf-8', headers: { 'Content-Security-Policy': csp },
                             body: `<!doctype html><title>work</title><script src="${standIn}/quillgate.js"></script>` });
    }
    if (url.pathname === '/quillgate.js') {
      return route.fulfill({ contentType: 'text/javascript', body: readFileSync(join(assets, 'quillgate.js')) });
    }
    if (url.pathname === '/vendor/argon2id.js') {
      return route.fulfill({ contentType: 'text/javascript', body: readFileSync(join(assets, 'vendor', 'argon2id.js')) });
    }
    if (url.pathname === '/api/puzzle') return json(200, current.json);
    if (url.pathname === '/api/challenge') {
      const body = JSON.parse(route.request().postData());
      challengeBodies.push(body);
      if (!body.pow) return json(403, { error: 'pow_required', message: 'work first' });
      if (body.pow.puzzle !== current.json.puzzle || JSON.stringify(body.pow.solution) !== JSON.stringify(current.answers)) {
        return json(403, { error: 'pow_wrong', message: 'wrong: ' + JSON.stringify(body.pow) });
      }
      return json(200, { token: 'solved', image: 'data:image/gif;base64,R0lGODlhAQABAAAAACw=', width: 1, height: 1, audio: '/audio/x' });
    }
    return route.fulfill({ status: 404, body: 'not here' });
  });
  const strictPolicy = `default-src 'none'; script-src ${standIn} 'wasm-unsafe-eval'; connect-src ${standIn}; ` +
                       `img-src data:; media-src ${standIn}; worker-src blob:`;

  // Renders a widget for `puzzle` on a fresh page and waits for it; resolves to what came of it.
  async function solveOnPage(puzzle, policy = strictPolicy) {
    current = puzzle;
    challengeBodies = [];
    csp = policy;
    await page.goto(standIn + '/page.html');
    return page.evaluate(async () => {
      const element = document.createElement('div');
      document.body.append(element);
      const widget = window.Quillgate.render(element, { sitekey: 'stand_in' });
      const progress = element.querySelector('.quillgate-progress');
      const seen = [];
      new MutationObserver(() => seen.push({ hidden: progress.hidden, value: progress.value,
                                             live: element.querySelector('.quillgate-live').textContent }))
        .observe(progress, { attributes: true, attributeFilter: ['value', 'hidden'] });
      let error = null;
      await widget.ready.catch((caught) => { error = caught.message; });
      return { token: widget.token(), work: widget.lastWork, error, seen, hiddenAfter: progress.hidden,
               message: element.querySelector('.quillgate-message').textContent };
    });
  }

  function assertSolved(result, puzzle) {
    assert.equal(result.error, null);
    assert.equal(result.token, 'solved');
    assert.equal(result.work.algorithm, puzzle.json.algorithm);
    // Every candidate up to each answer was tried (a few more while some were in flight).
    const least = puzzle.answers.reduce((sum, n) => sum + n + 1, 0);
    assert.ok(result.work.units >= least && result.work.units <= least + 3 * puzzle.answers.length, JSON.stringify(result.work));
    assert.equal(challengeBodies.length, 2, 'one request refused for want of work, one with it');
  }

  await steps.run('PBKDF2: the worker finds the answers of Node\'s targets, the first and the last of the range too', async () => {
    const puzzle = handMadePuzzle('pbkdf2-sha256', { iterations: 1000 }, 50, [0, 49, randomInt(50), randomInt(50)]);
    assertSolved(await solveOnPage(puzzle), puzzle);
  });

  await steps.run('Argon2id: the worker finds the answers of libsodium\'s targets, over two passes', async () => {
    const puzzle = handMadePuzzle('argon2id', { memory_kib: 64, passes: 2 }, 20, [19, 0, randomInt(20), randomInt(20)]);
    assertSolved(await solveOnPage(puzzle), puzzle);
  });

  await steps.run('Argon2id: with more memory than the module holds at first, in no multiple of 4 KiB', async () => {
    const puzzle = handMadePuzzle('argon2id', { memory_kib: 1030, passes: 1 }, 4, [3, 1, 0, 2]);
    assertSolved(await solveOnPage(puzzle), puzzle);
  });

  await steps.run('the progress bar shows while the worker runs, only rises, and goes when it is done', async () => {
    // Each candidate takes tens of milliseconds here, so the solve lasts a few seconds and the
    // worker reports several times on its way.
    const puzzle = handMadePuzzle('pbkdf2-sha256', { iterations: 150000 }, 24, [23, 23, 22, 23]);
    const result = await solveOnPage(puzzle);
    assertSolved(result, puzzle);
    const shown = result.seen.filter((state) => !state.hidden);
    const between = new Set(shown.map((state) => state.value).filter((value) => value > 0 && value < 100));
    assert.ok(between.size >= 2, JSON.stringify(result.seen));
    for (let i = 1; i < shown.length; i += 1) assert.ok(shown[i].value >= shown[i - 1].value, JSON.stringify(result.seen));
    assert.ok(shown.every((state) => state.live === 'Preparing a challenge…'), JSON.stringify(result.seen));
    assert.equal(result.hiddenAfter, true);
  });

  await steps.run('a page whose policy forbids WebAssembly gets a clear failure for Argon2id work, not a hang', async () => {
    const puzzle = handMadePuzzle('argon2id', { memory_kib: 64, passes: 1 }, 4, [1, 2, 3, 0]);
    const result = await solveOnPage(puzzle, strictPolicy.replace(" 'wasm-unsafe-eval'", ''));
    assert.match(result.error || '', /the proof of work failed: .*WebAssembly/i, JSON.stringify(result));
    assert.match(result.message, /^No CAPTCHA could be loaded: the proof of work failed/);
    assert.equal(result.hiddenAfter, true);
  });
  assert.deepEqual(pageErrors, []);

  // The service itself, with one site per algorithm asking for the work on every challenge.
  const sitesFile = join(work, 'sites.json');
  const unlimited = { per_minute: 0, burst: 1 };
  writeFileSync(sitesFile, JSON.stringify({
    sites: algorithms.map((algorithm) => ({
      sitekey: 'pow_' + algorithm.replace(/-/g, '_'), secret: 'pow_secret_0123456789_abcdefghijklmnop_' + algorithm, origins: ['*'],
      policy: { pow: { algorithm, units }, verify_api: true,
                limits: { challenge: unlimited, audio: unlimited, verify: unlimited, puzzle: unlimited } },
    })),
  }), { mode: 0o600 });
  let base;
  ({ server, base } = await startServer(binary, ['--quiet', '--secret-file', join(work, 'keys'), '--sites', sitesFile]));
  // A site's page with the widget under the Content-Security-Policy the README gives sites;
  // a server with a sites file serves no page of its own.
  await page.route(base + '/pow.html', (route) => route.fulfill({
    contentType: 'text/html; charset=utf-8',
    headers: { 'Content-Security-Policy': `script-src ${base} 'wasm-unsafe-eval'; connect-src ${base}; img-src data:; ` +
                                          `media-src ${base}; worker-src blob:` },
    body: `<!doctype html><title>work</title><script src="${base}/quillgate.js"></script>`,
  }));
  for (const algorithm of chosen) {
    await steps.run(`${algorithm}: the widget solves the server's puzzles in its worker and gets its challenges`, async () => {
      await page.goto(base + '/pow.html');
      const runs = await page.evaluate(async ({ sitekey, count }) => {
        const element = document.createElement('div');
        document.body.append(element);
        const widget = window.Quillgate.render(element, { sitekey });
        await widget.ready;
        const done = [{ token: widget.token(), work: widget.lastWork }];
        for (let i = 1; i < count; i += 1) {
          await widget.refresh();
          done.push({ token: widget.token(), work: widget.lastWork });
        }
        return done;
      }, { sitekey: 'pow_' + algorithm.replace(/-/g, '_'), count: solves });
      for (const run of runs) {
        assert.ok(run.token, 'a challenge came');
        assert.ok(run.work && run.work.algorithm === algorithm && run.work.units > 0, JSON.stringify(run.work));
      }
      const ms = runs.map((run) => run.work.ms).sort((a, b) => a - b);
      const tried = runs.reduce((sum, run) => sum + run.work.units, 0);
      console.log(`     ${algorithm} at ${units} units, ${solves} solves in chromium: median ${ms[Math.floor(ms.length / 2)].toFixed(0)} ms, ` +
                  `fastest ${ms[0].toFixed(0)} ms, slowest ${ms[ms.length - 1].toFixed(0)} ms; ` +
                  `${(ms.reduce((a, b) => a + b, 0) / tried).toFixed(3)} ms a unit`);
    });
  }
  assert.deepEqual(pageErrors, []);
} catch (error) {
  steps.failed += 1;
  console.log('FAIL ' + String(error && error.stack || error));
} finally {
  if (context) await context.close().catch(() => {});
  if (server && server.exitCode === null) server.kill('SIGTERM');
  rmSync(work, { recursive: true, force: true });
}
console.log(`${steps.passed} passed, ${steps.failed} failed`);
process.exit(steps.failed === 0 ? 0 : 1);
