#pragma once

// The page's four channels to the native side, in one table: each one's
// name, which documents may post on it, and what reading one of its bodies
// may cost. Where a channel is registered, gated and read comes from here;
// what a message means is its handler's affair.

#include "identity/identity.h"
#include "platform/platform.h"
#include "system/DataFolder.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The save and badge channels' names; the launch and data channels' names are
// written only in the table below.
inline constexpr std::string_view SAVE_HANDLER = "hlvnSave";
inline constexpr std::string_view BADGE_HANDLER = "hlvnBadge";

// Which documents may post on a channel.
enum class ChannelSenders {
  // Only the top frame, while its document is one of the app's own (its
  // scheme is APP_SCHEME). No other frame has the channel at all. A frame of
  // the same origin can still script its parent and so reach the parent's
  // channels; that is the same origin's own power, not a way around the gate.
  AppTopFrame,
};

struct ChannelEntry {
  std::string_view name;
  ChannelSenders senders;
  platform::BodyLimits limits;
};

// A save's Base64 text: four characters for every three bytes, so 20 MB for
// the largest backup (MAX_DATA_BYTES), with room to spare. The page's save script asks no
// more of it and tells the user instead (SAVE_TOO_LARGE).
inline constexpr std::size_t MAX_SAVE_BASE64_BYTES = std::size_t(24) << 20;
static_assert(MAX_SAVE_BASE64_BYTES >= (MAX_DATA_BYTES + 2) / 3 * 4);
// The Base64 text and a file name; a save message has two members.
inline constexpr platform::BodyLimits SAVE_BODY_LIMITS{
    MAX_SAVE_BASE64_BYTES + (std::size_t(64) << 10), 16, 4};
// A command is a short JSON text and a count an object with one number: a
// few kilobytes and members are all either takes. Anything larger is refused
// before it is read, so it cannot hold the main thread.
inline constexpr platform::BodyLimits COMMAND_BODY_LIMITS{std::size_t(64) << 10, 16, 4};
inline constexpr platform::BodyLimits COUNT_BODY_LIMITS{std::size_t(4) << 10, 16, 4};
// The teacher's data as one text, and a command's few short members.
inline constexpr platform::BodyLimits DATA_BODY_LIMITS{MAX_DATA_BYTES + (std::size_t(64) << 10), 16,
                                                       4};

inline constexpr std::array<ChannelEntry, 4> CHANNELS{{
    {SAVE_HANDLER, ChannelSenders::AppTopFrame, SAVE_BODY_LIMITS},
    {BADGE_HANDLER, ChannelSenders::AppTopFrame, COUNT_BODY_LIMITS},
    {"hlvnLaunch", ChannelSenders::AppTopFrame, COMMAND_BODY_LIMITS},
    {"hlvnData", ChannelSenders::AppTopFrame, DATA_BODY_LIMITS},
}};

inline constexpr const ChannelEntry& SAVE_CHANNEL = CHANNELS[0];
inline constexpr const ChannelEntry& BADGE_CHANNEL = CHANNELS[1];
inline constexpr const ChannelEntry& LAUNCH_CHANNEL = CHANNELS[2];
inline constexpr const ChannelEntry& DATA_CHANNEL = CHANNELS[3];

// The gate's two scripts, embedded from bridge/gate_shim.js and
// bridge/gate_forwarder.js by the build: function expressions of (channels,
// each {name, limits: {stringBytes, members, nesting}}; scheme; event prefix).
extern const std::string_view GATE_SHIM_JS;
extern const std::string_view GATE_FORWARDER_JS;

// The isolated script world that holds the gated channels' handlers.
inline constexpr std::string_view GATE_WORLD = "hlvnGate";

// Whether the message comes from a document the channel admits.
bool senderAllowed(const ChannelEntry& channel, const platform::ScriptMessage& message);

// The user scripts that give the admitted documents their channels: to be
// injected before any other script, so the page's own scripts and the save
// script find the channels in place.
std::vector<platform::UserScript> channelGateScripts();

// What a channel of the table hands its admitted messages to.
class ChannelReceiver {
public:
  virtual ~ChannelReceiver() = default;
  // The entry of the channel it receives.
  virtual const ChannelEntry& channel() const = 0;
  virtual void didReceiveScriptMessage(const platform::ScriptMessage& message) = 0;
};

// The receiver's channel as the web view registers it: in the gate's world,
// read within its limits, and handed to the receiver only when its sender is
// admitted. The registration keeps the receiver alive.
platform::MessageChannel registeredChannel(std::shared_ptr<ChannelReceiver> receiver);

// Every channel of the table, in its order, each registered with the one
// receiver of its name. A channel with no receiver or with two is the
// owner's programming error, not something a page can cause: it ends the
// process.
std::vector<platform::MessageChannel>
registeredChannels(const std::vector<std::shared_ptr<ChannelReceiver>>& receivers);
