// The gate's page half. Injected at document start, top frame only, into the
// page's own world of the app's own documents (and checking that itself):
// it gives the page window.webkit.messageHandlers.<name>.postMessage for each
// channel, which dispatches the body as an event that the gate's forwarder,
// in its isolated world, hands to the real handler.
(function (channels, scheme, eventPrefix) {
  if (window !== window.top || location.protocol !== scheme + ':') return;
  // Taken now, before any script of the page runs.
  var dispatch = EventTarget.prototype.dispatchEvent;
  var Custom = CustomEvent;
  var doc = document;
  var names = channels.map(function (channel) { return channel.name; });
  channels = {};
  names.forEach(function (name) {
    var type = eventPrefix + name;
    channels[name] = {
      postMessage: function (body) {
        dispatch.call(doc, new Custom(type, {detail: body}));
      }
    };
  });

  try {
    if (!window.webkit)
      Object.defineProperty(window, 'webkit', {value: {}, configurable: true});
  } catch (e) {}
  var ns = window.webkit;
  try {
    if (ns && !ns.messageHandlers)
      Object.defineProperty(ns, 'messageHandlers', {value: {}});
  } catch (e) {}
  var real = ns && ns.messageHandlers;
  var installed = !!real && names.every(function (name) {
    try { Object.defineProperty(real, name, {value: channels[name]}); } catch (e) {}
    return real[name] === channels[name];
  });
  if (installed) return;
  // The engine's own namespace (there when the page's world has channels of
  // its own) takes no new members: stand a view of it in its place.
  var handlers = new Proxy({}, {
    get: function (target, key) {
      return Object.prototype.hasOwnProperty.call(channels, key) ? channels[key]
                                                                 : real && real[key];
    }
  });
  try {
    Object.defineProperty(window, 'webkit', {value: {messageHandlers: handlers},
                                             configurable: true});
  } catch (e) {}
})
