#include "bridge/DataHandler.h"

#include "bridge/LaunchHandler.h"

#include <utility>

using nlohmann::json;

namespace {

std::optional<std::string> stringMember(const json& body, const char* key) {
  auto found = body.find(key);
  if (found == body.end() || !found->is_string())
    return std::nullopt;
  return found->get<std::string>();
}

const char* reasonWord(CopyReason reason) {
  switch (reason) {
  case CopyReason::Daily:
    return "daily";
  case CopyReason::BeforeImport:
    return "import";
  case CopyReason::BeforeRestore:
    return "restore";
  case CopyReason::BeforeUpgrade:
    return "upgrade";
  }
  return "daily";
}

json failed(const platform::Failure& failure) {
  return {{"ok", false}, {"error", failure.detail}};
}

template <class T> json replyFor(const platform::Result<T>& result, json reply) {
  return result ? reply : failed(result.failure());
}

} // namespace

std::optional<DataCommand> dataCommandFromBody(const json& body) {
  if (!body.is_object())
    return std::nullopt;
  std::optional<std::string> cmd = stringMember(body, "cmd");
  std::optional<std::string> cb = stringMember(body, "cb");
  if (!cmd || !cb)
    return std::nullopt;
  return DataCommand{std::move(*cmd), std::move(*cb), stringMember(body, "text"),
                     stringMember(body, "name"), stringMember(body, "reason")};
}

json runDataCommand(const DataCommand& command, DataFolder& folder,
                    platform::Workspace& workspace) {
  const std::string& cmd = command.cmd;
  if (cmd == "read") {
    platform::Result<DataFolder::Read> read = folder.read();
    if (!read)
      return failed(read.failure());
    json reply{{"ok", true}, {"text", read->text ? json(*read->text) : json(nullptr)}};
    if (read->setAside)
      reply["setAside"] = *read->setAside;
    return reply;
  }
  if (cmd == "write" && command.text)
    return replyFor(folder.write(*command.text), {{"ok", true}});
  if (cmd == "setAside") {
    platform::Result<std::string> aside = folder.setAside();
    return aside ? json{{"ok", true}, {"name", *aside}} : failed(aside.failure());
  }
  if (cmd == "copies") {
    json list = json::array();
    for (const DataCopy& copy : folder.copies())
      list.push_back({{"name", copy.name},
                      {"reason", reasonWord(copy.reason)},
                      {"date", copy.date},
                      {"time", copy.time}});
    return {{"ok", true}, {"copies", std::move(list)}};
  }
  if ((cmd == "readCopy" || cmd == "restore") && command.name) {
    platform::Result<std::string> text = cmd == "restore"
                                             ? folder.restore(*command.name, command.text)
                                             : folder.readCopy(*command.name);
    return text ? json{{"ok", true}, {"text", *text}} : failed(text.failure());
  }
  if (cmd == "keep" && (command.reason == "import" || command.reason == "upgrade"))
    return replyFor(folder.keepCopy(command.reason == "import" ? CopyReason::BeforeImport
                                                               : CopyReason::BeforeUpgrade,
                                    command.text),
                    {{"ok", true}});
  if (cmd == "reveal") {
    std::optional<std::filesystem::path> path =
        command.name ? folder.copyPath(*command.name) : std::optional(folder.file());
    if (!path)
      return {{"ok", false}, {"error", "unknown copy"}};
    workspace.revealFile(*path);
    return {{"ok", true}};
  }
  return {{"ok", false}, {"error", "unknown cmd"}};
}

DataHandler::DataHandler(platform::MainQueue& queue, platform::Workspace& workspace,
                         std::filesystem::path folder)
    : ChannelHandler(queue), workspace_(workspace), folder_(std::move(folder)) {}

void DataHandler::act(DataCommand command) {
  if (!showsAppPage(webView))
    return;
  json result = runDataCommand(command, folder_, workspace_);
  later([script = launchReplyScript(command.cb, result)](DataHandler& handler) {
    replyInAppPage(handler.webView, script);
  });
}
