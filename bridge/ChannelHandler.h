#pragma once

#include "bridge/Channels.h"
#include "platform/platform.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

// The steps every channel's handler shares. A message without a body, or
// with one the handler does not read as a Request, is dropped without a
// word; a request is acted on at once, inside the engine's callback. What
// must not run there (a panel, a reply to the page, a count for the ball)
// goes through later(), which keeps the handler alive until it has run, or
// to an owner that posts it itself (a handler made without a queue).
//
// Handler, derived from ChannelHandler<Handler, Request>, supplies
//   static constexpr const ChannelEntry& CHANNEL;   its entry in the table
//   std::optional<Request> read(const nlohmann::json& body);
//   void act(Request request);
// and must be owned by a std::shared_ptr: not being so is a programming
// error in the owner, not an input the page could cause, and ends the
// process when the handler first posts.
template <class Handler, class Request>
class ChannelHandler : public ChannelReceiver, public std::enable_shared_from_this<Handler> {
public:
  const ChannelEntry& channel() const final { return Handler::CHANNEL; }

  void didReceiveScriptMessage(const platform::ScriptMessage& message) final {
    if (!message.body)
      return;
    Handler& handler = static_cast<Handler&>(*this);
    std::optional<Request> request = handler.read(*message.body);
    if (request)
      handler.act(std::move(*request));
  }

protected:
  ChannelHandler() = default;
  explicit ChannelHandler(platform::MainQueue& queue) : queue_(&queue) {}

  // Runs step(handler) on a later turn of the main queue, in posting order.
  template <class Step> void later(Step step) {
    std::shared_ptr<Handler> self = this->weak_from_this().lock();
    if (!self || !queue_)
      std::abort();
    queue_->post([self = std::move(self), step = std::move(step)] { step(*self); });
  }

private:
  platform::MainQueue* queue_ = nullptr;
};
