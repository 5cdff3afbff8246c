// The gate's inner half. Injected at document start, top frame only, into the
// isolated script world that alone holds the channels' handlers, and only
// into the app's own documents; it checks that again itself, for an engine
// that cannot be told which documents to inject into. It hands on what the
// page's shim dispatches as an event of the channel's name on the document.
// A frame or document it is not in has no way to reach a handler.
//
// The engine turns a posted value into its own form by visiting every index
// of every array, holes included, on both sides of the process boundary: a
// sparse array of ten million would hold the app for many seconds. So a body
// over the channel's limits is not posted at all. What this world gets as an
// event's detail is its own copy of the page's value, plain data on which no
// page code runs, so what is checked here is what is posted. The native side
// enforces the same limits exactly.
(function (channels, scheme, eventPrefix) {
  if (window !== window.top || location.protocol !== scheme + ':') return;
  var handlers = window.webkit && window.webkit.messageHandlers;
  if (!handlers) return;

  // A text's UTF-8 bytes, as the native reader counts them, without making
  // a copy of it: a unit below 0x80 takes one byte, below 0x800 two, a
  // surrogate two (four a pair), any other three. Past `most` the count
  // stops early; a text with more units than `most` is over at once, since
  // every unit takes a byte at least. Texts are mostly ASCII (a save's
  // Base64 always is), which one search settles.
  var nonAscii = /[^\x00-\x7f]/g;
  function utf8Bytes(text, most) {
    if (text.length > most) return text.length;
    nonAscii.lastIndex = 0;
    if (!nonAscii.test(text)) return text.length;
    var bytes = text.length;
    for (var i = nonAscii.lastIndex - 1; i < text.length && bytes <= most; i++) {
      var c = text.charCodeAt(i);
      if (c >= 0x80) bytes += c < 0x800 || (c >= 0xD800 && c <= 0xDFFF) ? 1 : 2;
    }
    return bytes;
  }

  // Counts as the native reader does: an array by its length, every member,
  // each text (keys too) by its UTF-8 bytes.
  function withinLimits(body, limits) {
    var strings = limits.stringBytes, members = limits.members;
    function takeText(text) {
      var bytes = utf8Bytes(text, strings);
      if (bytes > strings) return false;
      strings -= bytes;
      return true;
    }
    function fits(value, nesting) {
      if (typeof value === 'string') return takeText(value);
      if (value === null || typeof value !== 'object') return true;
      if (nesting >= limits.nesting) return false;
      if (value instanceof ArrayBuffer || ArrayBuffer.isView(value)) return false;
      if (Array.isArray(value)) {
        if (value.length > members) return false;
        members -= value.length;
        for (var i = 0; i < value.length; i++)
          if (!fits(value[i], nesting + 1)) return false;
        return true;
      }
      for (var key in value) {
        if (members === 0 || !takeText(key)) return false;
        members -= 1;
        if (!fits(value[key], nesting + 1)) return false;
      }
      return true;
    }
    return fits(body, 0);
  }

  channels.forEach(function (channel) {
    var handler = handlers[channel.name];
    if (!handler) return;
    document.addEventListener(eventPrefix + channel.name, function (event) {
      try {
        var body = event.detail;
        if (withinLimits(body, channel.limits)) handler.postMessage(body);
      } catch (e) {}
    });
  });
})
