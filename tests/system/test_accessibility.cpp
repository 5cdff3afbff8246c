// The real page checked by axe-core in the real engine: every view and every
// dialog, with a teacher's data in it, in light and in dark mode.

#include "support/SystemHarness.h"
#include "support/TeacherData.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using systest::TEACHER_DATA;

// axe's findings, one line each: the rule and where.
const char* HELPERS = R"JS(
window.__audit = async (where) => {
  const r = await axe.run(document, {runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']},
                                     resultTypes: ['violations']});
  return r.violations.flatMap((v) => v.nodes.map((n) => `${where}: ${v.id} ${n.target.join(' ')}`));
};
window.__settled = () => new Promise((ok) => requestAnimationFrame(() => setTimeout(ok, 30)));
window.__view = async (v) => {
  location.hash = '#' + v;
  for (let i = 0; i < 100 && !document.querySelector(`#nav [data-view=${v}][aria-current=page]`); i++) await __settled();
  await __settled();
};
window.__closeDialogs = () => { for (const d of document.querySelectorAll('dialog')) { d.close(); d.remove(); } };
window.__click = async (selector) => {
  const el = document.querySelector(selector);
  if (!el) throw new Error('no ' + selector);
  el.click();
  await __settled();
  if (!document.querySelector('dialog[open]')) throw new Error('no dialog after ' + selector);
};
)JS";

std::string axeSource() {
  std::ifstream in(TESSALOOM_AXE_PATH, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What to look at: the views, then each dialog opened with the page's own
// buttons (and a form with its errors shown).
const char* WALK = R"JS(
const found = [];
const views = ['today', 'week', 'plan', 'assignments', 'classes', 'time', 'settings'];
for (const v of views) {
  await __view(v);
  found.push(...await __audit(v));
}
const dialogs = [
  ['assignments', '[data-key=new-assignment]', 'new assignment'],
  ['assignments', '[data-key^=edit-]', 'edit assignment'],
  ['assignments', '[data-key^=rec-]', 'record progress'],
  ['assignments', '[data-key^=del-]', 'delete confirm'],
  ['assignments', '[data-key=new-template]', 'template form'],
  ['assignments', '[data-key^=tedit-]', 'template edit'],
  ['classes', '[data-key=new-class]', 'class form'],
  ['classes', '[data-key^=cedit-]', 'class edit'],
  ['classes', '[data-key^=cdel-]', 'class delete'],
  ['today', '[data-key$=-rec]', 'record from today'],
];
for (const [v, sel, name] of dialogs) {
  await __view(v);
  await __click(sel);
  found.push(...await __audit(name));
  // The same form with its errors: submitted as it is, empty or not.
  const form = document.querySelector('dialog[open] form');
  const inputs = form.querySelectorAll('input[type=text]');
  if (inputs.length && !name.includes('delete')) {
    for (const i of inputs) i.value = '';
    form.querySelector('.btn.primary').click();
    await __settled();
    found.push(...await __audit(name + ' with errors'));
    // Leaving a changed form asks first.
    form.querySelector('.dialog-actions .btn:not(.primary)').click();
    await __settled();
    if (document.querySelectorAll('dialog[open]').length > 1) found.push(...await __audit(name + ' discard question'));
  }
  __closeDialogs();
}
// Several classes picked in the new-assignment form.
await __view('assignments');
await __click('[data-key=new-assignment]');
for (const c of document.querySelectorAll('dialog[open] input[type=checkbox]')) if (!c.checked) c.click();
await __settled();
for (const c of document.querySelectorAll('dialog[open] .pick-row input[type=text]')) c.value = 'x';
document.querySelector('dialog[open] .btn.primary').click();
await __settled();
found.push(...await __audit('several classes with errors'));
__closeDialogs();
// An exception with a wrong value, inline on 可用时间.
await __view('time');
document.getElementById('ex-min').value = 'x';
document.querySelector('[data-key=ex-add]').click();
await __settled();
found.push(...await __audit('exception with errors'));
// Import: a file that is no backup, then a good one.
for (const [text, name] of [['{"nope": 1}', 'import refused'], [null, 'import confirm']]) {
  await __view('settings');
  const body = text ?? JSON.stringify({...JSON.parse(localStorage.getItem('dovrelist'))});
  const input = document.getElementById('import-file');
  const files = new DataTransfer();
  files.items.add(new File([body], 'backup.json', {type: 'application/json'}));
  input.files = files.files;
  input.dispatchEvent(new Event('change'));
  for (let i = 0; i < 100 && !document.querySelector('dialog[open]'); i++) await __settled();
  found.push(...await __audit(name));
  __closeDialogs();
}
// A delete, with its undo on offer.
await __view('assignments');
document.querySelector('[data-key^=del-]').focus();
document.querySelector('[data-key^=del-]').click();
await __settled();
document.querySelector('dialog[open] .btn.danger').click();
for (let i = 0; i < 100 && !document.querySelector('#toast button'); i++) await __settled();
found.push(...await __audit('undo offered'));
return found;
)JS";

void auditEverything(bool dark) {
  std::string axe = axeSource();
  ASSERT_FALSE(axe.empty()) << "axe-core is missing at " << TESSALOOM_AXE_PATH
                            << ": scripts/test.sh installs it (npm ci)";
  systest::SystemApp app;
  // Before the web view is made: the engine takes the page's colour scheme
  // from the toolkit's.
  if (dark)
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, nullptr);
  // Without motion: a toast caught half-faded (the start's own, say, fading
  // as a later view is checked) mixes two sets of colours no one reads.
  g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
  systest::startWithTeacherData(app);
  if (::testing::Test::HasFatalFailure())
    return;
  systest::ScriptResult scheme =
      app.evaluate("return [matchMedia('(prefers-color-scheme: dark)').matches, "
                   "matchMedia('(prefers-reduced-motion: reduce)').matches];");
  ASSERT_TRUE(scheme.ok) << scheme.error;
  ASSERT_EQ(scheme.value, nlohmann::json::array({dark, true}))
      << "the page is not in the mode asked for";

  systest::ScriptResult injected = app.evaluate(axe + "\n;" + HELPERS + "\nreturn typeof axe.run;");
  ASSERT_TRUE(injected.ok) << injected.error;
  ASSERT_EQ(injected.value, "function");

  systest::ScriptResult walked = app.evaluate(WALK, 120);
  ASSERT_TRUE(walked.ok) << walked.error;
  std::string list;
  for (const auto& line : walked.value)
    list += "\n  " + line.get<std::string>();
  EXPECT_TRUE(walked.value.empty()) << walked.value.size() << " violations:" << list;
}

// Timers run a hundred times faster, so the toast's seconds pass in a test.
const char* KEYBOARD = R"JS(
const realTimeout = window.setTimeout.bind(window);
window.setTimeout = (f, ms = 0, ...rest) => realTimeout(f, ms / 100, ...rest);
const wait = (ms) => new Promise((ok) => realTimeout(ok, ms));
const seen = {};
const tabbable = () => [...document.querySelectorAll('button, input, select, textarea, a[href], summary, [tabindex]')]
  .filter((el) => el.tabIndex >= 0 && !el.disabled && el.getClientRects().length && getComputedStyle(el).visibility === 'visible');
location.hash = '#assignments';
await wait(100);
document.querySelector('[data-key^=del-]').focus();
document.querySelector('[data-key^=del-]').click();
await wait(100);
document.querySelector('dialog[open] .btn.danger').click();
await wait(100);
const toast = document.getElementById('toast');
const undo = toast.querySelector('button');
seen.offered = !!undo;
// Focus is at the view's heading; one Shift+Tab back is the undo.
const heading = document.querySelector('#main h1');
seen.atHeading = document.activeElement === heading;
const before = tabbable().filter((el) => el.compareDocumentPosition(heading) & Node.DOCUMENT_POSITION_FOLLOWING);
seen.backIsUndo = before.at(-1) === undo;
// Focused, it stays past its time; left, it goes, button and all.
undo.focus();
await wait(300);
seen.staysWhileFocused = toast.classList.contains('show') && toast.contains(undo);
heading.focus();
// Its fade is the style's, in real time: looked at until it is over, or 5 s.
const gone = () => [!toast.querySelector('button'), getComputedStyle(toast).visibility, toast.textContent];
for (let i = 0; i < 50 && JSON.stringify(gone()) !== JSON.stringify([true, 'hidden', '']); i++) await wait(100);
seen.goneAfter = gone();
// Pressed, it undoes and says so; focus goes back, not to the page's body.
const rows = document.querySelectorAll('[data-key^=del-]').length;
document.querySelector('[data-key^=del-]').focus();
document.querySelector('[data-key^=del-]').click();
await wait(100);
document.querySelector('dialog[open] .btn.danger').click();
await wait(100);
toast.querySelector('button').focus();
toast.querySelector('button').click();
seen.said = toast.textContent;
await wait(100);
seen.undone = document.querySelectorAll('[data-key^=del-]').length === rows;
seen.focusAfterUndo = document.activeElement !== document.body;
// A wrong value in the record dialog: focus stays where the teacher was.
document.querySelector('[data-key^=rec-]').click();
await wait(100);
const count = document.getElementById('rp-count');
count.focus();
count.value = '-3';
document.querySelector('dialog[open] .btn.primary').click();
await wait(100);
seen.recordFocus = document.activeElement.id;
seen.recordDescribed = count.getAttribute('aria-describedby');
for (const d of document.querySelectorAll('dialog')) { d.close(); d.remove(); }
// The calendar export keeps focus on its button.
location.hash = '#plan';
await wait(100);
const exportButton = [...document.querySelectorAll('#main button')].find((b) => b.textContent.startsWith('导出日历'));
exportButton.focus();
exportButton.click();
await wait(300);
seen.exportFocus = document.activeElement.textContent.startsWith('导出日历') ? 'kept' : document.activeElement.tagName;
// No invisible tab stop on 设置.
location.hash = '#settings';
await wait(100);
seen.fileInputTabbable = tabbable().some((el) => el.type === 'file');
window.setTimeout = realTimeout;
return seen;
)JS";

TEST(Accessibility, UndoIsOneKeyAwayAndFocusNeverFallsToTheBody) {
  systest::SystemApp app;
  systest::startWithTeacherData(app);
  if (::testing::Test::HasFatalFailure())
    return;
  systest::ScriptResult r = app.evaluate(KEYBOARD, 60);
  ASSERT_TRUE(r.ok) << r.error;
  const nlohmann::json& seen = r.value;
  EXPECT_EQ(seen["offered"], true);
  EXPECT_EQ(seen["atHeading"], true);
  EXPECT_EQ(seen["backIsUndo"], true) << "Shift+Tab from the heading does not reach 撤销";
  EXPECT_EQ(seen["staysWhileFocused"], true);
  EXPECT_EQ(seen["goneAfter"], nlohmann::json::array({true, "hidden", ""}))
      << "the hidden toast can still be reached";
  EXPECT_EQ(seen["undone"], true);
  EXPECT_NE(seen["said"].get<std::string>().find("已撤销"), std::string::npos) << seen["said"];
  EXPECT_EQ(seen["focusAfterUndo"], true);
  EXPECT_EQ(seen["recordFocus"], "rp-count");
  EXPECT_EQ(seen["recordDescribed"], "rp-count-hint rp-count-error");
  EXPECT_EQ(seen["exportFocus"], "kept");
  EXPECT_EQ(seen["fileInputTabbable"], false);
}

TEST(Accessibility, EveryViewAndDialogPassesAxeInLightMode) {
  auditEverything(false);
}

TEST(Accessibility, EveryViewAndDialogPassesAxeInDarkMode) {
  auditEverything(true);
}

} // namespace
