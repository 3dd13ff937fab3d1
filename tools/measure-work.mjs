// The measuring half of tools/measure-work.sh, which makes the temporary folder and the sites
// file: node measure-work.mjs WORK SITEKEY SOLVES QUILLGATE NATIVE_COMMAND...
// (NATIVE_COMMAND: how to run the native solver, e.g. taskset -c 0 QUILLGATE).
import { spawnSync } from 'node:child_process';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { startServer, launchBrowser } from '../tests/Service/browser/support.mjs';

const [work, sitekey, solvesText, binary, ...native] = process.argv.slice(2);
const solves = Number(solvesText);
if (!work || !sitekey || !Number.isInteger(solves) || solves < 1 || !binary || native.length === 0) {
  console.error('usage: measure-work.mjs WORK SITEKEY SOLVES QUILLGATE NATIVE_COMMAND...');
  process.exit(64);
}
const log = (text) => process.stderr.write(text + '\n');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function quantile(values, q) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.ceil(q * sorted.length) - 1)];
}
const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};
const round = (value, places = 1) => Number(value.toFixed(places));

let server;
let context;
let result = null;
try {
  let base;
  ({ server, base } = await startServer(binary, ['--quiet', '--secret-file', join(work, 'keys'), '--sites', join(work, 'sites.json')]));
  context = await launchBrowser(join(work, 'profile'));
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(300000);
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));

  // The site's page, under the Content-Security-Policy the widget asks for, and its
  // /api/puzzle answered with the puzzle of the round; the rest goes to the server.
  let current = null;
  let handedOut = 0;
  let sentSolution = null;
  await page.route(base + '/measure.html', (route) => route.fulfill({
    contentType: 'text/html; charset=utf-8',
    headers: { 'Content-Security-Policy': `script-src ${base} 'wasm-unsafe-eval'; connect-src ${base}; img-src data:; ` +
                                          `media-src ${base}; worker-src blob:` },
    body: `<!doctype html><title>measure</title><div id="captcha"></div><script src="${base}/quillgate.js"></script>`,
  }));
  await page.route((url) => url.href.startsWith(base + '/') && url.pathname === '/api/puzzle', (route) => {
    handedOut += 1;
    return route.fulfill({ contentType: 'application/json', body: JSON.stringify(current) });
  });
  page.on('request', (request) => {
    if (request.url().startsWith(base + '/api/challenge') && request.method() === 'POST') {
      const body = JSON.parse(request.postData() || '{}');
      if (body.pow) sentSolution = body.pow.solution;
    }
  });
  await page.goto(base + '/measure.html');

  // A puzzle from the server as any client gets one, waiting out its puzzle bucket if asked.
  async function takePuzzle() {
    for (;;) {
      const response = await fetch(`${base}/api/puzzle?sitekey=${sitekey}`);
      const body = await response.json();
      if (response.status === 429) { await sleep(Math.min(60000, Number(body.retry_after_ms) || 1000)); continue; }
      assert.equal(response.status, 200, JSON.stringify(body));
      assert.ok(body.units > 0 && body.puzzle, 'the site asks for work: ' + JSON.stringify(body));
      return body;
    }
  }

  const rounds = [];
  for (let i = 0; i < solves; i += 1) {
    current = await takePuzzle();
    sentSolution = null;
    // The person: the widget's first challenge is refused for want of work, which sends it to
    // the puzzle; later ones fetch a puzzle first. Each solve is a worker of its own.
    const browser = await page.evaluate(async (key) => {
      if (!window.measured) {
        window.measured = window.Quillgate.render(document.getElementById('captcha'), { sitekey: key });
        await window.measured.ready;
      } else {
        await window.measured.refresh();
      }
      return { token: window.measured.token(), work: window.measured.lastWork };
    }, sitekey);
    assert.equal(handedOut, i + 1, 'the widget solved the puzzle of the round');
    assert.ok(browser.token, 'the server accepted the browser\'s solution');
    // The bot: the native solver on the same puzzle.
    const solved = spawnSync(native[0], [...native.slice(1), 'work', 'solve', '--time'],
                             { input: JSON.stringify(current), encoding: 'utf8' });
    assert.equal(solved.status, 0, solved.stderr);
    const answer = JSON.parse(solved.stdout);
    const timing = JSON.parse(solved.stderr.trim().split('\n').pop());
    assert.deepEqual(answer.solution, sentSolution, 'the browser and the native solver found the same answers');
    rounds.push({ browserMs: browser.work.ms, browserUnits: browser.work.units, nativeMs: timing.ms, nativeUnits: timing.units });
    log(`puzzle ${i + 1}/${solves}: ${browser.work.units} units, browser ${browser.work.ms.toFixed(0)} ms, ` +
        `native ${timing.ms.toFixed(1)} ms (${timing.units} units)`);
  }
  assert.deepEqual(pageErrors, []);

  const sum = (key) => rounds.reduce((total, round) => total + round[key], 0);
  const browserMs = rounds.map((round) => round.browserMs);
  const nativeMs = rounds.map((round) => round.nativeMs);
  result = {
    algorithm: current.algorithm,
    units: current.units,
    puzzles: rounds.length,
    browser_median_ms: round(median(browserMs)),
    browser_p95_ms: round(quantile(browserMs, 0.95)),
    native_median_ms: round(median(nativeMs)),
    native_p95_ms: round(quantile(nativeMs, 0.95)),
    ratio: round(median(browserMs) / median(nativeMs), 2),
    browser_ms_per_unit: round(sum('browserMs') / sum('browserUnits'), 4),
    native_ms_per_unit: round(sum('nativeMs') / sum('nativeUnits'), 4),
  };
  for (const name of ['iterations', 'memory_kib', 'passes']) if (current[name] !== undefined) result[name] = current[name];
} catch (error) {
  console.error('measure-work: ' + String(error && error.stack || error));
  process.exitCode = 1;
} finally {
  if (context) await context.close().catch(() => {});
  if (server && server.exitCode === null) {
    const exited = new Promise((resolve) => server.once('exit', resolve));
    server.kill('SIGTERM');
    await exited;
  }
}
// Last, after whatever the server says as it stops.
if (result) console.log(JSON.stringify(result));
