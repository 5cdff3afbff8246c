// Just enough of a document for the views to build their elements in node,
// and to read back what the teacher would see.

class Node {}

class Element extends Node {
  constructor(tag) {
    super();
    this.tagName = tag.toUpperCase();
    this.children = [];
    this.attributes = {};
    this.style = {};
    this.dataset = {};
    this.className = '';
    this.listeners = {};
  }
  setAttribute(k, v) {
    this.attributes[k] = String(v);
  }
  getAttribute(k) {
    return this.attributes[k] ?? null;
  }
  addEventListener(type, listener) {
    (this.listeners[type] ??= []).push(listener);
  }
  click() {
    for (const listener of this.listeners.click || []) listener({ target: this, preventDefault() {} });
  }
  append(...items) {
    this.children.push(...items);
  }
  replaceChildren(...items) {
    this.children = items;
  }
  get textContent() {
    return this.children.map((c) => (c instanceof Element ? c.textContent : String(c))).join('');
  }
  set textContent(v) {
    this.children = [String(v)];
  }
}

export function installDom() {
  globalThis.Node = Node;
  globalThis.document = { createElement: (tag) => new Element(tag) };
}

// Every element under `root` (itself included) for which `pick` holds.
export function findAll(root, pick) {
  const out = [];
  const walk = (el) => {
    if (!(el instanceof Element)) return;
    if (pick(el)) out.push(el);
    el.children.forEach(walk);
  };
  walk(root);
  return out;
}

export const byClass = (name) => (el) => el.className.split(' ').includes(name);
export const byTag = (tag) => (el) => el.tagName === tag.toUpperCase();
