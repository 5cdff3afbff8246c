// The portable half of a ball redraw: BallView::draw into a canvas that only
// records the calls, as a display list would. What is left once the window
// system's drawing is taken away; the GTK half is timed by tessaloom_bench
// --mode ball-draw.

#include "ball/BallView.h"
#include "proc_tree.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

class NoScreens final : public platform::Screens {
public:
  std::optional<platform::Rect> mainVisibleFrame() override { return std::nullopt; }
  std::vector<platform::Rect> visibleFrames() override { return {}; }
  platform::Point pointerLocation() override { return {}; }
  void setChangeCallback(std::function<void()>) override {}
};

struct Op {
  int kind;
  platform::Rect rect;
  std::string text;
};

class RecordingCanvas final : public platform::Canvas {
public:
  std::vector<Op> ops;
  void fillRect(const platform::Rect& r, const platform::Color&) override {
    ops.push_back({0, r, {}});
  }
  void fillOval(const platform::Rect& r, const platform::Color&) override {
    ops.push_back({1, r, {}});
  }
  void fillRoundedRect(const platform::Rect& r, double, const platform::Color&) override {
    ops.push_back({4, r, {}});
  }
  bool fillOvalWithGradient(const platform::Rect& r, const std::vector<platform::GradientStop>&,
                            double) override {
    ops.push_back({2, r, {}});
    return true;
  }
  platform::Size measureText(const std::string& text, const platform::Font& font) override {
    return {double(text.size()) * font.pointSize * 0.6, font.pointSize * 1.2};
  }
  void drawText(const std::string& text, const platform::Font&, std::optional<platform::Color>,
                platform::Point origin) override {
    ops.push_back({3, {origin, {}}, text});
  }
};

} // namespace

int main() {
  NoScreens screens;
  BallView ball(screens);
  RecordingCanvas canvas;
  const platform::Rect bounds{{0, 0}, {66, 66}};
  constexpr int ROUNDS = 200000;
  std::size_t ops = 0;
  double t0 = bench::monotonicMs();
  for (int i = 0; i < ROUNDS; ++i) {
    ball.setCount(i % 120 + 1);
    canvas.ops.clear();
    ball.draw(canvas, bounds);
    ops += canvas.ops.size();
  }
  double ms = bench::monotonicMs() - t0;
  std::printf("ball_draw_portable_us=%.3f (%d redraws with a badge, %.1f canvas calls each)\n",
              ms * 1e3 / ROUNDS, ROUNDS, double(ops) / ROUNDS);
  return 0;
}
