// A round of looking at the sync folder: what it merges, what it skips and
// what it says, with the folder answered from memory.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { SCHEMA_VERSION, backupText, emptyData } from '../../resources/store.js';
import { Clock, Stamper } from '../../resources/stamps.js';
import { SyncRound } from '../../resources/sync.js';
import { saveClass } from '../../resources/model.js';

const TODAY = '2026-12-09';

function edited(node, name, wall) {
  const data = emptyData();
  const stamper = new Stamper(new Clock(node, () => wall));
  stamper.take(data, TODAY);
  saveClass(data, { name, color: '#4f7cac', size: null });
  stamper.stamp(data, TODAY);
  return data;
}

test('a round merges every file once, skips what cannot be read yet and says why', async () => {
  const files = new Map();
  let missing = false;
  const reads = [];
  const put = (name, text, modified) => files.set(name, { text, modified });
  const data = async (cmd, m = {}) => {
    if (cmd === 'syncList') {
      if (missing) return { ok: false, missing: true, error: 'No such file or directory' };
      return { ok: true, files: [...files].map(([name, f]) => ({ name, computer: name.split('.')[0], size: f.text.length, modified: f.modified })) };
    }
    if (cmd === 'syncRead') {
      reads.push(m.name);
      return { ok: true, text: files.get(m.name).text };
    }
    return { ok: false, error: 'unknown cmd' };
  };
  let local = edited('here0000', '家里的班', 1000);
  const round = new SyncRound({ data, current: () => local, take: (merged) => (local = merged), computer: { id: 'here0000', name: '家' } });

  const office = { ...edited('offi0000', '办公室的班', 2000), computer: { id: 'offi0000', name: '办公室' } };
  put('offi0000.dovrelist.json', backupText(office), 1);
  // A conflict copy the sync engine made is one more state; a half-written
  // file waits for the next round.
  put('offi0000.dovrelist (conflicted copy).json', backupText(edited('offi0000', '冲突里的班', 3000)), 1);
  put('lapt0000.dovrelist.json', backupText(office).slice(0, 100), 1);
  assert.equal(await round.run(), true);
  assert.deepEqual(local.classes.map((c) => c.name).sort(), ['冲突里的班', '办公室的班', '家里的班']);
  assert.equal(round.state.trouble.kind, 'unreadable');
  assert.deepEqual(round.state.computers.map((c) => [c.id, c.name]), [['offi0000', '办公室']]);

  // Unchanged files are not read again; the finished one is merged.
  reads.length = 0;
  put('lapt0000.dovrelist.json', backupText({ ...edited('lapt0000', '笔记本的班', 4000), computer: { id: 'lapt0000', name: '笔记本' } }), 2);
  await round.run();
  assert.deepEqual(reads, ['lapt0000.dovrelist.json']);
  assert.equal(local.classes.length, 4);
  assert.equal(round.state.trouble, null);

  // The folder gone, then back: said, and nothing local lost.
  missing = true;
  await round.run();
  assert.equal(round.state.trouble.kind, 'missing');
  assert.equal(local.classes.length, 4);
  missing = false;
  await round.run();
  assert.equal(round.state.trouble, null);

  // A computer on a newer version is named, and its file is not merged.
  put('offi0000.dovrelist.json', JSON.stringify({ ...office, version: SCHEMA_VERSION + 1, classes: [] }), 3);
  const before = JSON.stringify(local);
  await round.run();
  assert.deepEqual(round.state.trouble, { kind: 'newer', name: '办公室' });
  assert.equal(JSON.stringify(local), before);
});
