// The demo page's check: what a site's server would do, done from the page for the demo.
(function () {
  'use strict';
  var form = document.getElementById('demo-form');
  var verdict = document.getElementById('verdict');

  form.addEventListener('submit', function (event) {
    event.preventDefault();
    var widget = window.Quillgate.widget;
    verdict.className = '';
    verdict.textContent = 'Checking…';
    fetch('/api/verify', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ token: widget.token(), answer: widget.answer() })
    }).then(function (response) { return response.json(); }).then(function (result) {
      if (result.success) {
        verdict.className = 'success';
        verdict.textContent = 'Correct: you are human.';
        return;
      }
      verdict.className = 'failure';
      verdict.textContent = 'Not accepted (' + result.error + '). Here is a new image.';
      // Every try costs a token: a failed one gets a new challenge.
      return widget.refresh();
    }).catch(function (error) {
      verdict.className = 'failure';
      verdict.textContent = 'The check failed: ' + error.message;
    });
  });
})();
