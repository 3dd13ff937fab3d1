// What the browser tests share: starting `quillgate serve` on a free loopback port,
// launching Debian's chromium through the project's playwright-core, and named steps.
import { spawn } from 'node:child_process';
import { join, dirname } from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const projectRoot = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
const { chromium } = createRequire(join(projectRoot, 'package.json'))('playwright-core');

// Starts `BINARY serve` with `args` on 127.0.0.1:0; resolves to the process and its base URL.
export function startServer(binary, args) {
  return new Promise((resolve, reject) => {
    const server = spawn(binary, ['serve', '--listen', '127.0.0.1:0', '--workers', '2', ...args],
                         { stdio: ['ignore', 'pipe', 'inherit'] });
    let output = '';
    const timer = setTimeout(() => reject(new Error('serve did not start: ' + output)), 20000);
    server.stdout.on('data', (chunk) => {
      output += chunk;
      const match = output.match(/Listening on (http:\/\/127\.0\.0\.1:\d+)/);
      if (match) { clearTimeout(timer); resolve({ server, base: match[1] }); }
    });
    server.on('exit', (code) => reject(new Error('serve exited with ' + code + ': ' + output)));
  });
}

// Headless chromium with a fresh profile in `profile`, kept off the network it cannot reach.
export function launchBrowser(profile, options = {}) {
  return chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    ...options,
  });
}

// Runs named checks, prints ok/FAIL for each and counts them.
export class Steps {
  constructor() { this.passed = 0; this.failed = 0; }

  async run(name, body) {
    try {
      await body();
      this.passed += 1;
      console.log('ok   ' + name);
    } catch (error) {
      this.failed += 1;
      console.log('FAIL ' + name + '\n     ' + String(error && error.stack || error).split('\n').join('\n     '));
    }
  }
}
