#include "app/AppDelegate.h"
#include "app/MainWindowFrame.h"

#include <gtest/gtest.h>

using platform::Rect;

TEST(MainWindowFrame, StoredSizesAndTheirLimits) {
  EXPECT_EQ(mainWindowContentRect(std::nullopt), (Rect{{0, 0}, {1360, 840}}));
  EXPECT_EQ(mainWindowContentRect("{{300, 200}, {1500, 900}}"), (Rect{{300, 200}, {1500, 900}}));
  EXPECT_EQ(mainWindowContentRect("{{0, 0}, {1170, 900}}").size.width, 1170);
  EXPECT_EQ(mainWindowContentRect("{{0, 0}, {1169.5, 900}}"), DEFAULT_CONTENT_RECT);
  // Heights below the minimum size are used as stored.
  EXPECT_EQ(mainWindowContentRect("{{0, 0}, {1400, 300}}"), (Rect{{0, 0}, {1400, 300}}));
  EXPECT_EQ(mainWindowContentRect("not a rectangle"), DEFAULT_CONTENT_RECT);
}

TEST(MainWindowFrame, UnusableValuesGiveTheDefault) {
  for (const char* bad :
       {"{{0, 0}, {1500, nan}}", "{{0, 0}, {1500, 0}}", "{{0, 0}, {1500, -5}}",
        "{{0, 0}, {1e300, 900}}", "{{0, 0}, {1500, 1e300}}", "{{0, 0}, {1500, 1e999}}",
        "{{1e999, 0}, {1500, 900}}", "{{0, 0}, {100001, 900}}", "{{0, 0}, {1500}}",
        "{{0, 0}, {100000, 100000}}", "{{0, 0}, {16384.5, 900}}", "{{0, 0}, {1500, 16385}}"})
    EXPECT_EQ(mainWindowContentRect(bad), DEFAULT_CONTENT_RECT) << bad;
  // The largest size a toolkit shows is still used as stored.
  EXPECT_EQ(mainWindowContentRect("{{0, 0}, {16384, 16384}}"), (Rect{{0, 0}, {16384, 16384}}));
}

TEST(MainWindowFrame, TheWindowFitsTheScreenAndTheMinimumGivesWayToASmallOne) {
  const Rect laptop{{0, 0}, {1280, 775}};
  EXPECT_EQ(fitToScreen(DEFAULT_CONTENT_RECT, laptop), (Rect{{0, 0}, {1280, 735}}));
  EXPECT_EQ(mainWindowMinSize(laptop), MAIN_WINDOW_MIN_SIZE);
  const Rect small{{0, 25}, {1024, 743}};
  EXPECT_EQ(fitToScreen(mainWindowContentRect("{{9, 9}, {1500, 900}}"), small),
            (Rect{{9, 9}, {1024, 703}}));
  EXPECT_EQ(mainWindowMinSize(small), (platform::Size{1024, 460}));
  // A size that fits, or no screen known, is kept.
  EXPECT_EQ(fitToScreen({{0, 0}, {1200, 700}}, laptop), (Rect{{0, 0}, {1200, 700}}));
  EXPECT_EQ(fitToScreen(DEFAULT_CONTENT_RECT, std::nullopt), DEFAULT_CONTENT_RECT);
  EXPECT_EQ(mainWindowMinSize(Rect{{0, 0}, {0, 0}}), MAIN_WINDOW_MIN_SIZE);
}

TEST(MainWindowFrame, ClosedFillingTheScreenItStoresTheFrameItHadBefore) {
  const Rect built{{280, 120}, {1360, 840}};
  const Rect dragged{{100, 90}, {1500, 900}};
  const Rect screen{{0, 0}, {1920, 1080}};
  StoredFrame stored(built);
  EXPECT_EQ(stored.toStore(built, false), built);
  // Full screen or maximized right from the built frame.
  EXPECT_EQ(stored.toStore(screen, true), built);
  stored.observe(dragged, false);
  // The resizes of the way into full screen are reported as filling it.
  stored.observe(screen, true);
  stored.observe(screen, true);
  EXPECT_EQ(stored.toStore(screen, true), dragged);
  // Back in a window, whatever it is then is what it stores.
  const Rect back{{110, 95}, {1500, 900}};
  stored.observe(back, false);
  EXPECT_EQ(stored.toStore(back, false), back);
  // A window the user made screen-sized by hand, never filling it by choice.
  EXPECT_EQ(stored.toStore(screen, false), screen);
}

TEST(LaunchMode, BallOnlyMatchesWholeArgumentsExactly) {
  EXPECT_TRUE(isBallOnlyLaunch({"/app/Tessaloom", "--ball-only"}));
  EXPECT_TRUE(isBallOnlyLaunch({"--ball-only"}));
  EXPECT_TRUE(isBallOnlyLaunch({"/app/Tessaloom", "-x", "--ball-only", "y"}));
  EXPECT_FALSE(isBallOnlyLaunch({"/app/Tessaloom"}));
  EXPECT_FALSE(isBallOnlyLaunch({"/app/Tessaloom", "--ball-only=1"}));
  EXPECT_FALSE(isBallOnlyLaunch({"/app/Tessaloom", "--Ball-Only"}));
  EXPECT_FALSE(isBallOnlyLaunch({"/app/Tessaloom", "--ball-onlyx", " --ball-only"}));
}
