#include "bridge/LaunchHandler.h"

#include "identity/identity.h"
#include "system/Autostart.h"
#include "system/Install.h"
#include "system/OwnAddress.h"
#include "system/UserTexts.h"

#include <cstdint>
#include <cstdlib>

using nlohmann::json;

namespace {

// Counts brackets outside strings. Exact for valid JSON, which is all that
// matters: text that is not valid fails the parse anyway.
bool nestingWithin(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit)
        return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

bool requestsOn(const json& command) {
  auto params = command.find("params");
  if (params == command.end() || !params->is_object())
    return false;
  auto on = params->find("on");
  if (on == params->end())
    return false;
  if (on->is_boolean())
    return on->get<bool>();
  if (on->is_number_unsigned())
    return on->get<std::uint64_t>() == 1;
  if (on->is_number_integer())
    return on->get<std::int64_t>() == 1;
  if (on->is_number_float())
    return on->get<double>() == 1.0;
  return false;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

} // namespace

std::optional<LaunchCommand> launchCommandFromText(std::string_view text) {
  // JSON text never holds a raw NUL (inside strings it is escaped), and the
  // parser would take one for the end of the text, answering a command that
  // has more after it.
  if (text.find('\0') != std::string_view::npos || !nestingWithin(text, MAX_COMMAND_NESTING))
    return std::nullopt;
  // No exceptions: a parse error, trailing text, bytes that are not UTF-8 and
  // unpaired surrogate escapes all give a discarded value.
  json parsed = json::parse(text.begin(), text.end(), nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object())
    return std::nullopt;
  auto cmd = parsed.find("cmd");
  if (cmd == parsed.end() || !cmd->is_string())
    return std::nullopt;
  auto cb = parsed.find("cb");
  if (cb == parsed.end() || !cb->is_string())
    return std::nullopt;
  return LaunchCommand{cmd->get<std::string>(), cb->get<std::string>(), requestsOn(parsed)};
}

std::optional<LaunchCommand> launchCommandFromBody(const json& body) {
  if (!body.is_string())
    return std::nullopt;
  return launchCommandFromText(body.get_ref<const std::string&>());
}

json runLaunchCommand(const LaunchCommand& command, const platform::Environment& env) {
  if (command.cmd == "status") {
    json reply = json::object();
    reply["kind"] = env.kind;
    reply["installed"] = isInstalledInApplications(env);
    reply["autostart"] = hlvnAutostartEnabled(env);
    reply["appPath"] = env.bundlePath.string();
    return reply;
  }
  if (command.cmd == "autostart") {
    platform::Result<AutostartChange> change = changeAutostart(env, command.on);
    bool ok = change && *change == AutostartChange::Done;
    json reply{{"ok", ok}, {"autostart", command.on && ok}};
    // A failed step is told as "ok" false alone, as the page has always been
    // told; only the two refusals the user can act on carry words.
    if (change && *change == AutostartChange::Translocated)
      reply["error"] = TRANSLOCATED_AUTOSTART_ERROR;
    else if (change && *change == AutostartChange::NotAllowed)
      reply["error"] = AUTOSTART_NOT_ALLOWED_ERROR;
    return reply;
  }
  if (command.cmd == "install") {
    InstallResult result = hlvnInstallToApplications(env);
    json reply{{"ok", result.ok}};
    if (result.error)
      reply["error"] = *result.error;
    if (result.ok)
      reply["installed"] = true;
    return reply;
  }
  return json{{"ok", false}, {"error", "unknown cmd"}};
}

std::string scriptSafeJson(const json& value) {
  std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
  // Both can only stand inside strings, where an escape means the same.
  replaceAll(text, "\xE2\x80\xA8", "\\u2028");
  replaceAll(text, "\xE2\x80\xA9", "\\u2029");
  return text;
}

std::string launchReplyScript(std::string_view token, const json& reply) {
  std::string script = "window.__hlvnApply && window.__hlvnApply(";
  script += token;
  script += ", ";
  script += scriptSafeJson(reply);
  script += ");";
  return script;
}

LaunchHandler::LaunchHandler(platform::MainQueue& queue, const platform::Environment& env)
    : ChannelHandler(queue), env_(env) {}

bool showsAppPage(const std::weak_ptr<platform::WebView>& view) {
  std::shared_ptr<platform::WebView> shown = view.lock();
  return shown && isOwnAddress(shown->currentURL());
}

void replyInAppPage(const std::weak_ptr<platform::WebView>& view, const std::string& script) {
  if (showsAppPage(view))
    view.lock()->evaluateJavaScript(script);
}

void LaunchHandler::act(LaunchCommand command) {
  if (!showsAppPage(webView))
    return;
  json result = runLaunchCommand(command, env_);
  later([script = launchReplyScript(command.cb, result)](LaunchHandler& handler) {
    replyInAppPage(handler.webView, script);
  });
}
