#include "bridge/SaveHandler.h"

#include "bridge/Base64.h"
#include "system/AtomicFile.h"

#include <cstdlib>
#include <utility>

std::optional<SaveRequest> saveRequestFromBody(const nlohmann::json& body) {
  if (!body.is_object())
    return std::nullopt;
  auto name = body.find("name");
  auto data = body.find("data");
  if (name == body.end() || !name->is_string() || data == body.end() || !data->is_string())
    return std::nullopt;
  std::optional<std::string> bytes = decodeBase64(data->get_ref<const std::string&>());
  if (!bytes)
    return std::nullopt;
  return SaveRequest{cleanFileName(name->get_ref<const std::string&>()), std::move(*bytes)};
}

void runSaveStep(platform::Dialogs& dialogs, platform::Workspace& workspace,
                 const platform::Environment& env, const SaveRequest& request) {
  std::optional<std::filesystem::path> path = chooseSaveDestination(dialogs, env, request.name);
  if (!path || path->empty())
    return;
  FileResult written = writeFileAtomically(*path, request.bytes);
  if (!written.ok) {
    showFailureAlert(dialogs, written.error);
    return;
  }
  workspace.revealFile(*path);
}

SaveHandler::SaveHandler(platform::MainQueue& queue, platform::Dialogs& dialogs,
                         platform::Workspace& workspace, const platform::Environment& env)
    : ChannelHandler(queue), dialogs_(dialogs), workspace_(workspace), env_(env) {}

std::optional<SaveRequest> SaveHandler::read(const nlohmann::json& body) const {
  if (saves_.size() > MAX_WAITING_SAVES)
    return std::nullopt;
  return saveRequestFromBody(body);
}

void SaveHandler::act(SaveRequest request) {
  saves_.push_back(std::move(request));
  if (saves_.size() == 1)
    later([](SaveHandler& handler) { handler.saveFirst(); });
}

void SaveHandler::saveFirst() {
  // Saves that arrive while the panel is open (its modal loop runs the
  // engine) only join the line; references into a deque survive that.
  runSaveStep(dialogs_, workspace_, env_, saves_.front());
  saves_.pop_front();
  if (!saves_.empty())
    later([](SaveHandler& handler) { handler.saveFirst(); });
}
