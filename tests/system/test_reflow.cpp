// The real page at 320 CSS pixels wide, made so by the engine's zoom as a
// teacher who zooms in gets it: every view and the main dialogs fit the
// width, nothing reaches past it and the page never scrolls sideways.

#include "support/SystemHarness.h"
#include "support/TeacherData.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

namespace {

// Every visible element whose box reaches past the viewport's sides (1 px
// allowed), unless a clipping ancestor inside the viewport cuts it off; and
// a document wider than its viewport. Named by tag, id, classes and key, with
// the two ancestors above.
const char* HELPERS = R"JS(
window.__settled = () => new Promise((ok) => requestAnimationFrame(() => setTimeout(ok, 30)));
window.__view = async (v) => {
  location.hash = '#' + v;
  for (let i = 0; i < 100 && !document.querySelector(`#nav [data-view=${v}][aria-current=page]`); i++) await __settled();
  await __settled();
};
window.__click = async (selector) => {
  const el = document.querySelector(selector);
  if (!el) throw new Error('no ' + selector);
  el.click();
  await __settled();
};
window.__closeDialogs = () => { for (const d of document.querySelectorAll('dialog')) { d.close(); d.remove(); } };
const name = (el) => el.tagName.toLowerCase() + (el.id ? '#' + el.id : '') +
  [...el.classList].map((c) => '.' + c).join('') + (el.dataset.key ? `[data-key=${el.dataset.key}]` : '');
const path = (el) => [el.parentElement?.parentElement, el.parentElement, el].filter((e) => e && e !== document.body)
  .map(name).join(' > ');
window.__overflow = (where) => {
  const width = document.documentElement.clientWidth;
  const found = [];
  if (document.documentElement.scrollWidth > width)
    found.push(`${where}: the document scrolls sideways (${document.documentElement.scrollWidth} > ${width})`);
  const out = (r) => r.left < -1 || r.right > width + 1;
  for (const el of document.querySelectorAll('body *')) {
    if (el.closest('.sr, .skip, [hidden], dialog:not([open])')) continue;
    const r = el.getBoundingClientRect();
    if (!r.width || !r.height || !out(r)) continue;
    let clipped = false;
    for (let a = el.parentElement; a && a !== document.body; a = a.parentElement)
      if (getComputedStyle(a).overflowX !== 'visible' && !out(a.getBoundingClientRect())) clipped = true;
    if (clipped) continue;
    // The outermost one says where; its children say nothing new.
    el.setAttribute('data-reflow-out', '');
    if (el.parentElement.closest('[data-reflow-out]')) continue;
    found.push(`${where}: ${path(el)} spans ${Math.round(r.left)}…${Math.round(r.right)}`);
  }
  for (const el of document.querySelectorAll('[data-reflow-out]')) el.removeAttribute('data-reflow-out');
  return found;
};
// The open date pop-up lies inside the viewport, both ways.
window.__popInside = (where) => {
  const pop = [...document.querySelectorAll('.datefield-pop')].find((p) => !p.hidden);
  if (!pop) return [`${where}: no date pop-up opened`];
  const r = pop.getBoundingClientRect();
  const w = document.documentElement.clientWidth, h = window.innerHeight;
  return r.left < -1 || r.right > w + 1 || r.top < -1 || r.bottom > h + 1
    ? [`${where}: the date pop-up spans ${Math.round(r.left)}…${Math.round(r.right)} × ${Math.round(r.top)}…${Math.round(r.bottom)} in ${w} × ${h}`]
    : [];
};
)JS";

const char* WALK = R"JS(
const found = [];
for (const v of ['today', 'week', 'plan', 'assignments', 'classes', 'time', 'settings']) {
  await __view(v);
  found.push(...__overflow(v));
}
const dialogs = [
  ['assignments', '[data-key=new-assignment]', 'new assignment'],
  ['assignments', '[data-key^=edit-]', 'edit assignment'],
  ['assignments', '[data-key^=rec-]', 'record progress'],
  ['assignments', '[data-key=new-template]', 'template form'],
  ['classes', '[data-key=new-class]', 'class form'],
];
for (const [v, sel, where] of dialogs) {
  await __view(v);
  await __click(sel);
  if (!document.querySelector('dialog[open]')) { found.push(`${where}: no dialog`); continue; }
  found.push(...__overflow(where));
  __closeDialogs();
}
// The date pop-up, in the new-assignment dialog and on 可用时间.
await __view('assignments');
await __click('[data-key=new-assignment]');
for (const b of document.querySelectorAll('dialog[open] .datefield-btn')) {
  b.click();
  await __settled();
  found.push(...__overflow('date pop-up in new assignment'), ...__popInside('date pop-up in new assignment'));
  b.click();
  await __settled();
}
__closeDialogs();
await __view('time');
await __click('#main .datefield-btn');
found.push(...__overflow('date pop-up on time'), ...__popInside('date pop-up on time'));
return found;
)JS";

// Sizes the window until the page's viewport is `cssWidth` wide: the zoom
// scales the CSS pixel, and the scroll bar (where there is one) takes its share.
int fitViewport(systest::SystemApp& app, int cssWidth, double zoom) {
  app.mainWindow().setMinSize({200, 200});
  int width = static_cast<int>(cssWidth * zoom);
  int seen = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    gtk_window_resize(app.mainGtkWindow(), width, 760);
    systest::spinUntil([&] { return gtk_widget_get_allocated_width(app.webViewWidget()) == width; },
                       5);
    systest::spinFor(0.2);
    systest::ScriptResult r = app.evaluate("return document.documentElement.clientWidth;");
    if (!r.ok)
      return -1;
    seen = r.value.get<int>();
    if (seen == cssWidth)
      break;
    width += static_cast<int>((cssWidth - seen) * zoom);
  }
  return seen;
}

TEST(Reflow, EveryViewAndTheMainDialogsFit320CssPixelsAtTheEnginesZoom) {
  systest::SystemApp app;
  // As kept by the view menu: the web view is made at this zoom.
  app.platform.defaultsStore.values["pageZoom"] = "200";
  systest::startWithTeacherData(app);
  if (HasFatalFailure())
    return;

  ASSERT_EQ(fitViewport(app, 320, 2.0), 320);
  // It is the zoom that narrows it: the view itself is twice as wide.
  int widget = gtk_widget_get_allocated_width(app.webViewWidget());
  EXPECT_GE(widget, 630) << "the web view is " << widget << " px wide";

  systest::ScriptResult injected = app.evaluate(std::string(HELPERS) + "\nreturn 1;");
  ASSERT_TRUE(injected.ok) << injected.error;
  systest::ScriptResult walked = app.evaluate(WALK, 90);
  ASSERT_TRUE(walked.ok) << walked.error;
  std::string list;
  for (const auto& line : walked.value)
    list += "\n  " + line.get<std::string>();
  EXPECT_TRUE(walked.value.empty()) << walked.value.size() << " problems:" << list;

  // The menu's steps apply at once and are kept for the next start.
  app.delegate().performAction("zoomIn");
  EXPECT_EQ(app.platform.defaultsStore.values["pageZoom"], "250");
  EXPECT_TRUE(app.waitForScript("document.documentElement.clientWidth < 300"));
  app.delegate().performAction("actualSize");
  EXPECT_EQ(app.platform.defaultsStore.values["pageZoom"], "100");
  EXPECT_TRUE(app.waitForScript("document.documentElement.clientWidth > 600"));
}

} // namespace
