// Quillgate widget: include it with one tag and it shows a CAPTCHA in the element you name,
// inside your form:
//
//   <div id="captcha"></div>
//   <script src="https://captcha.example.org/quillgate.js" data-target="captcha"
//           data-sitekey="YOUR_SITE_KEY"></script>
//
// or, once the script is on the page, as an element of its own inside your form:
//
//   <quillgate-captcha sitekey="YOUR_SITE_KEY"></quillgate-captcha>
//
// The form then sends one more field, quillgate-response: the challenge's token, a dot, and
// what the visitor typed (TOKEN.ANSWER; the token never holds a dot). Your server posts it
// as `response`, with your site's `secret`, to /siteverify of the same server and trusts
// only "success": true. Optional attributes (data-NAME on the script tag, NAME on the
// element): style, width, height, length, type, format (each only within your site's
// policy), response-name, and the texts label-new, label-play, label-answer, alt, loaded,
// working, failed and sound-failed. Colours come from CSS custom properties on the element
// (--quillgate-text, --quillgate-background, --quillgate-border, --quillgate-accent), with a
// light and a dark default. Script use: Quillgate.render(element, options) returns a widget with
// refresh(), token(), answer() and response(); the element receives a "quillgate:challenge"
// event after each new image. Every URL is taken relative to this script's own, so the
// server may sit behind a proxy under a path prefix.
//
// Where the site's policy asks for proof of work (always, or while the server is under load),
// the widget first solves a puzzle from the server in a Web Worker and shows how far it has
// come in a progress bar: PBKDF2-SHA-256 through WebCrypto, or Argon2id in WebAssembly that
// the worker loads from this server (vendor/argon2id.js, beside this script). The page's
// Content-Security-Policy must then allow worker-src blob:, and for Argon2id also this
// server in script-src (as for this script) and 'wasm-unsafe-eval'.
(function () {
  'use strict';
  var script = document.currentScript;
  var base = new URL('.', script && script.src ? script.src : window.location.href);

  function integerOption(value) {
    if (value === undefined || value === null || value === '') return undefined;
    var number = Number(value);
    return Number.isInteger(number) ? number : undefined;
  }

  function make(tag, attributes, text) {
    var node = document.createElement(tag);
    Object.keys(attributes || {}).forEach(function (name) { node.setAttribute(name, attributes[name]); });
    if (text) node.textContent = text;
    return node;
  }

  // The proof-of-work solver. A puzzle is a few independent searches: for search j the
  // server hid a number below `range` and sent the unit's output for it, one key derivation
  // of the 5 bytes [j, n as 4 bytes big-endian]; the solver tries n = 0, 1, 2, ... until the
  // output matches. It runs in a worker made from this function's text (a blob: URL), so it
  // comes from no other host and the page stays responsive. Messages out: {progress,
  // expected} at most every 250 ms, then {solution, tried} or {error}.
  function solverWorker() {
    'use strict';
    var reportEvery = 250;

    function bytesFromHex(hex, length, what) {
      if (typeof hex !== 'string' || hex.length !== 2 * length || !/^[0-9a-fA-F]*$/.test(hex)) {
        throw new Error('the puzzle\'s ' + what + ' is not ' + length + ' bytes in hex');
      }
      var bytes = new Uint8Array(length);
      for (var i = 0; i < length; i++) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
      return bytes;
    }

    function whole(value, low, high, what) {
      if (!Number.isInteger(value) || value < low || value > high) {
        throw new Error('the puzzle\'s ' + what + ' is not a whole number from ' + low + ' to ' + high);
      }
      return value;
    }

    function equal(a, b) {
      if (a.length !== b.length) return false;
      for (var i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
      return true;
    }

    function le32(value) {
      return new Uint8Array([value & 255, (value >>> 8) & 255, (value >>> 16) & 255, value >>> 24]);
    }

    function decodeBase64(text) {
      var binary = atob(text), bytes = new Uint8Array(binary.length);
      for (var i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
      return bytes;
    }

    // PBKDF2-HMAC-SHA-256 with the seed as the password and the input as the salt.
    // WebCrypto derives on threads of its own, a little faster with a few calls in flight.
    async function pbkdf2Unit(seed, iterations) {
      if (!self.crypto || !crypto.subtle) throw new Error('WebCrypto is missing: the page must come over HTTPS');
      var key = await crypto.subtle.importKey('raw', seed, 'PBKDF2', false, ['deriveBits']);
      return function (input) {
        return crypto.subtle.deriveBits({ name: 'PBKDF2', hash: 'SHA-256', salt: input, iterations: iterations }, key, 256)
          .then(function (bits) { return new Uint8Array(bits); });
      };
    }

    // Argon2id (version 1.3, one lane, a 32-byte tag) with the input as the password and the
    // seed as the salt. hash-wasm's compiled Argon2 and BLAKE2b, from the script this server
    // serves beside the widget, are instantiated once and reused for every candidate (the
    // library's own argon2id() makes three instances a call, which costs more than a pass over
    // a megabyte). The Argon2 module fills the memory from its first two blocks and leaves
    // the last block at its start; the BLAKE2b steps around the fill are done here: H0, the
    // first blocks and the tag through the variable-length hash H'. The module XORs every
    // block it computes into the memory, the first pass too, so the memory is zeroed before
    // each candidate, as a fresh instance's would be.
    async function argon2idUnit(seed, memoryKib, passes, scriptUrl) {
      importScripts(scriptUrl);
      var modules = self.quillgateArgon2idModules;
      if (!modules || !modules.argon2 || !modules.blake2b) throw new Error(scriptUrl + ' holds no Argon2id modules');
      var blake = (await WebAssembly.instantiate(decodeBase64(modules.blake2b))).instance.exports;
      var argon2 = (await WebAssembly.instantiate(decodeBase64(modules.argon2))).instance.exports;

      var blakeBuffer = new Uint8Array(blake.memory.buffer, blake.Hash_GetBuffer(), 16384);
      // BLAKE2b of the parts, left at the start of blakeBuffer: the input goes there too.
      function blake2b(outputBytes, parts) {
        var length = 0;
        for (var i = 0; i < parts.length; i++) { blakeBuffer.set(parts[i], length); length += parts[i].length; }
        blake.Hash_Init(outputBytes * 8);
        blake.Hash_Update(length);
        blake.Hash_Final();
      }
      // H' for a 1024-byte block, written to `block`: 32 bytes of each hash in a chain, then
      // the whole of the last; each hash is taken of the one before where it stands.
      function blockHash(parts, block) {
        blake2b(64, [le32(1024)].concat(parts));
        block.set(blakeBuffer.subarray(0, 32), 0);
        for (var i = 1; i < 30; i++) {
          blake.Hash_Init(512);
          blake.Hash_Update(64);
          blake.Hash_Final();
          block.set(blakeBuffer.subarray(0, 32), 32 * i);
        }
        blake.Hash_Init(512);
        blake.Hash_Update(64);
        blake.Hash_Final();
        block.set(blakeBuffer.subarray(0, 64), 960);
      }

      // The module reserves 512 KiB when asked for its buffer, and grows only when asked for
      // more: the blocks, then one more for the parameters it reads.
      var start = argon2.Hash_GetBuffer();
      var needed = memoryKib * 1024 + 1024;
      if (!start || (needed > 512 * 1024 && argon2.Hash_SetMemorySize(needed) !== 0)) {
        throw new Error('no room for ' + memoryKib + ' KiB of Argon2id memory');
      }
      var memory = new Uint8Array(argon2.memory.buffer, start, needed);
      // Lanes, tag length, memory, passes, version 1.3, type 2 (Argon2id).
      var parameters = new Uint8Array(24);
      [1, 32, memoryKib, passes, 0x13, 2].forEach(function (value, i) { parameters.set(le32(value), 4 * i); });
      var zero = le32(0), one = le32(1);

      return function (input) {
        blake2b(64, [parameters, le32(input.length), input, le32(seed.length), seed, zero, zero]);
        var h0 = blakeBuffer.slice(0, 64);
        blockHash([h0, zero, zero], memory.subarray(0, 1024));
        blockHash([h0, one, zero], memory.subarray(1024, 2048));
        memory.fill(0, 2048, memoryKib * 1024);
        memory.set(parameters, memoryKib * 1024);
        argon2.Hash_Calculate(0, memoryKib);
        blake2b(32, [le32(32), memory.subarray(0, 1024)]);
        return blakeBuffer.slice(0, 32);
      };
    }

    async function solve(puzzle, argon2idScript) {
      var seed = bytesFromHex(puzzle.seed, 16, 'seed');
      var searches = whole(puzzle.searches, 1, 256, 'number of searches');
      if (!Array.isArray(puzzle.targets) || puzzle.targets.length !== searches) {
        throw new Error('the puzzle has not one target for each search');
      }
      var targets = puzzle.targets.map(function (hex) { return bytesFromHex(hex, 32, 'target'); });
      var range = whole(puzzle.range, 1, 4294967296, 'range');
      var unit, inFlight;
      if (puzzle.algorithm === 'pbkdf2-sha256') {
        unit = await pbkdf2Unit(seed, whole(puzzle.iterations, 1, 10000000, 'iterations'));
        inFlight = 4;
      } else if (puzzle.algorithm === 'argon2id') {
        unit = await argon2idUnit(seed, whole(puzzle.memory_kib, 8, 1048576, 'memory'),
                                  whole(puzzle.passes, 1, 1000, 'number of passes'), argon2idScript);
        inFlight = 1;  // computed here, one after another
      } else {
        throw new Error('the puzzle\'s algorithm is unknown: ' + String(puzzle.algorithm));
      }

      var solution = [], tried = 0, lastReport = performance.now();
      for (var j = 0; j < searches; j++) {
        var found = -1, searched = 0;
        for (var first = 0; found < 0 && first < range; first += inFlight) {
          var outputs = [];
          for (var n = first; n < Math.min(first + inFlight, range); n++) {
            outputs.push(unit(new Uint8Array([j, n >>> 24, (n >>> 16) & 255, (n >>> 8) & 255, n & 255])));
          }
          outputs = await Promise.all(outputs);
          for (var k = 0; k < outputs.length; k++) if (found < 0 && equal(outputs[k], targets[j])) found = first + k;
          tried += outputs.length;
          searched += outputs.length;
          var now = performance.now();
          if (found < 0 && now - lastReport >= reportEvery) {
            lastReport = now;
            // What a solve is expected to take given how far this one has come: the number
            // is uniform among those not tried yet, and each search to come takes half the range.
            self.postMessage({ progress: tried, expected: tried + (range - searched + 1) / 2 +
                                                          (searches - j - 1) * (range + 1) / 2 });
          }
        }
        if (found < 0) throw new Error('search ' + j + ' of the puzzle has no answer below ' + range);
        solution.push(found);
      }
      return { solution: solution, tried: tried };
    }

    self.onmessage = function (event) {
      solve(event.data.puzzle, event.data.argon2idScript).then(function (result) {
        self.postMessage(result);
      }, function (error) {
        self.postMessage({ error: String(error && error.message || error) });
      });
    };
  }
  var solverSource = '(' + solverWorker.toString() + ')();';

  // Solves `puzzle` (the server's JSON) in a worker of its own, which ends with the solve;
  // `progress(tried, expected)` hears how far it has come.
  function solvePuzzle(puzzle, progress) {
    return new Promise(function (resolve, reject) {
      var url = URL.createObjectURL(new Blob([solverSource], { type: 'text/javascript' }));
      var worker = null;
      function fail(message) {
        if (worker) worker.terminate();
        URL.revokeObjectURL(url);
        reject(new Error('the proof of work failed: ' + message));
      }
      try {
        worker = new Worker(url);
      } catch (error) {
        fail(error.message);
        return;
      }
      worker.onmessage = function (event) {
        var data = event.data || {};
        if (data.progress !== undefined) { progress(data.progress, data.expected); return; }
        if (data.error) { fail(data.error); return; }
        worker.terminate();
        URL.revokeObjectURL(url);
        resolve(data);
      };
      worker.onerror = function (event) { event.preventDefault(); fail(event.message || 'worker error'); };
      worker.postMessage({ puzzle: puzzle, argon2idScript: new URL('vendor/argon2id.js', base).href });
    });
  }

  function readJson(response) {
    return response.json().then(function (body) {
      if (!response.ok) {
        var error = new Error(body.message || body.error || ('HTTP ' + response.status));
        error.code = body.error;
        throw error;
      }
      return body;
    });
  }

  var workErrors = ['pow_required', 'pow_expired', 'pow_too_easy', 'pow_used'];

  // Every text the widget shows or announces; each may be replaced through an attribute.
  var defaultTexts = {
    labelNew: 'New image',
    labelPlay: 'Play audio',
    labelAnswer: 'The characters in the image',
    alt: 'CAPTCHA: type the characters you see',
    loaded: 'A new image is shown.',
    working: 'Preparing a challenge…',
    failed: 'No CAPTCHA could be loaded: ',
    soundFailed: 'The sound could not be played.'
  };

  // The widget's own look, light and dark, set through custom properties a page may
  // override. It is adopted as a constructed style sheet, which a Content-Security-Policy
  // without 'unsafe-inline' styles still allows; the image never grows past its container.
  var css = [
    '.quillgate { --quillgate-text: #1d1d1f; --quillgate-background: #ffffff; --quillgate-border: #8a8a8e;',
    '  --quillgate-accent: #0b57d0; display: grid; gap: 0.5em; justify-items: start; max-width: 100%;',
    '  color: var(--quillgate-text); background: var(--quillgate-background); }',
    '@media (prefers-color-scheme: dark) { .quillgate { --quillgate-text: #f2f2f7;',
    '  --quillgate-background: #1c1c1e; --quillgate-border: #8e8e93; --quillgate-accent: #8ab4f8; } }',
    '.quillgate-image { max-width: 100%; height: auto; border: 1px solid var(--quillgate-border); }',
    '.quillgate-controls { display: flex; flex-wrap: wrap; gap: 0.5em; }',
    '.quillgate button, .quillgate-answer { font: inherit; color: var(--quillgate-text);',
    '  background: var(--quillgate-background); border: 1px solid var(--quillgate-border);',
    '  border-radius: 4px; padding: 0.3em 0.7em; }',
    '.quillgate button:focus-visible, .quillgate-answer:focus-visible {',
    '  outline: 2px solid var(--quillgate-accent); outline-offset: 2px; }',
    '.quillgate button[aria-disabled="true"] { opacity: 0.6; }',
    '.quillgate-progress { width: 10em; max-width: 100%; accent-color: var(--quillgate-accent); }',
    '.quillgate-progress[hidden] { display: none; }',
    '.quillgate-answer { font-size: 1.2em; letter-spacing: 0.1em; width: 10em; max-width: 100%; box-sizing: border-box; }',
    '.quillgate-live { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0); white-space: nowrap; }'
  ].join('\n');
  var styled = false;
  function addStyles() {
    if (styled) return;
    styled = true;
    try {
      var sheet = new CSSStyleSheet();
      sheet.replaceSync(css);
      document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);
    } catch (error) {
      document.head.append(make('style', {}, css));
    }
  }

  function Widget(element, options) {
    options = options || {};
    addStyles();
    var texts = {};
    Object.keys(defaultTexts).forEach(function (name) {
      texts[name] = options[name] !== undefined && options[name] !== null ? String(options[name]) : defaultTexts[name];
    });
    this.texts = texts;
    this.element = element;
    this.settings = {};
    var self = this;
    ['style', 'width', 'height', 'length', 'type'].forEach(function (name) {
      var value = integerOption(options[name]);
      if (value !== undefined) self.settings[name] = value;
    });
    if (options.format) this.settings.format = String(options.format);
    this.sitekey = options.sitekey ? String(options.sitekey) : '';

    element.classList.add('quillgate');
    this.image = make('img', { 'class': 'quillgate-image', alt: texts.alt });
    // Shown only while a proof of work runs; screen readers hear the working text once and
    // may read the bar when they wish, rather than being told every step.
    this.progress = make('progress', { 'class': 'quillgate-progress', max: '100', value: '0', 'aria-label': texts.working });
    this.progress.hidden = true;
    this.newButton = make('button', { type: 'button', 'class': 'quillgate-new' }, texts.labelNew);
    this.playButton = make('button', { type: 'button', 'class': 'quillgate-play' }, texts.labelPlay);
    this.audio = make('audio', { preload: 'none', 'class': 'quillgate-audio' });
    // The answer box and the token have no names of their own: the form sends them joined
    // in the one response field, which is what the site's server passes on to /siteverify.
    this.answerBox = make('input', {
      type: 'text', 'class': 'quillgate-answer',
      autocomplete: 'off', autocapitalize: 'characters', spellcheck: 'false',
      'aria-label': texts.labelAnswer
    });
    this.tokenField = make('input', { type: 'hidden', 'class': 'quillgate-token' });
    this.responseField = make('input', { type: 'hidden', 'class': 'quillgate-response', name: options.responseName || 'quillgate-response' });
    this.message = make('span', { 'class': 'quillgate-message', role: 'alert' });
    // Read out by screen readers when a new challenge is shown; seen by nobody.
    this.live = make('span', { 'class': 'quillgate-live', role: 'status', 'aria-live': 'polite' });

    var controls = make('div', { 'class': 'quillgate-controls' });
    controls.append(this.newButton, this.playButton);
    element.append(this.image, this.progress, controls, this.answerBox, this.tokenField, this.responseField, this.audio,
                   this.message, this.live);
    this.answerBox.addEventListener('input', function () { self.responseField.value = self.response(); });

    // While a challenge loads the button says so but stays focusable: a disabled button
    // would drop the keyboard focus to the page, and the visitor would lose their place.
    this.newButton.addEventListener('click', function () {
      if (self.newButton.getAttribute('aria-disabled') !== 'true') self.refresh().catch(function () {});
    });
    this.playButton.addEventListener('click', function () {
      var played = self.audio.play();
      if (played && played.catch) played.catch(function () { self.message.textContent = texts.soundFailed; });
    });
    this.ready = this.refresh();
    // The widget shows the failure itself; a page that never looks at `ready` must not get
    // an unhandled rejection for it.
    this.ready.catch(function () {});
  }

  // A solved puzzle for the challenge request (its "pow" member), or nothing when the server
  // asks for no work now. `lastWork` keeps what the last one cost: the algorithm, the units
  // tried and the milliseconds from the puzzle's arrival to its solution.
  Widget.prototype.work = function () {
    var self = this;
    if (!self.needsWork) return Promise.resolve(undefined);
    var url = new URL('api/puzzle', base);
    if (self.sitekey) url.searchParams.set('sitekey', self.sitekey);
    return fetch(url).then(readJson).then(function (puzzle) {
      if (!puzzle.units || !puzzle.puzzle) { self.needsWork = false; return undefined; }
      var started = performance.now();
      if (self.live.textContent !== self.texts.working) self.live.textContent = self.texts.working;
      self.progress.value = 0;
      self.progress.hidden = false;
      return solvePuzzle(puzzle, function (tried, expected) {
        self.progress.value = Math.min(100, Math.floor(100 * tried / expected));
      }).then(function (solved) {
        self.lastWork = { algorithm: puzzle.algorithm, units: solved.tried, ms: performance.now() - started };
        return { puzzle: puzzle.puzzle, solution: solved.solution };
      }).finally(function () {
        self.progress.hidden = true;
      });
    });
  };

  Widget.prototype.requestChallenge = function (retried) {
    var self = this;
    var url = new URL('api/challenge', base);
    var body = Object.assign({}, self.settings);
    // In the query too, so that the browser's preflight names the site.
    if (self.sitekey) { url.searchParams.set('sitekey', self.sitekey); body.sitekey = self.sitekey; }
    return self.work().then(function (work) {
      if (work) body.pow = work;
      return fetch(url, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(body)
      });
    }).then(readJson).catch(function (error) {
      // The site asks for proof of work (or a puzzle went stale): solve one and ask again.
      if (!retried && workErrors.indexOf(error.code) >= 0) {
        self.needsWork = true;
        return self.requestChallenge(true);
      }
      throw error;
    });
  };

  Widget.prototype.refresh = function () {
    var self = this;
    self.newButton.setAttribute('aria-disabled', 'true');
    self.message.textContent = '';
    self.live.textContent = self.needsWork ? self.texts.working : '';
    return self.requestChallenge(false).then(function (challenge) {
      self.image.width = challenge.width;
      self.image.height = challenge.height;
      self.image.src = challenge.image;
      // Relative to the script, not to the host's root, for a server under a path prefix.
      self.audio.src = new URL(String(challenge.audio).replace(/^\//, ''), base).href;
      self.tokenField.value = challenge.token;
      self.answerBox.value = '';
      self.responseField.value = '';
      self.live.textContent = self.texts.loaded;
      self.element.dispatchEvent(new CustomEvent('quillgate:challenge', { detail: challenge }));
      return challenge;
    }).catch(function (error) {
      self.live.textContent = '';
      self.message.textContent = self.texts.failed + error.message;
      throw error;
    }).finally(function () {
      self.newButton.removeAttribute('aria-disabled');
    });
  };

  Widget.prototype.token = function () { return this.tokenField.value; };
  Widget.prototype.answer = function () { return this.answerBox.value; };
  Widget.prototype.response = function () {
    return this.tokenField.value ? this.tokenField.value + '.' + this.answerBox.value : '';
  };

  window.Quillgate = {
    render: function (element, options) { return new Widget(element, options); },
    serverUrl: base.href
  };

  // The options named by attributes: `read(name)` gives the attribute for a dashed name
  // such as "label-new", which becomes the option labelNew.
  var optionNames = ['sitekey', 'style', 'width', 'height', 'length', 'type', 'format', 'response-name',
                     'label-new', 'label-play', 'label-answer', 'alt', 'loaded', 'working', 'failed', 'sound-failed'];
  function optionsFrom(read) {
    var options = {};
    optionNames.forEach(function (name) {
      var value = read(name);
      if (value !== null && value !== undefined) {
        options[name.replace(/-([a-z])/g, function (m, letter) { return letter.toUpperCase(); })] = value;
      }
    });
    return options;
  }

  if (window.customElements && !window.customElements.get('quillgate-captcha')) {
    window.customElements.define('quillgate-captcha', class extends HTMLElement {
      connectedCallback() {
        if (this.widget) return;
        var element = this;
        this.widget = new Widget(element, optionsFrom(function (name) { return element.getAttribute(name); }));
      }
    });
  }

  var target = script && script.dataset.target;
  if (target) {
    var start = function () {
      var element = document.getElementById(target);
      if (!element) return;
      window.Quillgate.widget = new Widget(element, optionsFrom(function (name) {
        return script.getAttribute('data-' + name);
      }));
    };
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
    else start();
  }
})();
