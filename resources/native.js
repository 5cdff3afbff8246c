// The page's side of the native channels. Inside the app the message
// handlers exist; in an ordinary browser they do not, and every call here
// quietly does nothing.

export function createNative(win) {
  const handlers = (win.webkit && win.webkit.messageHandlers) || null;
  const launch = (handlers && handlers.hlvnLaunch) || null;
  const badge = (handlers && handlers.hlvnBadge) || null;
  const dataChannel = (handlers && handlers.hlvnData) || null;
  const pending = new Map();
  let nextToken = 1;
  let lastCount = null;

  // The reply arrives as a script evaluated in the page, so this has to be a
  // real property of the window, not a module-level name.
  win.__hlvnApply = (token, result) => {
    const key = String(token);
    const resolve = pending.get(key);
    if (!resolve) return;
    pending.delete(key);
    resolve(result !== null && typeof result === 'object' ? result : {});
  };

  function send(channel, message) {
    if (!channel) return Promise.resolve(null);
    const cb = String(nextToken++);
    return new Promise((resolve) => {
      pending.set(cb, resolve);
      try {
        channel.postMessage(message(cb));
      } catch {
        pending.delete(cb);
        resolve(null);
      }
    });
  }

  return {
    hasLaunch: !!launch,
    hasBadge: !!badge,

    hasData: !!dataChannel,

    // Resolves with the reply object, or null when the request could not be sent.
    request(cmd, params) {
      return send(launch, (cb) => JSON.stringify(params === undefined ? { cmd, cb } : { cmd, cb, params }));
    },

    // A command of the data channel, its string members beside it.
    data(cmd, members = {}) {
      return send(dataChannel, (cb) => ({ ...members, cmd, cb }));
    },

    // Posts the count when it changed, or always with `force`. The native
    // side drops fractions, so only whole numbers are sent. Returns the
    // number posted, or null.
    postCount(n, force = false) {
      const count = Number.isFinite(n) ? Math.max(0, Math.round(n)) : 0;
      if (!badge || (!force && count === lastCount)) return null;
      try {
        badge.postMessage({ n: count });
      } catch {
        return null;
      }
      lastCount = count;
      return count;
    },
  };
}

// What to tell the teacher about a failed command: the native side's own
// words when it gave any, else `fallback`. Null when the command succeeded.
export function replyError(reply, fallback) {
  if (reply && reply.ok === true) return null;
  const text = reply && typeof reply.error === 'string' ? reply.error.trim() : '';
  return text || fallback;
}
