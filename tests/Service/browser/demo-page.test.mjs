// The demo page of `quillgate serve` in a real browser: Debian's chromium, driven by
// playwright-core. Usage: node demo-page.test.mjs QUILLGATE_BINARY ARTIFACT_DIR
// Checks what a visitor sees and does: the image at its size, the sound longer than two
// seconds, a wrong answer refused with a new image, the right answer (read from the token
// with `quillgate token open`) accepted, and that token refused when replayed. Leaves a
// screenshot of the page in ARTIFACT_DIR.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import assert from 'node:assert/strict';
import { startServer, launchBrowser, Steps } from './support.mjs';

const [binary, artifacts] = process.argv.slice(2);
if (!binary || !artifacts) {
  console.error('usage: demo-page.test.mjs QUILLGATE_BINARY ARTIFACT_DIR');
  process.exit(2);
}
const work = mkdtempSync(join(tmpdir(), 'quillgate-browser-'));
const secretFile = join(work, 'keys');
let server;
let context;
const steps = new Steps();
const step = steps.run.bind(steps);

function codeOf(token) {
  return JSON.parse(execFileSync(binary, ['token', 'open', '--secret-file', secretFile, token])).code;
}

try {
  let base;
  ({ server, base } = await startServer(binary, ['--secret-file', secretFile]));
  context = await launchBrowser(join(work, 'profile'));
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(15000);
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  await page.goto(base + '/');

  const image = page.locator('img.quillgate-image');
  const tokenField = page.locator('input.quillgate-token');
  const answerBox = page.locator('input.quillgate-answer');
  const verdict = page.locator('#verdict');

  await step('the image shows at its size', async () => {
    await page.waitForFunction(() => {
      const img = document.querySelector('img.quillgate-image');
      return img && img.src.startsWith('data:image/jpeg;base64,') && img.complete && img.naturalWidth > 0;
    });
    const size = await image.evaluate((img) => ({ w: img.naturalWidth, h: img.naturalHeight }));
    assert.deepEqual(size, { w: 250, h: 50 });
    // Shown at that size too (the box inside the image's border).
    const shown = await image.evaluate((img) => ({ w: img.clientWidth, h: img.clientHeight }));
    assert.deepEqual(shown, { w: 250, h: 50 });
  });

  await step('the audio control loads a WAV longer than 2 s', async () => {
    const sound = await page.evaluate(() => new Promise((resolve, reject) => {
      const audio = document.querySelector('audio.quillgate-audio');
      audio.addEventListener('loadedmetadata', () => resolve({ duration: audio.duration, src: audio.src }), { once: true });
      audio.addEventListener('error', () => reject(new Error('audio error ' + (audio.error && audio.error.code))), { once: true });
      audio.preload = 'auto';
      audio.load();
    }));
    assert.ok(sound.src.includes('/api/audio/'), sound.src);
    assert.ok(sound.duration > 2, 'duration ' + sound.duration);
    const response = await page.request.get(sound.src);
    assert.equal(response.headers()['content-type'], 'audio/wav');
  });

  await step('a wrong answer shows the failure and a new image', async () => {
    const oldToken = await tokenField.inputValue();
    const oldImage = await image.getAttribute('src');
    await answerBox.fill('0000000');  // 0 is never in a code
    await page.click('#check');
    await page.waitForFunction((token) => document.querySelector('input.quillgate-token').value !== token, oldToken);
    assert.match(await verdict.textContent(), /wrong_answer/);
    assert.equal(await verdict.getAttribute('class'), 'failure');
    assert.notEqual(await image.getAttribute('src'), oldImage);
    assert.equal(await answerBox.inputValue(), '');
  });

  let solvedToken;
  await step('the right answer shows success', async () => {
    solvedToken = await tokenField.inputValue();
    const typed = ' ' + codeOf(solvedToken).toLowerCase() + ' ';
    await answerBox.fill(typed);
    // What the form would send to the site: one field, TOKEN.ANSWER, for its /siteverify.
    const fields = await page.evaluate(() => [...new FormData(document.getElementById('demo-form')).entries()]);
    assert.deepEqual(fields, [['quillgate-response', solvedToken + '.' + typed]]);
    await page.click('#check');
    await page.waitForFunction(() => document.querySelector('#verdict').className !== '' &&
                                     !document.querySelector('#verdict').textContent.startsWith('Checking'));
    assert.equal(await verdict.getAttribute('class'), 'success', await verdict.textContent());
    mkdirSync(artifacts, { recursive: true });
    await page.screenshot({ path: join(artifacts, 'demo-page.png'), fullPage: true });
  });

  await step('replaying that token fails', async () => {
    await tokenField.evaluate((field, token) => { field.value = token; }, solvedToken);
    await answerBox.fill(codeOf(solvedToken));
    await page.click('#check');
    await page.waitForFunction(() => document.querySelector('#verdict').className === 'failure');
    assert.match(await verdict.textContent(), /used/);
  });

  await step('the page raised no script errors', async () => {
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
