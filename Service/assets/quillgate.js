// Quillgate widget: include it with one tag and it shows a CAPTCHA in the element you name,
// inside your form:
//
//   <div id="captcha"></div>
//   <script src="https://captcha.example.org/quillgate.js" data-target="captcha"></script>
//
// The form then sends two more fields, quillgate-token and quillgate-answer; your server
// posts them as {"token": ..., "answer": ...} to /api/verify of the same server and trusts
// only "success": true. Optional attributes on the tag: data-style, data-width,
// data-height, data-length, data-type, data-format, data-token-name, data-answer-name.
// Script use: Quillgate.render(element, options) returns a widget with refresh(), token()
// and answer(); the element receives a "quillgate:challenge" event after each new image.
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

    element.classList.add('quillgate');
    this.image = make('img', { 'class': 'quillgate-image', alt: 'CAPTCHA: type the characters you see' });
    this.newButton = make('button', { type: 'button', 'class': 'quillgate-new' }, 'New image');
    this.playButton = make('button', { type: 'button', 'class': 'quillgate-play' }, 'Play audio');
    this.audio = make('audio', { preload: 'none', 'class': 'quillgate-audio' });
    this.answerBox = make('input', {
      type: 'text', 'class': 'quillgate-answer', name: options.answerName || 'quillgate-answer',
      autocomplete: 'off', autocapitalize: 'characters', spellcheck: 'false',
      'aria-label': 'The characters in the image'
    });
    this.tokenField = make('input', { type: 'hidden', 'class': 'quillgate-token', name: options.tokenName || 'quillgate-token' });
    this.message = make('span', { 'class': 'quillgate-message', role: 'status' });

    var controls = make('div', { 'class': 'quillgate-controls' });
    controls.append(this.newButton, this.playButton);
    element.append(this.image, controls, this.answerBox, this.tokenField, this.audio, this.message);

    this.newButton.addEventListener('click', function () { self.refresh(); });
    this.playButton.addEventListener('click', function () {
      var played = self.audio.play();
      if (played && played.catch) played.catch(function () { self.message.textContent = 'The sound could not be played.'; });
    });
    this.ready = this.refresh();
  }

  Widget.prototype.refresh = function () {
    var self = this;
    self.newButton.disabled = true;
    self.message.textContent = '';
    return fetch(new URL('api/challenge', base), {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(self.settings)
    }).then(function (response) {
      return response.json().then(function (body) {
        if (!response.ok) throw new Error(body.message || body.error || ('HTTP ' + response.status));
        return body;
      });
    }).then(function (challenge) {
      self.image.width = challenge.width;
      self.image.height = challenge.height;
      self.image.src = challenge.image;
      self.audio.src = new URL(challenge.audio, base).href;
      self.tokenField.value = challenge.token;
      self.answerBox.value = '';
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
        type: data.type, format: data.format, tokenName: data.tokenName, answerName: data.answerName
      });
    };
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
    else start();
  }
})();
