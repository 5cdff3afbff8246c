#pragma once

#include "platform/platform.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The count the page reports for the ball's badge: an object whose "n" is a
// whole number that fits a signed 64-bit integer. Anything else is nothing.
std::optional<int64_t> countFromBody(const nlohmann::json& body);

// Receives the page's count messages and hands each well-formed count to
// onCount on a later turn of the main queue, in arrival order. Malformed
// messages are dropped without a word. Must be owned by a std::shared_ptr:
// a posted count keeps its handler alive until it has been delivered.
class BadgeHandler : public std::enable_shared_from_this<BadgeHandler> {
public:
  explicit BadgeHandler(platform::MainQueue& queue);

  // Read when the count is delivered, not when it arrives.
  std::function<void(int64_t)> onCount;

  void didReceiveScriptMessage(const platform::ScriptMessage& message);

private:
  platform::MainQueue& queue_;
};
