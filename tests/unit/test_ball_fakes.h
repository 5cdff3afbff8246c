#pragma once

// Recording stand-ins for the platform pieces the ball and the badge bridge
// talk to.

#include "platform/platform.h"
#include "support/Fakes.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fakes {

struct CanvasOp {
  enum Kind { FillRect, FillOval, RoundedRect, Gradient, DrawText } kind;
  platform::Rect rect;
  platform::Color color;
  std::vector<platform::GradientStop> stops;
  double angle = 0;
  std::string text;
  platform::Font font;
  std::optional<platform::Color> textColor;
  platform::Point origin;
  double radius = 0;
};

class RecordingCanvas : public platform::Canvas {
public:
  std::vector<CanvasOp> ops;
  bool gradientFails = false;
  // Measured sizes by text; anything else measures by `metrics` when given,
  // else as 10 by 10.
  std::map<std::string, platform::Size> sizes;
  std::function<platform::Size(const std::string&, const platform::Font&)> metrics;

  void fillRect(const platform::Rect& rect, const platform::Color& color) override {
    ops.push_back({CanvasOp::FillRect, rect, color, {}, 0, {}, {}, {}, {}});
  }
  void fillOval(const platform::Rect& rect, const platform::Color& color) override {
    ops.push_back({CanvasOp::FillOval, rect, color, {}, 0, {}, {}, {}, {}});
  }
  void fillRoundedRect(const platform::Rect& rect, double radius,
                       const platform::Color& color) override {
    CanvasOp op{CanvasOp::RoundedRect, rect, color, {}, 0, {}, {}, {}, {}};
    op.radius = radius;
    ops.push_back(op);
  }
  bool fillOvalWithGradient(const platform::Rect& rect,
                            const std::vector<platform::GradientStop>& stops,
                            double angle) override {
    if (gradientFails)
      return false;
    ops.push_back({CanvasOp::Gradient, rect, {}, stops, angle, {}, {}, {}, {}});
    return true;
  }
  platform::Size measureText(const std::string& text, const platform::Font& font) override {
    auto it = sizes.find(text);
    if (it != sizes.end())
      return it->second;
    return metrics ? metrics(text, font) : platform::Size{10, 10};
  }
  void drawText(const std::string& text, const platform::Font& font,
                std::optional<platform::Color> color, platform::Point origin) override {
    ops.push_back({CanvasOp::DrawText, {}, {}, {}, 0, text, font, color, origin});
  }
};

class FakeView : public platform::View {
public:
  platform::ViewDelegate* delegate = nullptr;
  int redraws = 0;
  int menusShown = 0;
  std::vector<platform::MenuItem> menuItems;
  std::function<void(const std::string&)> menuChosen;

  void setDelegate(platform::ViewDelegate* d) override { delegate = d; }
  void setNeedsDisplay() override { ++redraws; }
  void popUpContextMenu(const std::vector<platform::MenuItem>& items,
                        std::function<void(const std::string&)> chosen) override {
    ++menusShown;
    menuItems = items;
    menuChosen = std::move(chosen);
  }
};

class FakePanel : public platform::Panel {
public:
  platform::Point origin;
  int moves = 0;

  void setContentView(platform::View&) override {}
  platform::Point frameOrigin() override { return origin; }
  void setFrameOrigin(platform::Point p) override {
    origin = p;
    ++moves;
  }
  void raise() override {}
  void setFloating(bool) override {}
};

class FakeScreens : public platform::Screens {
public:
  std::optional<platform::Rect> main;
  std::vector<platform::Rect> frames;
  platform::Point pointer;

  std::optional<platform::Rect> mainVisibleFrame() override { return main; }
  std::vector<platform::Rect> visibleFrames() override { return frames; }
  platform::Point pointerLocation() override { return pointer; }
  void setChangeCallback(std::function<void()> callback) override { changed = std::move(callback); }
  std::function<void()> changed;
};

// Holds posted work until the test runs it, in order.
class FakeMainQueue : public platform::MainQueue {
public:
  std::deque<std::function<void()>> pending;

  // Work posted with a delay, held until the test lets the time pass.
  std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> delayed;

  void post(std::function<void()> work) override { pending.push_back(std::move(work)); }
  void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
    delayed.emplace_back(delay, std::move(work));
  }
  // Posts the delayed work as if its time had come.
  void passTime() {
    auto due = std::move(delayed);
    delayed.clear();
    for (auto& [delay, work] : due)
      pending.push_back(std::move(work));
  }
  void runAll() {
    while (!pending.empty()) {
      auto work = std::move(pending.front());
      pending.pop_front();
      work();
    }
  }
};

} // namespace fakes
