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
    element.append(this.image, controls, this.answerBox, this.tokenField, this.responseField, this.audio,
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
