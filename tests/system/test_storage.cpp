// The page's local storage lives in the default, persistent website data
// store: what one run of the app stores, the next run with the same home
// reads. Each run is its own process, as a restart is.

#include "ChildRuns.h"
#include "support/SystemHarness.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* CHILD_FLAG = "--storage-child=";

ChildOutcome runChild(const std::string& mode, const std::filesystem::path& home,
                      const std::string& value) {
  return runSelf({CHILD_FLAG + mode, home.string(), value});
}

TEST(LocalStorage, WhatThePageStoresIsThereAfterARestartWithTheSameHome) {
  TempDir home;
  // Different in every run, so nothing left over anywhere could pass for it.
  std::string value = "批改-" + std::to_string(::getpid()) + "-" +
                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());

  ChildOutcome write = runChild("write", home.path(), value);
  ASSERT_TRUE(write.started) << write.err;
  ASSERT_EQ(write.status, 0) << write.err;

  ChildOutcome read = runChild("read", home.path(), "");
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, nlohmann::json(value).dump());

  // The data is the home's, not the machine's: another home has none.
  TempDir otherHome;
  ChildOutcome other = runChild("read", otherHome.path(), "");
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(other.out, "null");
}

} // namespace

int runStorageChild(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]).rfind(CHILD_FLAG, 0) != 0)
    return -1;
  std::string mode = std::string(argv[1]).substr(std::string(CHILD_FLAG).size());
  systest::prepareProcess(argv[2]);
  systest::SystemApp app;
  app.addResource("index.html", "<!doctype html><meta charset=utf-8><title>Storage</title>");
  app.launch();
  if (!app.waitForLoads(1)) {
    std::fprintf(stderr, "the page did not load\n");
    return 2;
  }
  systest::ScriptResult r;
  if (mode == "write") {
    std::string literal = nlohmann::json(std::string(argv[3])).dump();
    r = app.evaluate("localStorage.setItem('probe', " + literal +
                     "); return localStorage.getItem('probe');");
    if (!r.ok || r.value != argv[3]) {
      std::fprintf(stderr, "write: %s %s\n", r.error.c_str(), r.value.dump().c_str());
      return 3;
    }
    return 0;
  }
  if (mode == "read") {
    r = app.evaluate("return localStorage.getItem('probe');");
    if (!r.ok) {
      std::fprintf(stderr, "read: %s\n", r.error.c_str());
      return 3;
    }
    std::fputs(r.value.dump().c_str(), stdout);
    return 0;
  }
  return 4;
}
