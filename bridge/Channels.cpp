#include "bridge/Channels.h"

#include "system/OwnAddress.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// The event the shim dispatches for a channel is this prefix and its name.
constexpr std::string_view GATE_EVENT_PREFIX = "__hlvnGate_";

std::string gateScript(std::string_view function) {
  nlohmann::json channels = nlohmann::json::array();
  for (const ChannelEntry& channel : CHANNELS)
    if (channel.senders == ChannelSenders::AppTopFrame)
      channels.push_back({{"name", std::string(channel.name)},
                          {"limits",
                           {{"stringBytes", channel.limits.stringBytes},
                            {"members", channel.limits.members},
                            {"nesting", channel.limits.nesting}}}});
  return std::string(function) + "(" + channels.dump() + ", " +
         nlohmann::json(std::string(APP_SCHEME)).dump() + ", " +
         nlohmann::json(std::string(GATE_EVENT_PREFIX)).dump() + ");";
}

} // namespace

bool senderAllowed(const ChannelEntry& channel, const platform::ScriptMessage& message) {
  switch (channel.senders) {
  case ChannelSenders::AppTopFrame:
    return message.fromMainFrame && isOwnScheme(message.senderScheme);
  }
  return false;
}

std::vector<platform::UserScript> channelGateScripts() {
  // Every channel of the table admits the same documents, so one pair of
  // scripts serves them all.
  std::vector<std::string> appDocuments{std::string(APP_SCHEME) + "://*/*"};
  platform::UserScript forwarder{gateScript(GATE_FORWARDER_JS), true, true, std::string(GATE_WORLD),
                                 appDocuments};
  platform::UserScript shim{gateScript(GATE_SHIM_JS), true, true, std::string(), appDocuments};
  return {forwarder, shim};
}

platform::MessageChannel registeredChannel(std::shared_ptr<ChannelReceiver> receiver) {
  const ChannelEntry channel = receiver->channel();
  return {std::string(channel.name),
          [channel, receiver = std::move(receiver)](const platform::ScriptMessage& message) {
            if (senderAllowed(channel, message))
              receiver->didReceiveScriptMessage(message);
          },
          std::string(GATE_WORLD), channel.limits};
}

std::vector<platform::MessageChannel>
registeredChannels(const std::vector<std::shared_ptr<ChannelReceiver>>& receivers) {
  std::vector<platform::MessageChannel> registered;
  for (const ChannelEntry& channel : CHANNELS) {
    auto receives = [&](const std::shared_ptr<ChannelReceiver>& receiver) {
      return receiver && receiver->channel().name == channel.name;
    };
    auto found = std::find_if(receivers.begin(), receivers.end(), receives);
    if (found == receivers.end() || std::count_if(found, receivers.end(), receives) != 1)
      std::abort();
    registered.push_back(registeredChannel(*found));
  }
  return registered;
}
