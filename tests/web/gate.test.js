// The gate's forwarder, against a stand-in top window: it posts a body only
// when it fits the channel's limits, counted as the native reader counts them.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';

const source = readFileSync(new URL('../../bridge/gate_forwarder.js', import.meta.url), 'utf8');

// Installs the forwarder for one channel with these limits and returns a
// function that sends a body through it and says whether it was posted.
function forwarder(limits) {
  const posted = [];
  const listeners = {};
  const document = { addEventListener: (type, listener) => (listeners[type] = listener) };
  const window = { webkit: { messageHandlers: { ch: { postMessage: (b) => posted.push(b) } } } };
  window.top = window;
  const install = new Function('window', 'location', 'document', `return (${source}\n);`)(
    window, { protocol: 'halvane:' }, document);
  install([{ name: 'ch', limits: { nesting: 4, members: 16, ...limits } }], 'halvane', 'ev_');
  return (body) => {
    const before = posted.length;
    listeners.ev_ch({ detail: body });
    return posted.length > before;
  };
}

test('texts count in UTF-8 bytes, keys and values together', () => {
  const send = forwarder({ stringBytes: 12 });
  assert.equal(send('a'.repeat(12)), true);
  assert.equal(send('a'.repeat(13)), false);
  // 'é' is one UTF-16 unit but two bytes, '中' three, '🐰' a pair and four.
  assert.equal(send('é'.repeat(6)), true);
  assert.equal(send('é'.repeat(7)), false);
  assert.equal(send('中'.repeat(4)), true);
  assert.equal(send('中'.repeat(4) + 'a'), false);
  assert.equal(send('🐰🐰🐰'), true);
  assert.equal(send('🐰🐰🐰a'), false);
  assert.equal(send('abc' + 'é'.repeat(4) + 'x'), true);
  assert.equal(send('abc' + 'é'.repeat(4) + 'xy'), false);
  // One budget for the whole body, keys included.
  assert.equal(send({ 中: 'é'.repeat(4), n: 1 }), true);
  assert.equal(send({ 中: 'é'.repeat(4), nn: 1 }), false);
  assert.equal(send(['中中', '中中']), true);
  assert.equal(send(['中中', '中中', 'a']), false);
});

test('a large ASCII text is counted by its length', () => {
  // The keys "name" and "data" and the name "x" take 9 bytes.
  const send = forwarder({ stringBytes: (4 << 20) + 9 });
  const big = 'QUJD'.repeat(1 << 20);
  assert.equal(send({ name: 'x', data: big }), true);
  assert.equal(send({ name: 'x', data: big + 'A' }), false);
  assert.equal(send({ name: 'é', data: big }), false);
});
