// Proof of work in a real browser (Debian's chromium through playwright-core): for a site
// whose policy asks for it, the widget fetches a puzzle, solves it in a Web Worker and gets
// its challenge; the server's refusal of a missing stamp leads the widget there by itself.
// Prints the solve times. Usage: node proof-of-work.test.mjs QUILLGATE_BINARY [BITS] [SOLVES]
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { startServer, launchBrowser } from './support.mjs';

const [binary, bitsText = '16', solvesText = '5'] = process.argv.slice(2);
if (!binary) {
  console.error('usage: proof-of-work.test.mjs QUILLGATE_BINARY [BITS] [SOLVES]');
  process.exit(2);
}
const bits = Number(bitsText);
const solves = Number(solvesText);
const work = mkdtempSync(join(tmpdir(), 'quillgate-pow-'));
const sitesFile = join(work, 'sites.json');
const unlimited = { per_minute: 0, burst: 1 };
writeFileSync(sitesFile, JSON.stringify({
  sites: [{
    sitekey: 'pow_site', secret: 'pow_secret_0123456789_abcdefghijklmnop', origins: ['*'],
    policy: { pow_bits: bits, verify_api: true, limits: { challenge: unlimited, audio: unlimited, verify: unlimited } },
  }],
}), { mode: 0o600 });
let server;
let context;
let failed = 0;

try {
  let base;
  ({ server, base } = await startServer(binary, ['--quiet', '--secret-file', join(work, 'keys'), '--sites', sitesFile]));
  context = await launchBrowser(join(work, 'profile'));
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(60000);
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  // A site's page with the widget under the Content-Security-Policy the README gives sites
  // (worker-src blob: for the solver); a server with a sites file serves no page of its own.
  await page.route(base + '/pow.html', (route) => route.fulfill({
    contentType: 'text/html; charset=utf-8',
    headers: { 'Content-Security-Policy': `script-src ${base}; connect-src ${base}; img-src data:; ` +
                                          `media-src ${base}; worker-src blob:` },
    body: `<!doctype html><title>work</title><script src="${base}/quillgate.js"></script>`,
  }));
  await page.goto(base + '/pow.html');
  const times = await page.evaluate(async (count) => {
    const element = document.createElement('div');
    document.body.append(element);
    const widget = window.Quillgate.render(element, { sitekey: 'pow_site' });
    await widget.ready;
    const runs = [{ token: widget.token(), work: widget.lastWork }];
    for (let i = 1; i < count; i += 1) {
      await widget.refresh();
      runs.push({ token: widget.token(), work: widget.lastWork });
    }
    return runs;
  }, solves);
  for (const run of times) {
    assert.ok(run.token, 'a challenge came');
    assert.ok(run.work && run.work.bits === bits, JSON.stringify(run.work));
  }
  const ms = times.map((run) => run.work.ms).sort((a, b) => a - b);
  const tried = times.map((run) => run.work.tried);
  console.log(`proof of work at ${bits} bits, ${solves} solves in chromium: median ${ms[Math.floor(ms.length / 2)].toFixed(0)} ms, ` +
              `fastest ${ms[0].toFixed(0)} ms, slowest ${ms[ms.length - 1].toFixed(0)} ms; ` +
              `${(tried.reduce((a, b) => a + b, 0) / ms.reduce((a, b) => a + b, 0)).toFixed(0)} hashes per ms`);
  assert.deepEqual(pageErrors, []);
  console.log('ok   the widget solves the puzzle in a worker and gets its challenge');
} catch (error) {
  failed += 1;
  console.log('FAIL ' + String(error && error.stack || error));
} finally {
  if (context) await context.close().catch(() => {});
  if (server && server.exitCode === null) server.kill('SIGTERM');
  rmSync(work, { recursive: true, force: true });
}
process.exit(failed === 0 ? 0 : 1);
