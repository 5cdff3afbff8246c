// Drawing a screen again after a change: the new elements are laid over the
// ones shown, so that what did not change stays in place: the engine
// builds, styles and paints again mainly what did, and focus and scrolling
// stay where the teacher left them.
//
// Kept as they are: text that reads the same, and plain containers (their
// attributes brought up to date). Replaced: anything with a handler and
// every form control, since the new one's handlers belong to the new
// drawing. A part (see `part`) is kept whole while it reads the same and
// its handlers' objects are the same.

const CONTROLS = new Set(['INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'DIALOG', 'DETAILS']);

// Marks `el` as a part its next drawing may keep whole: `key` finds it
// among its siblings, `deps` are the live objects and values its handlers
// use (the assignment, the day). Returns `el`.
export function part(el, key, ...deps) {
  el.dataset.part = key;
  el.partDeps = deps;
  return el;
}

// Marks `el` as drawn again whole: handlers added to it by hand belong
// with its parts. Returns `el`.
export function whole(el) {
  el.hasHandlers = true;
  return el;
}

// Lays `next` over the children of `into`, which held `prev` (or nothing).
export function drawInto(into, next) {
  const prev = into.firstElementChild;
  if (prev && into.childNodes.length === 1 && sameKind(prev, next) && !replaces(prev, next)) overlay(prev, next);
  else into.replaceChildren(next);
}

function sameKind(a, b) {
  return a.nodeType === b.nodeType && a.nodeName === b.nodeName;
}

const handled = (el) => el.hasHandlers === true;

function replaces(old, next) {
  return CONTROLS.has(next.nodeName) || handled(old) || handled(next);
}

function sameDeps(a, b) {
  return !!a && !!b && a.length === b.length && a.every((x, i) => x === b[i]);
}

// The node to show in old's place: old, brought up to date, or next.
function merged(old, next) {
  if (!old || !sameKind(old, next)) return next;
  if (next.nodeType !== 1) {
    if (old.nodeValue !== next.nodeValue) old.nodeValue = next.nodeValue;
    return old;
  }
  if (next.dataset.part !== undefined)
    return old.dataset.part === next.dataset.part && sameDeps(old.partDeps, next.partDeps) && old.outerHTML === next.outerHTML ? old : next;
  if (replaces(old, next)) return next;
  overlay(old, next);
  return old;
}

function overlay(old, next) {
  for (const { name, value } of [...next.attributes]) if (old.getAttribute(name) !== value) old.setAttribute(name, value);
  for (const { name } of [...old.attributes]) if (!next.hasAttribute(name)) old.removeAttribute(name);

  // Parts are found by key, everything else by its place among the rest.
  const olds = [...old.childNodes];
  const byKey = new Map();
  const rest = [];
  for (const c of olds) {
    if (c.nodeType === 1 && c.dataset.part !== undefined) byKey.set(c.dataset.part, c);
    else rest.push(c);
  }
  let r = 0;
  const shown = [...next.childNodes].map((n) => {
    let o;
    if (n.nodeType === 1 && n.dataset.part !== undefined) {
      o = byKey.get(n.dataset.part);
      byKey.delete(n.dataset.part);
    } else o = rest[r++];
    return merged(o, n);
  });

  // Nodes that leave go first, so that those that stay are not moved.
  const staying = new Set(shown);
  for (const c of olds) if (!staying.has(c)) c.remove();
  let at = old.firstChild;
  for (const n of shown) {
    if (n === at) at = at.nextSibling;
    else old.insertBefore(n, at);
  }
}
