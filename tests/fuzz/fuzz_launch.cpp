// Command texts as the page could post them, and the reply built for any
// command that is accepted. Neither may crash, throw or run out of stack, and
// a reply must always be a well-formed, script-safe call.

#include "bridge/LaunchHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

void checkScript(const std::string& token, const nlohmann::json& reply) {
  const std::string script = launchReplyScript(token, reply);
  const std::string head = "window.__hlvnApply && window.__hlvnApply(" + token + ", ";
  check(script.starts_with(head) && script.ends_with(");"));
  const std::string_view data =
      std::string_view(script).substr(head.size(), script.size() - head.size() - 2);
  check(data.find("\xE2\x80\xA8") == std::string_view::npos);
  check(data.find("\xE2\x80\xA9") == std::string_view::npos);
  nlohmann::json back = nlohmann::json::parse(data.begin(), data.end(), nullptr, false);
  check(back.is_object() && back.size() == reply.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);

  std::optional<LaunchCommand> command = launchCommandFromText(text);
  std::optional<LaunchCommand> fromBody = launchCommandFromBody(nlohmann::json(text));
  check(command.has_value() == fromBody.has_value());
  if (command) {
    // Accepted text is a JSON object with both strings, exactly as read.
    nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    check(parsed.is_object());
    check(parsed.at("cmd") == command->cmd && parsed.at("cb") == command->cb);
    checkScript(command->cb,
                nlohmann::json{{"ok", false}, {"error", command->cmd}, {"autostart", command->on}});
  }

  // Raw bytes reach replies too (a Linux path holds any bytes): never a throw.
  checkScript("1", nlohmann::json{{"appPath", text}, {"kind", "linux"}});
  return 0;
}
