// The widget on a site's own page, in Debian's chromium through playwright-core. The site
// (http://site.test, served by the test) puts `quillgate serve` behind its reverse proxy
// under /captcha/ and uses the <quillgate-captcha> element inside its form. Checks: a
// visitor solves it with the keyboard alone, the focus stays on "New image" and the new
// challenge is announced; the audio loads through the prefix; the form posts the field that
// /siteverify accepts; at 360 px the widget fits without scrolling sideways; the texts come
// from attributes. Usage: node widget.test.mjs QUILLGATE_BINARY ARTIFACT_DIR
import { execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { startServer, launchBrowser, Steps } from './support.mjs';

const [binary, artifacts] = process.argv.slice(2);
if (!binary || !artifacts) {
  console.error('usage: widget.test.mjs QUILLGATE_BINARY ARTIFACT_DIR');
  process.exit(2);
}
const site = 'http://site.test';
const secret = 'site_secret_0123456789_abcdefghijklmno';
const work = mkdtempSync(join(tmpdir(), 'quillgate-widget-'));
const secretFile = join(work, 'keys');
const sitesFile = join(work, 'sites.json');
writeFileSync(sitesFile, JSON.stringify({
  sites: [{ sitekey: 'site_key', secret, origins: [site], policy: { width: { min: 120, max: 400, default: 250 }, client_choice: ['size'] } }],
}), { mode: 0o600 });

// The site's page: its own form, the widget from its proxy path, texts of its own.
const page360 = `<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1"><title>Sign up</title>
<style>body { margin: 0; padding: 8px; font-family: sans-serif; }</style></head><body>
<form id="signup" method="post" action="/submit">
  <label>Name <input name="name" value="Ada"></label>
  <quillgate-captcha sitekey="site_key" width="400" height="80" label-new="Another image"
                     loaded="New picture ready"></quillgate-captcha>
  <button type="submit" id="send">Send</button>
</form>
<script src="/captcha/quillgate.js"></script></body></html>`;

let server;
let context;
const steps = new Steps();
const step = steps.run.bind(steps);

function codeOf(token) {
  return JSON.parse(execFileSync(binary, ['token', 'open', '--secret-file', secretFile, token])).code;
}

try {
  let backend;
  ({ server, base: backend } = await startServer(binary, ['--quiet', '--secret-file', secretFile, '--sites', sitesFile]));
  context = await launchBrowser(join(work, 'profile'), { viewport: { width: 360, height: 740 } });
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(15000);
  const pageErrors = [];
  const otherHosts = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  let submitted = null;
  // The site: its page, its form's target, and its reverse proxy: /captcha/X goes to the
  // service's /X, headers (the page's Origin among them) as they came.
  await context.route('**/*', async (route) => {
    const request = route.request();
    const url = new URL(request.url());
    if (url.origin !== site) {
      otherHosts.push(request.url());
      return route.abort();
    }
    if (url.pathname.startsWith('/captcha/')) {
      return route.fulfill({ response: await route.fetch({ url: backend + url.pathname.slice('/captcha'.length) + url.search }) });
    }
    if (url.pathname === '/submit') {
      submitted = new URLSearchParams(request.postData() || '');
      return route.fulfill({ status: 200, contentType: 'text/html', body: '<p id="thanks">Thanks</p>' });
    }
    return route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body: page360 });
  });
  await page.goto(site + '/signup');
  await page.waitForFunction(() => document.querySelector('quillgate-captcha input.quillgate-token')?.value);
  const tokenOf = () => page.locator('input.quillgate-token').inputValue();

  await step('the texts come from the attributes', async () => {
    assert.equal(await page.locator('button.quillgate-new').textContent(), 'Another image');
    assert.equal(await page.locator('.quillgate-live').textContent(), 'New picture ready');
  });

  await step('at 360 px the widget fits without scrolling sideways', async () => {
    const sizes = await page.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      image: document.querySelector('img.quillgate-image').getBoundingClientRect().right,
      natural: document.querySelector('img.quillgate-image').naturalWidth,
    }));
    assert.equal(sizes.natural, 400);
    assert.ok(sizes.page <= 360, 'page is ' + sizes.page + ' px wide');
    assert.ok(sizes.image <= 360, 'image ends at ' + sizes.image);
    mkdirSync(artifacts, { recursive: true });
    await page.screenshot({ path: join(artifacts, 'widget-360px.png'), fullPage: true });
  });

  await step('a new image by keyboard keeps the focus on its button and is announced', async () => {
    const before = await tokenOf();
    await page.focus('input[name=name]');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.className), 'quillgate-new');
    await page.keyboard.press('Enter');
    await page.waitForFunction((token) => document.querySelector('input.quillgate-token').value !== token, before);
    assert.equal(await page.evaluate(() => document.activeElement.className), 'quillgate-new');
    assert.equal(await page.locator('.quillgate-live').getAttribute('aria-live'), 'polite');
    assert.equal(await page.locator('.quillgate-live').textContent(), 'New picture ready');
  });

  await step('the audio loads through the path prefix', async () => {
    const sound = await page.evaluate(() => new Promise((resolve, reject) => {
      const audio = document.querySelector('audio.quillgate-audio');
      audio.addEventListener('loadedmetadata', () => resolve({ duration: audio.duration, src: audio.src }), { once: true });
      audio.addEventListener('error', () => reject(new Error('audio error ' + (audio.error && audio.error.code))), { once: true });
      audio.preload = 'auto';
      audio.load();
    }));
    assert.ok(sound.src.startsWith(site + '/captcha/api/audio/'), sound.src);
    assert.ok(sound.duration > 2, 'duration ' + sound.duration);
  });

  await step('solved by keyboard alone, the form posts a response that siteverify accepts', async () => {
    const token = await tokenOf();
    await page.keyboard.press('Tab');  // Play audio
    await page.keyboard.press('Tab');  // the answer box
    assert.equal(await page.evaluate(() => document.activeElement.className), 'quillgate-answer');
    await page.keyboard.type(codeOf(token).toLowerCase());
    await page.keyboard.press('Enter');  // submits the form
    await page.waitForSelector('#thanks');
    assert.equal(submitted.get('name'), 'Ada');
    const response = submitted.get('quillgate-response');
    assert.ok(response.startsWith(token + '.'), response);
    const verdict = execFileSync('curl', ['-s', '-d', 'secret=' + secret, '--data-urlencode', 'response=' + response,
                                          backend + '/siteverify']).toString();
    const body = JSON.parse(verdict);
    assert.equal(body.success, true, verdict);
    assert.equal(body.hostname, 'site.test');
  });

  await step('no requests to any other host, and no script errors', async () => {
    assert.deepEqual(otherHosts, []);
    assert.deepEqual(pageErrors, []);
  });
} catch (error) {
  steps.failed += 1;
  console.log('FAIL setup\n     ' + String(error && error.stack || error));
} finally {
  if (context) await context.close().catch(() => {});
  if (server && server.exitCode === null) server.kill('SIGTERM');
  rmSync(work, { recursive: true, force: true });
}
console.log(`${steps.passed} passed, ${steps.failed} failed`);
process.exit(steps.failed === 0 ? 0 : 1);
