#pragma once

#include "bridge/ChannelHandler.h"
#include "platform/platform.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The count the page reports for the ball's badge: an object whose "n" is a
// whole number that fits a signed 64-bit integer. Anything else is nothing.
std::optional<int64_t> countFromBody(const nlohmann::json& body);

// Receives the page's count messages on BADGE_HANDLER and hands each
// well-formed count to onCount on a later turn of the main queue, in arrival
// order. Malformed messages are dropped without a word. A posted count keeps
// its handler alive until it has been delivered.
class BadgeHandler : public ChannelHandler<BadgeHandler, int64_t> {
public:
  static constexpr const ChannelEntry& CHANNEL = BADGE_CHANNEL;

  explicit BadgeHandler(platform::MainQueue& queue);

  // Read when the count is delivered, not when it arrives.
  std::function<void(int64_t)> onCount;

private:
  friend class ChannelHandler<BadgeHandler, int64_t>;
  std::optional<int64_t> read(const nlohmann::json& body) const { return countFromBody(body); }
  void act(int64_t count);
};
