#pragma once

// The shipped page's helpers for the tests that drive it: waiting on what
// it shows, and typing as its forms expect it (their checks listen for
// input events).
inline constexpr const char* REAL_PAGE_HELPERS = R"js(
const until = async (look, what) => {
  const end = Date.now() + 15000;
  for (;;) {
    const v = look();
    if (v) return v;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 20));
  }
};
const type = (el, value) => {
  el.value = value;
  el.dispatchEvent(new Event('input', { bubbles: true }));
};
const view = async (name) => {
  if (location.hash !== '#' + name) location.hash = '#' + name;
  await until(() => document.querySelector('main h1')?.textContent === { today: '今天', classes: '班级', assignments: '作业', settings: '设置' }[name], name);
};
const submit = async () => {
  document.querySelector('dialog[open] button[type=submit]').click();
  await until(() => !document.querySelector('dialog[open]'), 'the dialog to close');
};
const classNames = () => [...document.querySelectorAll('main .class-card strong')].map((e) => e.textContent);
const titles = () => [...document.querySelectorAll('main td.title-cell strong')].map((e) => e.textContent);
const addClass = async (name) => {
  await view('classes');
  document.querySelector('[data-key=new-class]').click();
  type(await until(() => document.getElementById('cn-new'), 'the class form'), name);
  type(document.getElementById('cs-new'), '40');
  await submit();
  await until(() => classNames().includes(name), 'the class in the list');
};
const addAssignment = async (title) => {
  await view('assignments');
  document.querySelector('[data-key=new-assignment]').click();
  type(await until(() => document.getElementById('f-title'), 'the assignment form'), title);
  type(document.getElementById('f-mins'), '3');
  await submit();
  await until(() => titles().includes(title), 'the assignment in the list');
};
)js";
