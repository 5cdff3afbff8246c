// The main window over the real backend: its title follows the page, and a
// ball-only start keeps it off the screen while the page runs.

#include "support/SystemHarness.h"

#include "app/MainMenu.h"
#include "app/MainWindowFrame.h"
#include "app/constants.h"
#include "ball/BallView.h"
#include "platform/GeometryText.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::string gtkTitle(GtkWindow* window) {
  const char* title = window ? gtk_window_get_title(window) : nullptr;
  return title ? title : "";
}

std::vector<GtkWindow*> visibleToplevels() {
  std::vector<GtkWindow*> shown;
  GList* all = gtk_window_list_toplevels();
  for (GList* w = all; w; w = w->next)
    if (gtk_widget_get_visible(GTK_WIDGET(w->data)))
      shown.push_back(GTK_WINDOW(w->data));
  g_list_free(all);
  return shown;
}

// Counts the times the window reaches the screen.
void countMaps(GtkWindow* window, int* maps) {
  g_signal_connect(window, "map",
                   G_CALLBACK(+[](GtkWidget*, gpointer data) { ++*static_cast<int*>(data); }),
                   maps);
}

TEST(MainWindow, ItsTitleFollowsThePageAfterEveryNavigation) {
  systest::SystemApp app;
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Plan A</title>");
  app.addResource("untitled.html", "<!doctype html><meta charset=utf-8><p>no title</p>");
  app.addResource("scripted.html", "<!doctype html><meta charset=utf-8>"
                                   "<script>document.title = '由脚本命名';</script>");
  app.launch();
  platform::Window& window = app.mainWindow();
  EXPECT_EQ(window.title(), APP_TITLE);

  ASSERT_TRUE(systest::spinUntil([&] { return window.title() == "Plan A"; }))
      << "title now " << window.title();
  EXPECT_EQ(gtkTitle(app.mainGtkWindow()), "Plan A");

  ASSERT_TRUE(app.evaluate("location.href = 'untitled.html';").ok);
  ASSERT_TRUE(app.waitForLoads(2));
  ASSERT_TRUE(systest::spinUntil([&] { return window.title() == APP_TITLE; }))
      << "title now " << window.title();
  EXPECT_EQ(gtkTitle(app.mainGtkWindow()), APP_TITLE);

  ASSERT_TRUE(app.evaluate("location.href = 'scripted.html';").ok);
  ASSERT_TRUE(app.waitForLoads(3));
  ASSERT_TRUE(systest::spinUntil([&] { return window.title() == "由脚本命名"; }))
      << "title now " << window.title();

  // A title changed later by script waits for the next navigation.
  ASSERT_TRUE(app.evaluate("document.title = 'later';").ok);
  systest::spinFor(0.2);
  EXPECT_EQ(window.title(), "由脚本命名");
  app.delegate().reloadPage();
  ASSERT_TRUE(app.waitForLoads(4));
  EXPECT_TRUE(systest::spinUntil([&] { return window.title() == "由脚本命名"; }));
}

TEST(MainWindow, ANormalStartShowsItAndActivatesTheApp) {
  systest::SystemApp app;
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Plan</title>");
  app.launch();
  int maps = 0;
  countMaps(app.mainGtkWindow(), &maps);
  ASSERT_TRUE(app.waitForLoads(1));
  ASSERT_TRUE(systest::spinUntil([&] { return maps > 0; }));
  EXPECT_TRUE(app.mainWindow().isVisible());
  EXPECT_EQ(app.platform.app.appSwitcherCalls, 1);
  EXPECT_EQ(app.platform.app.activateCalls, 1);
  // The window and the ball, nothing else.
  EXPECT_EQ(visibleToplevels().size(), 2u);
}

TEST(MainWindow, ABallOnlyStartKeepsItHiddenWhileThePageRuns) {
  systest::SystemApp app({"Tessaloom", "--ball-only"});
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Hidden</title>"
                                "<script>window.webkit.messageHandlers.hlvnBadge.postMessage("
                                "{n: 5}); window.state = 'kept';</script>");
  app.launch();
  int maps = 0;
  countMaps(app.mainGtkWindow(), &maps);

  ASSERT_TRUE(app.waitForLoads(1));
  ASSERT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 5; }))
      << "count now " << app.delegate().ball().count();
  // The title still follows the page in the hidden window.
  ASSERT_TRUE(systest::spinUntil([&] { return app.mainWindow().title() == "Hidden"; }));
  systest::spinFor(0.3);
  EXPECT_EQ(maps, 0);
  EXPECT_FALSE(app.mainWindow().isVisible());
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(app.mainGtkWindow())));
  EXPECT_EQ(app.platform.app.appSwitcherCalls, 0);
  EXPECT_EQ(app.platform.app.activateCalls, 0);
  // Only the ball is on screen.
  std::vector<GtkWindow*> shown = visibleToplevels();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown.front(), app.mainGtkWindow());

  // Opening it later shows the same page, not a reloaded one.
  app.delegate().showMain();
  ASSERT_TRUE(systest::spinUntil([&] { return maps > 0; }));
  EXPECT_EQ(app.loadsFinished(), 1);
  systest::ScriptResult state = app.evaluate("return window.state;");
  ASSERT_TRUE(state.ok) << state.error;
  EXPECT_EQ(state.value, "kept");
  EXPECT_EQ(app.platform.app.appSwitcherCalls, 1);
  EXPECT_EQ(app.platform.app.activateCalls, 1);
}

// Each of the app's own actions in the menu bar, sent as the platform sends
// it, does its work: an action the delegate left unhandled fails here.
TEST(MainWindow, EveryOwnActionOfTheMenuBarReachesTheDelegate) {
  systest::SystemApp app;
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Plan</title>");
  app.launch();
  ASSERT_TRUE(app.waitForLoads(1));
  auto zoom = [&] { return webkit_web_view_get_zoom_level(WEBKIT_WEB_VIEW(app.webViewWidget())); };
  struct Effect {
    std::function<void()> before;
    std::function<bool()> done;
  };
  int loads = 0;
  std::map<std::string, Effect> effects{
      {"showMain",
       {[&] { app.mainWindow().hide(); }, [&] { return app.mainWindow().isVisible(); }}},
      {"reloadPage",
       {[&] { loads = app.loadsFinished(); }, [&] { return app.loadsFinished() > loads; }}},
      {"zoomIn", {[&] { app.delegate().setPageZoom(100); }, [&] { return zoom() > 1.0; }}},
      {"zoomOut", {[&] { app.delegate().setPageZoom(150); }, [&] { return zoom() < 1.5; }}},
      {"actualSize", {[&] { app.delegate().setPageZoom(150); }, [&] { return zoom() == 1.0; }}},
  };
  std::size_t sent = 0;
  for (const platform::Menu& menu : mainMenu())
    for (const platform::MenuItem& item : menu.items) {
      if (item.action.empty())
        continue;
      auto effect = effects.find(item.action);
      ASSERT_NE(effect, effects.end()) << "no effect known for " << item.action;
      effect->second.before();
      ASSERT_FALSE(effect->second.done()) << item.action;
      app.delegate().performAction(item.action);
      EXPECT_TRUE(systest::spinUntil(effect->second.done, 5)) << item.action;
      ++sent;
    }
  EXPECT_EQ(sent, effects.size());
}

TEST(MainWindow, ItOpensAtTheSavedSizeAndClosingStoresTheFrame) {
  systest::SystemApp app;
  app.platform.defaultsStore.values[WINDOW_FRAME_KEY] = "{{5, 7}, {1500, 900}}";
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Plan</title>");
  app.launch();
  int maps = 0;
  countMaps(app.mainGtkWindow(), &maps);
  ASSERT_TRUE(app.waitForLoads(1));
  ASSERT_TRUE(systest::spinUntil([&] { return maps > 0; }));
  platform::Window& window = app.mainWindow();
  ASSERT_TRUE(systest::spinUntil([&] { return window.frame().size.width == 1500; }))
      << stringFromRect(window.frame());
  EXPECT_EQ(window.frame().size.height, 900);

  // Closed as the window manager closes it: the window hides, its frame is
  // stored, and showing it again brings back the same page.
  // The toplevel also holds the menu bar; what is stored is the page's area,
  // the measure the window is opened with, so a reopen neither grows nor shrinks.
  gtk_window_resize(app.mainGtkWindow(), 1600, 700);
  ASSERT_TRUE(systest::spinUntil([&] { return window.frame().size.width == 1600; }));
  platform::Size content = window.frame().size;
  EXPECT_LT(content.height, 700);
  EXPECT_GT(content.height, 600);
  gtk_window_close(app.mainGtkWindow());
  ASSERT_TRUE(systest::spinUntil([&] { return !window.isVisible(); }));
  platform::Rect stored = rectFromString(app.platform.defaultsStore.values[WINDOW_FRAME_KEY]);
  EXPECT_EQ(stored.size, content);
  app.delegate().showMain();
  ASSERT_TRUE(systest::spinUntil([&] { return maps > 1; }));
  systest::spinFor(0.2);
  EXPECT_EQ(app.loadsFinished(), 1);
}

// Centred as AppKit's center does it: exactly across, at or a little above
// the middle vertically. A saved origin never survives.
TEST(MainWindow, ItIsCentredOnTheScreenWhateverOriginWasSaved) {
  for (const char* saved : {"", "{{5, 7}, {1500, 900}}"}) {
    SCOPED_TRACE(std::string("saved frame: ") + saved);
    systest::SystemApp app;
    if (*saved)
      app.platform.defaultsStore.values[WINDOW_FRAME_KEY] = saved;
    app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Plan</title>");
    app.launch();
    int maps = 0;
    countMaps(app.mainGtkWindow(), &maps);
    ASSERT_TRUE(systest::spinUntil([&] { return maps > 0; }));
    // The whole toplevel, menu bar included, is centred in the work area, in
    // X's top-down coordinates: exactly across, at or a little above the middle.
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor)
      monitor = gdk_display_get_monitor(display, 0);
    ASSERT_TRUE(monitor);
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    int x = 0, y = 0, w = 0, h = 0;
    gtk_window_get_position(app.mainGtkWindow(), &x, &y);
    gtk_window_get_size(app.mainGtkWindow(), &w, &h);
    EXPECT_NEAR(x + w / 2.0, area.x + area.width / 2.0, 2) << x << "," << y;
    EXPECT_LE(y + h / 2.0, area.y + area.height / 2.0 + 2) << x << "," << y;
    EXPECT_GE(y, area.y) << x << "," << y;
  }
}

} // namespace
