// Injected at document start into every frame. Takes over the browser idiom
// for exports (Blob -> object URL -> <a download> -> click()) and hands the
// bytes to the native save panel instead of the engine's download machinery.
// A function expression of the longest Base64 text a save may carry: a file
// beyond it is not read at all, and the native side is told its size, so the
// user hears why nothing was saved.
(function (maxDataBytes) {
  if (window.__hlvnSaveBridge) return;
  var handler = window.webkit && window.webkit.messageHandlers &&
      window.webkit.messageHandlers.hlvnSave;
  // Not inside the app: leave the page's downloads to the browser.
  if (!handler) return;
  window.__hlvnSaveBridge = true;

  var blobs = new Map();
  var createObjectURL = URL.createObjectURL;
  var revokeObjectURL = URL.revokeObjectURL;
  var click = HTMLAnchorElement.prototype.click;

  URL.createObjectURL = function (object) {
    var url = createObjectURL.call(URL, object);
    try { blobs.set(url, object); } catch (e) {}
    return url;
  };

  // Pages revoke right after click(); the bridge is still reading the blob
  // then, so every revocation takes effect 5 seconds late.
  URL.revokeObjectURL = function (url) {
    setTimeout(function () {
      try { revokeObjectURL.call(URL, url); } catch (e) {}
      try { blobs.delete(url); } catch (e) {}
    }, 5000);
  };

  HTMLAnchorElement.prototype.click = function () {
    var link = this.getAttribute('href') || this.href || '';
    var name = this.download;
    if (typeof name === 'string' && name !== '' && link.indexOf('blob:') === 0 &&
        blobs.has(link)) {
      var anchor = this;
      var blob = blobs.get(link);
      if (Math.ceil(blob.size / 3) * 4 > maxDataBytes) {
        try { handler.postMessage({name: name, size: blob.size}); } catch (e) {}
        return;
      }
      try {
        var reader = new FileReader();
        reader.addEventListener('loadend', function () {
          var data = '';
          try {
            var result = typeof reader.result === 'string' ? reader.result : '';
            // A blob's type may itself hold commas; the payload follows the last one.
            var comma = result.lastIndexOf(',');
            data = comma < 0 ? '' : result.slice(comma + 1);
          } catch (e) {
            data = '';
          }
          if (data) {
            try { handler.postMessage({name: name, data: data}); } catch (e) {}
          }
        });
        reader.addEventListener('error', function () {
          try { click.call(anchor); } catch (e) {}
        });
        reader.readAsDataURL(blob);
        return;
      } catch (e) {
        // Fall through to the page's own download path.
      }
    }
    return click.apply(this, arguments);
  };
})
