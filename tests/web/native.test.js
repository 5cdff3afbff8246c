// The page's side of the native channels, against a stand-in window.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createNative } from '../../resources/native.js';

// A reply that never arrives fails the test instead of leaving it hanging.
function settled(p) {
  let timer;
  const late = new Promise((_, reject) => (timer = setTimeout(() => reject(new Error('no reply matched')), 500)));
  return Promise.race([p, late]).finally(() => clearTimeout(timer));
}

function fakeWindow({ launch = true, badge = true } = {}) {
  const sent = { launch: [], badge: [] };
  const messageHandlers = {};
  if (launch) messageHandlers.hlvnLaunch = { postMessage: (m) => sent.launch.push(m) };
  if (badge) messageHandlers.hlvnBadge = { postMessage: (m) => sent.badge.push(m) };
  return { win: { webkit: { messageHandlers } }, sent };
}

test('commands go out as JSON text and replies are matched by token', async () => {
  const { win, sent } = fakeWindow();
  const native = createNative(win);
  assert.equal(typeof win.__hlvnApply, 'function');
  const status = native.request('status');
  const auto = native.request('autostart', { on: true });
  assert.deepEqual(sent.launch.map((m) => typeof m), ['string', 'string']);
  const [m1, m2] = sent.launch.map((m) => JSON.parse(m));
  assert.deepEqual(m1, { cmd: 'status', cb: '1' });
  assert.deepEqual(m2, { cmd: 'autostart', cb: '2', params: { on: true } });
  // The native side evaluates the token, so it comes back as a number.
  // Replies out of order, and an unknown token, are handled.
  win.__hlvnApply(7, { ok: false });
  win.__hlvnApply(Number(m2.cb), { ok: true, autostart: true });
  win.__hlvnApply(Number(m1.cb), { kind: 'mac', installed: false, autostart: true, appPath: '/Users/t/Dovrelist.app' });
  assert.deepEqual(await settled(auto), { ok: true, autostart: true });
  assert.equal((await settled(status)).appPath, '/Users/t/Dovrelist.app');
  // A repeated reply for a settled token is ignored: it settles no later
  // request, which waits for its own token.
  const later = native.request('status');
  assert.equal(JSON.parse(sent.launch[2]).cb, '3');
  win.__hlvnApply(1, { kind: 'other' });
  win.__hlvnApply(3, { kind: 'linux' });
  assert.deepEqual(await settled(later), { kind: 'linux' });
});

test('the count is posted as a whole number, on change or when forced', () => {
  const { win, sent } = fakeWindow();
  const native = createNative(win);
  assert.equal(native.postCount(3), 3);
  assert.equal(native.postCount(3), null);
  assert.equal(native.postCount(3, true), 3);
  assert.equal(native.postCount(2.6), null); // rounds to the count already shown
  assert.equal(native.postCount(4.4), 4);
  assert.equal(native.postCount(NaN), 0);
  assert.deepEqual(sent.badge, [{ n: 3 }, { n: 3 }, { n: 4 }, { n: 0 }]);
  assert.ok(sent.badge.every((m) => Number.isInteger(m.n)));
});

test('in an ordinary browser nothing is posted and requests settle empty', async () => {
  const native = createNative({});
  assert.equal(native.hasLaunch, false);
  assert.equal(native.hasBadge, false);
  assert.equal(await native.request('status'), null);
  assert.equal(native.postCount(4), null);
  const { win } = fakeWindow({ launch: false });
  assert.equal(createNative(win).hasBadge, true);
  assert.equal(createNative(win).hasLaunch, false);
});
