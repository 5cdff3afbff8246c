#include "web/PageRecovery.h"

#include "support/ScriptedDialogs.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::AlertButton;

} // namespace

TEST(PageRecovery, LoadsTheAppsOwnPageAgainAndAnyOtherAsTheStartPage) {
  for (std::string own : {"halvane://local/index.html", "halvane://local/index.html#week",
                          "halvane://local/other.html?x=1", "HALVANE://local/a.html"})
    EXPECT_EQ(addressAfterPageProcessEnd(own), own);
  for (std::string other :
       {"", "about:blank", "https://example.com/", "file:///etc/passwd", "data:text/html,x",
        "halvanex://local/index.html", "blob:halvane://local/1", "halvane", "x:halvane://"})
    EXPECT_EQ(addressAfterPageProcessEnd(other), "halvane://local/index.html") << other;
}

TEST(PageRecovery, ReloadsAtMostThreeTimesInSixtySecondsThenAsks) {
  std::chrono::steady_clock::time_point now{};
  fakes::ScriptedDialogs dialogs;
  int quits = 0;
  auto shared = std::make_shared<fakes::RecordingWebView>();
  fakes::RecordingWebView& view = *shared;
  view.url = "halvane://local/index.html#today";
  fakes::FakeMainQueue queue;
  auto line = std::make_shared<PanelLine>(queue);
  auto recovery = std::make_shared<PageRecovery>(
      dialogs, line, [&] { ++quits; }, [&] { return now; });
  // The question waits its turn in the panel line.
  auto ended = [&] {
    recovery->processEnded(shared, view.url);
    queue.runAll();
  };

  // Three automatic reloads of the page it was showing, no question asked.
  for (int i = 0; i < 3; ++i) {
    ended();
    now += 10s;
  }
  EXPECT_EQ(view.loads, std::vector<std::string>(3, view.url));
  EXPECT_TRUE(dialogs.buttonAlerts.empty());

  // The fourth within 60 s of the first asks, and nothing loads before the
  // answer.
  std::size_t loadsWhenAsked = 99;
  dialogs.onButtonAlert = [&](const fakes::ButtonAlert&) {
    loadsWhenAsked = view.loads.size();
    // Another end reported while the alert is up changes nothing.
    recovery->processEnded(shared, view.url);
  };
  dialogs.buttonAnswers = {AlertButton::First};
  now += 29s; // 59 s after the first
  ended();
  ASSERT_EQ(dialogs.buttonAlerts.size(), 1u);
  EXPECT_EQ(dialogs.buttonAlerts[0],
            (fakes::ButtonAlert{"页面意外停止", "Dovrelist 的页面反复意外停止。", "重新加载",
                                "退出Dovrelist"}));
  EXPECT_EQ(loadsWhenAsked, 3u);
  // "重新加载" reloads and starts the window afresh: three more go by.
  EXPECT_EQ(view.loads.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    now += 1s;
    ended();
  }
  EXPECT_EQ(view.loads.size(), 7u);
  EXPECT_EQ(dialogs.buttonAlerts.size(), 1u);

  // Still three within 60 s: it asks again; "退出Dovrelist" quits and loads
  // nothing.
  now += 57s; // 59 s after the reload at 60 s
  dialogs.onButtonAlert = nullptr;
  dialogs.buttonAnswers = {AlertButton::Second};
  ended();
  EXPECT_EQ(dialogs.buttonAlerts.size(), 2u);
  EXPECT_EQ(quits, 1);
  EXPECT_EQ(view.loads.size(), 7u);

  // The window slides: a reload 60 s old no longer counts. A page that is
  // not the app's own comes back as the start page.
  now += 1s;
  view.url = "https://example.com/";
  ended();
  EXPECT_EQ(dialogs.buttonAlerts.size(), 2u);
  ASSERT_EQ(view.loads.size(), 8u);
  EXPECT_EQ(view.loads.back(), "halvane://local/index.html");
  EXPECT_EQ(view.reloads, 0);
}

TEST(PageRecovery, TheQuestionWaitsForAPanelThatIsUpWhileReloadsDoNot) {
  fakes::ScriptedDialogs dialogs;
  auto view = std::make_shared<fakes::RecordingWebView>();
  fakes::FakeMainQueue queue;
  auto line = std::make_shared<PanelLine>(queue);
  auto recovery = std::make_shared<PageRecovery>(dialogs, line, [] {});
  // A panel is up, and its loop runs the main queue while the page dies four
  // times: three reloads at once, the question only once the panel is gone.
  std::size_t loadsWhileUp = 0, questionsWhileUp = 99;
  line->join([&] {
    for (int i = 0; i < 4; ++i)
      recovery->processEnded(view, "halvane://local/index.html");
    queue.runAll();
    loadsWhileUp = view->loads.size();
    questionsWhileUp = dialogs.buttonAlerts.size();
  });
  queue.runAll();
  EXPECT_EQ(loadsWhileUp, 3u);
  EXPECT_EQ(questionsWhileUp, 0u);
  EXPECT_EQ(dialogs.buttonAlerts.size(), 1u);
  EXPECT_EQ(view->loads.size(), 4u);
}
