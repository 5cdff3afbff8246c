#include "bridge/SaveHandler.h"

#include "bridge/Base64.h"
#include "system/AtomicFile.h"
#include "system/UserTexts.h"

#include <cstdlib>
#include <utility>

namespace {

constexpr std::uint64_t MEGABYTE = std::uint64_t(1) << 20;
// The largest file whose Base64 text fits a save.
constexpr std::uint64_t MAX_SAVE_FILE_BYTES = MAX_SAVE_BASE64_BYTES / 4 * 3;

std::optional<SaveRequest> tooLargeRequest(const nlohmann::json& body, const std::string& name) {
  auto size = body.find("size");
  if (size == body.end() || !size->is_number())
    return std::nullopt;
  const double bytes = size->get<double>();
  // Only a size the script would really have refused; more than any file
  // could be is no size at all.
  if (!(bytes > double(MAX_SAVE_FILE_BYTES)) || bytes > 9e15)
    return std::nullopt;
  return SaveRequest{cleanFileName(name), {}, std::uint64_t(bytes)};
}

} // namespace

std::string saveBridgeScript() {
  return std::string(SAVE_BRIDGE_JS) + "(" + std::to_string(MAX_SAVE_BASE64_BYTES) + ");";
}

std::optional<SaveRequest> saveRequestFromBody(const nlohmann::json& body) {
  if (!body.is_object())
    return std::nullopt;
  auto name = body.find("name");
  auto data = body.find("data");
  if (name == body.end() || !name->is_string())
    return std::nullopt;
  if (data == body.end())
    return tooLargeRequest(body, name->get_ref<const std::string&>());
  if (!data->is_string())
    return std::nullopt;
  std::optional<std::string> bytes = decodeBase64(data->get_ref<const std::string&>());
  if (!bytes)
    return std::nullopt;
  return SaveRequest{cleanFileName(name->get_ref<const std::string&>()), std::move(*bytes)};
}

void runSaveStep(platform::Dialogs& dialogs, platform::Workspace& workspace,
                 const platform::Environment& env, const SaveRequest& request) {
  if (request.tooLarge) {
    showFailureAlert(dialogs, saveTooLargeReason((*request.tooLarge + MEGABYTE - 1) / MEGABYTE,
                                                 MAX_SAVE_FILE_BYTES / MEGABYTE));
    return;
  }
  std::optional<std::filesystem::path> path = chooseSaveDestination(dialogs, env, request.name);
  if (!path || path->empty())
    return;
  platform::Result<void> written = writeFileAtomically(*path, request.bytes);
  if (!written) {
    showFailureAlert(dialogs, written.failure().detail);
    return;
  }
  workspace.revealFile(*path);
}

SaveHandler::SaveHandler(std::shared_ptr<PanelLine> line, platform::Dialogs& dialogs,
                         platform::Workspace& workspace, const platform::Environment& env)
    : line_(std::move(line)), dialogs_(dialogs), workspace_(workspace), env_(env) {}

std::optional<SaveRequest> SaveHandler::read(const nlohmann::json& body) const {
  if (line_->isFull())
    return std::nullopt;
  return saveRequestFromBody(body);
}

void SaveHandler::act(SaveRequest request) {
  // The step needs only what outlives every handler: a save already in the
  // line is made even if the handler is gone by its turn.
  platform::Dialogs* dialogs = &dialogs_;
  platform::Workspace* workspace = &workspace_;
  const platform::Environment* env = &env_;
  line_->join([dialogs, workspace, env, save = std::move(request)] {
    runSaveStep(*dialogs, *workspace, *env, save);
  });
}
