// Drawing a screen again after a change: the new elements are laid over the
// ones shown, so that what did not change stays in place: the engine
// builds, styles and paints again mainly what did, and focus and scrolling
// stay where the teacher left them.
//
// Kept as they are: text that reads the same, and plain containers (their
// attributes brought up to date). Replaced: anything with a handler and
// every form control, since the new one's handlers belong to the new
// drawing. A part (see `part`) is kept whole while it reads the same and
// its handlers' objects are the same; a remembered part (see
// `rememberedParts`) is not even built again while it is.

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

// A list's parts remembered from one drawing to the next. Returns
// `draw(items, { key, sig, deps, build })`: `sig(item)` is everything the
// part shows, as a string, `deps(item)` as for `part`; `build(item)` makes
// the part, and is not called while one with the same sig and deps is shown.
export function rememberedParts() {
  let shown = new Map();
  return (items, { key, sig, deps, build }) => {
    const now = new Map();
    const parts = items.map((item) => {
      const k = key(item);
      const entry = { sig: sig(item), deps: deps(item), el: null };
      now.set(k, entry);
      const make = () => made(entry, k, build(item));
      const had = shown.get(k);
      if (!had || !had.el.isConnected || had.sig !== entry.sig || !sameDeps(had.deps, entry.deps)) return make();
      entry.el = had.el;
      // Stands for the shown part; drawn whole elsewhere, it is built.
      const stub = document.createElement(had.el.nodeName);
      stub.dataset.part = k;
      stub.dataset.stub = '';
      stub.keeps = had.el;
      stub.build = make;
      return stub;
    });
    shown = now;
    return parts;
  };
}

function made(entry, key, el) {
  part(el, key, ...entry.deps);
  el.partEntry = entry;
  entry.el = el;
  return el;
}

// Lays `next` over the children of `into`, which held `prev` (or nothing);
// without `overlay`, `next` replaces them.
export function drawInto(into, next, overlay = true) {
  const prev = into.firstElementChild;
  if (overlay && prev && into.childNodes.length === 1 && sameKind(prev, next) && !replaces(prev, next)) overlayOn(prev, next);
  else into.replaceChildren(built(next));
}

// `next` as it is to be shown whole: the parts its stubs stand for built.
function built(next) {
  if (next.keeps) return next.build();
  if (next.nodeType === 1 && next.dataset.part === undefined) for (const s of next.querySelectorAll('[data-stub]')) s.replaceWith(s.build());
  return next;
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
  if (next.keeps) return next.keeps === old ? old : merged(old, next.build());
  if (!old || !sameKind(old, next)) return built(next);
  if (next.nodeType !== 1) {
    if (old.nodeValue !== next.nodeValue) old.nodeValue = next.nodeValue;
    return old;
  }
  if (next.dataset.part !== undefined) {
    if (old.dataset.part !== next.dataset.part || !sameDeps(old.partDeps, next.partDeps) || old.outerHTML !== next.outerHTML) return built(next);
    // Remembered as the one shown.
    if (next.partEntry) next.partEntry.el = old;
    return old;
  }
  if (replaces(old, next)) return built(next);
  overlayOn(old, next);
  return old;
}

function overlayOn(old, next) {
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
