#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The floating ball's face: a pink disc with a rabbit and, for a positive
// count, a white badge with the number. A click asks for the main window, a
// drag moves the ball's window and then asks for the position to be kept, a
// right-button release offers open and quit.
class BallView : public platform::ViewDelegate {
public:
  // The pointer is read from the screens on every mouse call: it is global,
  // so moving the window under it does not disturb the drag arithmetic.
  explicit BallView(platform::Screens& screens);

  // Non-owning. Without a window the ball still tells clicks from drags but
  // moves nothing.
  void attach(platform::View* view, platform::Panel* window);

  int64_t count() const { return count_; }
  // Redraws only when the value changes, so a page repeating its count costs
  // no drawing.
  void setCount(int64_t value);

  std::function<void()> onOpen;
  std::function<void()> onQuit;
  std::function<void()> onDragEnd;

  void doOpen();
  void doQuit();

  // The context menu, built afresh for every right-button release.
  static std::vector<platform::MenuItem> contextMenuItems();

  void draw(platform::Canvas& canvas, const platform::Rect& bounds) override;
  void mouseDown() override;
  void mouseDragged() override;
  void mouseUp() override;
  void rightMouseUp() override;

private:
  void performMenuAction(const std::string& action);

  platform::Screens& screens_;
  platform::View* view_ = nullptr;
  platform::Panel* window_ = nullptr;
  int64_t count_ = 0;
  platform::Point startPt_;
  platform::Point startOrigin_;
  bool moved_ = false;
  // A drag or release only acts on the gesture whose press this view saw;
  // otherwise a release reaching us alone would replay the last gesture's
  // outcome, and a drag would jump the window to the last press's origin.
  bool pressed_ = false;
};
