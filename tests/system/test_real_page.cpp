// The shipped web app in the real engine, talking to the native side: its
// count reaches the ball and its "status" request is answered and shown.

#include "support/SystemHarness.h"

#include "ball/BallView.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One class, one assignment of 7 submissions at a minute each, collected
// today and due in ten days, with ten hours free every day: the plan puts
// all 7 on today, so the page's count is 7.
const char* SEED = "const {localISO, addDays} = await import('halvane://local/dates.js');"
                   "const today = localISO(new Date());"
                   "localStorage.setItem('dovrelist', JSON.stringify({"
                   "  version: 2,"
                   "  classes: [{id: 'c1', name: '三年二班', color: '#4f7cac'}],"
                   "  assignments: [{id: 'a1', title: '作文', classId: 'c1', collected: today,"
                   "    due: addDays(today, 10), submissions: 7, minutesEach: 1, graded: 0}],"
                   "  availability: {weekly: [600, 600, 600, 600, 600, 600, 600], exceptions: []},"
                   "  progress: {},"
                   "  settings: {gradeOnReturnDay: false, sessionStart: '19:00'}"
                   "}));";

TEST(RealPage, ItsCountReachesTheBallAndItsStatusRequestIsAnsweredAndShown) {
  systest::SystemApp app;
  app.addResourcesFrom(TESSALOOM_RESOURCES_DIR);
  app.launch();
  // A value no page posts: the empty data set's 0 must be seen to arrive.
  app.delegate().ball().setCount(-1);
  ASSERT_TRUE(app.waitForLoads(1));
  EXPECT_EQ(app.loadsFailed(), 0);
  ASSERT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 0; }))
      << "count now " << app.delegate().ball().count();

  systest::ScriptResult seeded = app.evaluate(SEED);
  ASSERT_TRUE(seeded.ok) << seeded.error;
  app.delegate().reloadPage();
  ASSERT_TRUE(app.waitForLoads(2));
  ASSERT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 7; }))
      << "count now " << app.delegate().ball().count();
  // The page agrees with what the ball shows.
  ASSERT_TRUE(app.waitForScript("document.documentElement.dataset.badge === '7'"));
  EXPECT_TRUE(app.waitForScript("document.getElementById('nav-today').textContent === '7'"));

  // The settings screen shows what the "status" reply said: the app folder
  // of this environment, not installed, autostart off and ready to change.
  systest::ScriptResult moved = app.evaluate("location.hash = '#settings';");
  ASSERT_TRUE(moved.ok) << moved.error;
  std::string bundle = nlohmann::json(app.platform.env.bundlePath.string()).dump();
  ASSERT_TRUE(app.waitForScript("document.getElementById('app-path')?.textContent === " + bundle));
  systest::ScriptResult shown = app.evaluate(
      "const a = document.getElementById('autostart');"
      "return [a.checked, a.disabled, !!document.querySelector('[data-key=install]')];");
  ASSERT_TRUE(shown.ok) << shown.error;
  EXPECT_EQ(shown.value, nlohmann::json::array({false, false, true}));
  // Asking changed nothing on the machine.
  EXPECT_FALSE(std::filesystem::exists(app.platform.env.configDirectory / "autostart"));
  EXPECT_TRUE(app.platform.dialogsScript.alerts.empty());
}

} // namespace
