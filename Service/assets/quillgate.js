// Quillgate widget: include it with one tag and it shows a CAPTCHA in the element you name,
// inside your form:
//
//   <div id="captcha"></div>
//   <script src="https://captcha.example.org/quillgate.js" data-target="captcha"
//           data-sitekey="YOUR_SITE_KEY"></script>
//
// The form then sends one more field, quillgate-response: the challenge's token, a dot, and
// what the visitor typed (TOKEN.ANSWER; the token never holds a dot). Your server posts it
// as `response`, with your site's `secret`, to /siteverify of the same server and trusts
// only "success": true. Optional attributes on the tag: data-style, data-width,
// data-height, data-length, data-type, data-format (each only within your site's policy),
// data-response-name. Script use: Quillgate.render(element, options) returns a widget with
// refresh(), token(), answer() and response(); the element receives a "quillgate:challenge"
// event after each new image. Every URL is taken relative to this script's own, so the
// server may sit behind a proxy under a path prefix.
//
// Where the site's policy asks for proof of work, the widget first solves a puzzle from the
// server in a Web Worker (SHA-256 through WebCrypto); the page's Content-Security-Policy
// must then allow worker-src blob:.
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

  // The proof-of-work solver, run in a worker made from this text so that it comes from no
  // other host: nonces in base 36, hashed in batches (WebCrypto's digest is asynchronous,
  // and many in flight at once go several times faster than one after another).
  var solverSource = [
    'self.onmessage = async function (event) {',
    '  var puzzle = event.data.puzzle, bits = event.data.bits, encoder = new TextEncoder();',
    '  var whole = bits >> 3, rest = bits & 7, batch = 256;',
    '  function solves(hash) {',
    '    for (var i = 0; i < whole; i++) if (hash[i] !== 0) return false;',
    '    return rest === 0 || (hash[whole] >> (8 - rest)) === 0;',
    '  }',
    '  for (var start = 0; ; start += batch) {',
    '    var nonces = [], digests = [];',
    '    for (var n = start; n < start + batch; n++) {',
    '      var nonce = n.toString(36);',
    '      nonces.push(nonce);',
    '      digests.push(crypto.subtle.digest("SHA-256", encoder.encode(puzzle + nonce)));',
    '    }',
    '    var hashes = await Promise.all(digests);',
    '    for (var k = 0; k < hashes.length; k++) {',
    '      if (solves(new Uint8Array(hashes[k]))) { self.postMessage({ nonce: nonces[k], tried: start + k + 1 }); return; }',
    '    }',
    '  }',
    '};'
  ].join('\n');

  function solvePuzzle(puzzle, bits) {
    return new Promise(function (resolve, reject) {
      var url = URL.createObjectURL(new Blob([solverSource], { type: 'text/javascript' }));
      var worker = new Worker(url);
      worker.onmessage = function (event) { worker.terminate(); URL.revokeObjectURL(url); resolve(event.data); };
      worker.onerror = function (event) {
        worker.terminate(); URL.revokeObjectURL(url);
        reject(new Error('the proof of work failed: ' + (event.message || 'worker error')));
      };
      worker.postMessage({ puzzle: puzzle, bits: bits });
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

  function Widget(element, options) {
    options = options || {};
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
    this.image = make('img', { 'class': 'quillgate-image', alt: 'CAPTCHA: type the characters you see' });
    this.newButton = make('button', { type: 'button', 'class': 'quillgate-new' }, 'New image');
    this.playButton = make('button', { type: 'button', 'class': 'quillgate-play' }, 'Play audio');
    this.audio = make('audio', { preload: 'none', 'class': 'quillgate-audio' });
    // The answer box and the token have no names of their own: the form sends them joined
    // in the one response field, which is what the site's server passes on to /siteverify.
    this.answerBox = make('input', {
      type: 'text', 'class': 'quillgate-answer',
      autocomplete: 'off', autocapitalize: 'characters', spellcheck: 'false',
      'aria-label': 'The characters in the image'
    });
    this.tokenField = make('input', { type: 'hidden', 'class': 'quillgate-token' });
    this.responseField = make('input', { type: 'hidden', 'class': 'quillgate-response', name: options.responseName || 'quillgate-response' });
    this.message = make('span', { 'class': 'quillgate-message', role: 'status' });

    var controls = make('div', { 'class': 'quillgate-controls' });
    controls.append(this.newButton, this.playButton);
    element.append(this.image, controls, this.answerBox, this.tokenField, this.responseField, this.audio, this.message);
    this.answerBox.addEventListener('input', function () { self.responseField.value = self.response(); });

    this.newButton.addEventListener('click', function () { self.refresh(); });
    this.playButton.addEventListener('click', function () {
      var played = self.audio.play();
      if (played && played.catch) played.catch(function () { self.message.textContent = 'The sound could not be played.'; });
    });
    this.ready = this.refresh();
    // The widget shows the failure itself; a page that never looks at `ready` must not get
    // an unhandled rejection for it.
    this.ready.catch(function () {});
  }

  // A solved puzzle for the challenge request, or nothing when the site asks for none.
  Widget.prototype.work = function () {
    var self = this;
    if (!self.needsWork) return Promise.resolve(undefined);
    var url = new URL('api/puzzle', base);
    if (self.sitekey) url.searchParams.set('sitekey', self.sitekey);
    return fetch(url).then(readJson).then(function (puzzle) {
      if (!puzzle.bits) { self.needsWork = false; return undefined; }
      var started = performance.now();
      return solvePuzzle(puzzle.puzzle, puzzle.bits).then(function (solved) {
        self.lastWork = { bits: puzzle.bits, tried: solved.tried, ms: performance.now() - started };
        return { puzzle: puzzle.puzzle, nonce: solved.nonce };
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
    self.newButton.disabled = true;
    self.message.textContent = '';
    return self.requestChallenge(false).then(function (challenge) {
      self.image.width = challenge.width;
      self.image.height = challenge.height;
      self.image.src = challenge.image;
      // Relative to the script, not to the host's root, for a server under a path prefix.
      self.audio.src = new URL(String(challenge.audio).replace(/^\//, ''), base).href;
      self.tokenField.value = challenge.token;
      self.answerBox.value = '';
      self.responseField.value = '';
      self.element.dispatchEvent(new CustomEvent('quillgate:challenge', { detail: challenge }));
      return challenge;
    }).catch(function (error) {
      self.message.textContent = 'No CAPTCHA could be loaded: ' + error.message;
      throw error;
    }).finally(function () {
      self.newButton.disabled = false;
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

  var target = script && script.dataset.target;
  if (target) {
    var start = function () {
      var element = document.getElementById(target);
      if (!element) return;
      var data = script.dataset;
      window.Quillgate.widget = new Widget(element, {
        style: data.style, width: data.width, height: data.height, length: data.length,
        type: data.type, format: data.format, sitekey: data.sitekey, responseName: data.responseName
      });
    };
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
    else start();
  }
})();
