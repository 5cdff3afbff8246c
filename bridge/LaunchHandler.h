#pragma once

#include "bridge/ChannelHandler.h"
#include "platform/platform.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The page's command channel, "hlvnLaunch": JSON text naming a command
// ("status", "autostart", "install") and a callback token. The command runs
// at once; its result goes back later, on the main queue, as a call of the
// page's __hlvnApply(token, result).

// Deeper command texts are refused before anything is built from them.
inline constexpr int MAX_COMMAND_NESTING = 64;

struct LaunchCommand {
  std::string cmd;
  // JavaScript source text, pasted verbatim as the first argument.
  std::string cb;
  // The requested autostart state: on only when "params" is an object whose
  // "on" is JSON true or a number equal to 1. Only "autostart" reads it.
  bool on = false;
};

// The command in JSON text: an object (nothing else before or after it,
// valid UTF-8, no lone surrogate escapes, nesting at most
// MAX_COMMAND_NESTING) with string "cmd" and "cb". Anything else is nothing.
std::optional<LaunchCommand> launchCommandFromText(std::string_view text);

// The same for a posted body, which must be a string holding that text.
std::optional<LaunchCommand> launchCommandFromBody(const nlohmann::json& body);

// Carries the command out against the machine described by env and gives
// the reply object.
nlohmann::json runLaunchCommand(const LaunchCommand& command, const platform::Environment& env);

// Compact JSON text that is also safe inside a script: bytes that are not
// UTF-8 become U+FFFD instead of failing, and U+2028 and U+2029, which older
// JavaScript treats as line ends, are written as escapes.
std::string scriptSafeJson(const nlohmann::json& value);

// window.__hlvnApply && window.__hlvnApply(<token>, <reply>);
std::string launchReplyScript(std::string_view token, const nlohmann::json& reply);

// Whether the view's main frame shows one of the app's own pages now: only
// they may command the system or reach the teacher's data, and a channel's
// gate cannot see what the main frame shows when the message is handled.
bool showsAppPage(const std::weak_ptr<platform::WebView>& view);
// Evaluates a reply in the view if it still shows an app page (the main
// frame may have left the app's pages since the command came).
void replyInAppPage(const std::weak_ptr<platform::WebView>& view, const std::string& script);

// Receives the commands on the channel "hlvnLaunch" (its sender already
// admitted by the channel's gate) and acts only while the main frame shows
// an app page; every other message, and every malformed one, is dropped
// without a reply. A queued reply keeps its handler alive until it has run.
class LaunchHandler : public ChannelHandler<LaunchHandler, LaunchCommand> {
public:
  static constexpr const ChannelEntry& CHANNEL = LAUNCH_CHANNEL;

  LaunchHandler(platform::MainQueue& queue, const platform::Environment& env);

  // Where replies are evaluated; never kept alive by the handler.
  std::weak_ptr<platform::WebView> webView;

private:
  friend class ChannelHandler<LaunchHandler, LaunchCommand>;
  std::optional<LaunchCommand> read(const nlohmann::json& body) const {
    return launchCommandFromBody(body);
  }
  void act(LaunchCommand command);

  const platform::Environment env_;
};
