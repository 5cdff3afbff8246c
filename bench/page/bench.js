// The page side of the scheme and export benchmarks. The mode comes from the
// bench harness (a script run before this one) or from ?mode= in the URL.
(function () {
  'use strict';
  var mode = window.__benchMode || new URLSearchParams(location.search).get('mode');
  var handlers = window.webkit && window.webkit.messageHandlers;

  function report(text) {
    if (handlers && handlers.benchReport) handlers.benchReport.postMessage(String(text));
  }
  // Wall-clock milliseconds, comparable with the native side's stamps.
  function now() { return performance.timeOrigin + performance.now(); }

  async function fetchBench() {
    var rounds = window.__benchRounds || 5, times = [], bytes = 0;
    // A quiet stretch first, the stall benchmark's baseline of an idle loop.
    if (window.__benchIdleMs) {
      report('idle');
      await new Promise(function (resolve) { setTimeout(resolve, window.__benchIdleMs); });
    }
    // One untimed round first: the native baseline also reads a warm file.
    for (var i = 0; i <= rounds; i++) {
      var t0 = performance.now();
      var name = window.__benchFile || 'big.bin';
      if (window.__benchPad) name = 'a'.repeat(window.__benchPad) + '/' + name;
      var response = await fetch(name);
      var buffer = await response.arrayBuffer();
      var t1 = performance.now();
      bytes = buffer.byteLength;
      if (i > 0) times.push(t1 - t0);
    }
    times.sort(function (a, b) { return a - b; });
    var ms = times[times.length >> 1];
    report('fetch_bytes=' + bytes);
    report('fetch_median_ms=' + ms.toFixed(2));
    report('fetch_mbps=' + (bytes / 1048576 / (ms / 1000)).toFixed(1));
    report('done');
  }

  // The same sequence the harness checks the saved file against.
  function patternBlob(megabytes) {
    var words = new Uint32Array(megabytes * 262144);
    var x = 12345;
    for (var i = 0; i < words.length; i++) {
      x = (Math.imul(x, 1664525) + 1013904223) >>> 0;
      words[i] = x;
    }
    return new Blob([words], {type: 'application/octet-stream'});
  }

  function exportBench() {
    var stamps = {};
    var blob = patternBlob(window.__benchSize || 1);
    // The save bridge reads the blob with FileReader.readAsDataURL and posts
    // on hlvnSave; both are wrapped here only to stamp the moments.
    var read = FileReader.prototype.readAsDataURL;
    FileReader.prototype.readAsDataURL = function (b) {
      stamps.readStart = now();
      return read.call(this, b);
    };
    var save = handlers.hlvnSave;
    var post = save.postMessage;
    save.postMessage = function (message) {
      stamps.postEnter = now();
      var result = post.call(save, message);
      stamps.postReturn = now();
      report('stamps:' + JSON.stringify(stamps));
      return result;
    };
    window.__benchGo = function () {
      var a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = 'export.bin';
      document.body.appendChild(a);
      stamps.click = now();
      a.click();
      stamps.clickReturned = now();
      URL.revokeObjectURL(a.href);
    };
    report('ready');
  }

  window.addEventListener('load', function () {
    if (mode === 'fetch') fetchBench().catch(function (e) { report('fetch failed: ' + e); report('done'); });
    else if (mode === 'export') exportBench();
  });
})();
