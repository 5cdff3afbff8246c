#include "support/SystemHarness.h"

#include "app/constants.h"

#include <gtest/gtest.h>

namespace {

TEST(Harness, ServesThePageFromTheTestsResourcesAndReadsItBack) {
  systest::SystemApp app;
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Harness page</title>"
                                "<p id=p>served</p>");
  app.launch();
  ASSERT_TRUE(app.waitForLoads(1));
  EXPECT_EQ(app.loadsFailed(), 0);
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);

  systest::ScriptResult r =
      app.evaluate("return [document.title, document.getElementById('p').textContent];");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.value, nlohmann::json::array({"Harness page", "served"}));

  // An exception in the page comes back as an error, not as a value.
  systest::ScriptResult thrown = app.evaluate("throw new Error('boom');");
  EXPECT_FALSE(thrown.ok);
  EXPECT_NE(thrown.error.find("boom"), std::string::npos) << thrown.error;
}

} // namespace
