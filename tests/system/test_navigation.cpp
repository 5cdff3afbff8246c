// Navigations in the real engine: neither the page nor a frame leaves for a
// file or another program's address, the main frame hands a web address to
// the system and stays, and a frame may still show a web page.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "app/constants.h"

#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <string>
#include <vector>

namespace {

using nlohmann::json;

const char* INDEX = "<!doctype html><meta charset=utf-8><title>Stays</title>"
                    "<script>window.marker = 'page'; window.reports = [];"
                    "addEventListener('message', (e) => reports.push(e.data));</script>"
                    "<iframe id=f src=frame.html></iframe>";

const char* FRAME = "<!doctype html><meta charset=utf-8><script>window.marker = 'frame';</script>";

// A web server on the loopback address whose page tells its parent it ran.
class WebServer {
public:
  WebServer() : server_(soup_server_new(nullptr, nullptr)) {
    soup_server_add_handler(
        server_, nullptr,
        [](SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer) {
          static const char body[] = "<!doctype html><script>parent.postMessage('web frame ran', "
                                     "'*');</script>";
          soup_server_message_set_status(message, 200, nullptr);
          soup_server_message_set_response(message, "text/html", SOUP_MEMORY_STATIC, body,
                                           sizeof body - 1);
        },
        nullptr, nullptr);
    soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, nullptr);
  }
  ~WebServer() { g_object_unref(server_); }
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  int port() const {
    GSList* uris = soup_server_get_uris(server_);
    int port = uris ? g_uri_get_port(static_cast<GUri*>(uris->data)) : 0;
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    return port;
  }

private:
  SoupServer* server_;
};

class Navigation : public PageTest {
protected:
  Navigation() : PageTest(INDEX) {}
  void SetUp() override {
    app.addResource("frame.html", FRAME);
    ASSERT_NO_FATAL_FAILURE(PageTest::SetUp());
    ASSERT_TRUE(app.waitForScript("document.getElementById('f').contentWindow.marker === 'frame'"));
  }

  // What the page and its frame show now; a frame that went elsewhere can no
  // longer be read.
  json shown() {
    return run(
        "const f = document.getElementById('f').contentWindow;"
        "let frame; try { frame = [f.marker, f.location.href]; } catch (e) { frame = e.name; }"
        "return [window.marker, location.href, frame];");
  }
};

TEST_F(Navigation, NoPageOrFrameLeavesForAFileOrAnotherProgram) {
  const json before = json::array({"page", HOME_URL, {"frame", "halvane://local/frame.html"}});
  ASSERT_EQ(shown(), before);
  const std::string file = "file://" + (app.root.path() / "dropped.html").string();
  writeFile(app.root.path() / "dropped.html",
            "<!doctype html><meta charset=utf-8><title>Dropped</title>");

  for (const std::string& url : {std::string("tessaloom-made-up:open?from=1"), file}) {
    const std::string target = json(url).dump();
    run("location.href = " + target + ";");
    run("document.getElementById('f').contentWindow.location.href = " + target + ";");
  }
  // A file dropped on the window asks the main frame to load its address,
  // as the app's own loads do.
  app.webView().loadRequest(file, 60);
  systest::spinFor(1.5);
  EXPECT_EQ(shown(), before);
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);
  EXPECT_EQ(app.mainWindow().title(), "Stays");
  EXPECT_EQ(app.platform.workspaceLog.openedURLs, std::vector<std::string>{});

  // A web address asked for in the main frame goes to the browser and the
  // page stays, whether it cannot be reached or answers; in a frame it loads.
  WebServer server;
  const std::string page = "http://127.0.0.1:" + std::to_string(server.port()) + "/web";
  run("location.href = 'https://example.org/plan?week=2';");
  ASSERT_TRUE(systest::spinUntil([&] { return app.platform.workspaceLog.openedURLs.size() >= 1; }));
  run("location.href = " + json(page).dump() + ";");
  ASSERT_TRUE(systest::spinUntil([&] { return app.platform.workspaceLog.openedURLs.size() >= 2; }));
  run("document.getElementById('f').contentWindow.location.href = " + json(page).dump() + ";");
  EXPECT_TRUE(app.waitForScript("reports.includes('web frame ran')"));
  systest::spinFor(0.5);
  EXPECT_EQ(app.platform.workspaceLog.openedURLs,
            (std::vector<std::string>{"https://example.org/plan?week=2", page}));
  EXPECT_EQ(run("return [window.marker, location.href];"), json::array({"page", HOME_URL}));
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);
  EXPECT_EQ(app.mainWindow().title(), "Stays");
}

} // namespace
