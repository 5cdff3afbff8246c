#pragma once

// Recording stand-ins for the user defaults, the web view and the
// application object, shared by the unit tests, the system tests and the
// benchmarks.

#include "platform/platform.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fakes {

// The user defaults in memory, with a count of the writes.
class MemoryDefaults final : public platform::Defaults {
public:
  std::map<std::string, std::string> values;
  int writes = 0;

  std::optional<std::string> stringForKey(const std::string& key) override {
    auto it = values.find(key);
    if (it == values.end())
      return std::nullopt;
    return it->second;
  }
  void setString(const std::string& key, const std::string& value) override {
    values[key] = value;
    ++writes;
  }
};

// A web view that shows nothing and records what it was asked.
class RecordingWebView final : public platform::WebView {
public:
  // What currentURL() answers: where the page is.
  std::string url = "halvane://local/index.html";
  std::vector<std::string> loads;
  int reloads = 0;
  std::vector<std::string> scripts;
  std::vector<double> zooms;

  void loadRequest(const std::string& address, double) override { loads.push_back(address); }
  void reload() override { ++reloads; }
  void evaluateJavaScript(const std::string& script) override { scripts.push_back(script); }
  std::string currentURL() override { return url; }
  void readTitle(std::function<void(std::string)> done) override { done(""); }
  void setDelegate(platform::WebViewDelegate*) override {}
  void setAllowsBackForwardNavigationGestures(bool) override {}
  void setZoom(double factor) override { zooms.push_back(factor); }
};

// The application with the test's arguments, recording what it was asked.
// Given the real object, it passes on what the window system must do (the
// menu bar, the delegate's callbacks, activation); the process, its loop and
// its end stay the test's.
class TestApplication final : public platform::Application {
public:
  explicit TestApplication(std::vector<std::string> arguments,
                           platform::Application* real = nullptr)
      : arguments_(std::move(arguments)), real_(real) {}
  ~TestApplication() override {
    if (real_)
      real_->setDelegate(nullptr);
  }
  TestApplication(const TestApplication&) = delete;
  TestApplication& operator=(const TestApplication&) = delete;

  std::vector<std::string> arguments() override { return arguments_; }
  void setDelegate(platform::ApplicationDelegate* delegate) override {
    if (real_)
      real_->setDelegate(delegate);
    delegate_ = delegate;
  }
  bool registerFirstCopy(std::chrono::milliseconds) override { return firstCopy; }
  int run() override {
    ++runs;
    return loop ? loop() : 0;
  }
  void showInAppSwitcher() override {
    ++appSwitcherCalls;
    if (real_)
      real_->showInAppSwitcher();
  }
  void activate() override {
    ++activateCalls;
    if (real_)
      real_->activate();
  }
  // As the real objects do, the delegate lets it happen; only recorded.
  void terminate() override {
    if (!delegate_) {
      ++terminateCalls;
      return;
    }
    delegate_->prepareToTerminate([this] { ++terminateCalls; });
  }
  void setMainMenu(const platform::MenuBar& menu) override {
    mainMenu = menu;
    if (real_)
      real_->setMainMenu(menu);
  }
  void setIconFile(const std::filesystem::path& file) override {
    iconFile = file;
    if (real_)
      real_->setIconFile(file);
  }

  // What registerFirstCopy answers.
  bool firstCopy = true;
  // What run() does, and its status; none returns 0 at once.
  std::function<int()> loop;
  int runs = 0;
  int appSwitcherCalls = 0;
  int activateCalls = 0;
  int terminateCalls = 0;
  std::filesystem::path iconFile;
  platform::MenuBar mainMenu;

private:
  std::vector<std::string> arguments_;
  platform::Application* real_;
  platform::ApplicationDelegate* delegate_ = nullptr;
};

} // namespace fakes
