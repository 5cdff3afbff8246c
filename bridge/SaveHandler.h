#pragma once

#include "bridge/ChannelHandler.h"
#include "platform/platform.h"
#include "system/PanelLine.h"
#include "system/SaveDestination.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The save script, embedded from bridge/save_bridge.js by the build: a
// function expression of the longest Base64 text a save carries.
extern const std::string_view SAVE_BRIDGE_JS;
// The save script as injected, called with the save channel's bound.
std::string saveBridgeScript();

// A save the page asked for, checked and decoded.
struct SaveRequest {
  // Cleaned for the save panel's name field (see cleanFileName).
  std::string name;
  std::string bytes;
  // The size in bytes of a file too large to carry, which the script sent
  // without its bytes: nothing is saved, and the user is told why.
  std::optional<std::uint64_t> tooLarge = std::nullopt;
  bool operator==(const SaveRequest&) const = default;
};

// A save message is an object with a string "name" and a string "data" that
// holds the file's bytes in Base64 (see decodeBase64), or, for a file too
// large to carry, a number "size" instead of "data" that is over the bound.
// Anything else is nothing.
std::optional<SaveRequest> saveRequestFromBody(const nlohmann::json& body);

// The save step: panel, then the bytes written in one piece over whatever is
// there (the panel has had the user confirm a replacement), then the file
// shown in the file manager. A failed write alerts and leaves any previous
// file as it was; cancelling does nothing at all. A file too large alerts
// without a panel.
void runSaveStep(platform::Dialogs& dialogs, platform::Workspace& workspace,
                 const platform::Environment& env, const SaveRequest& request);

// Receives the save script's messages on SAVE_HANDLER. A well-formed one is
// saved on its turn in the panel line that saves share with downloads
// (PanelLine), never inside the engine's callback; malformed ones are dropped
// without a word. Saves that find the line full are dropped before they are
// decoded, so that a page cannot keep panels coming, nor memory filling.
class SaveHandler : public ChannelHandler<SaveHandler, SaveRequest> {
public:
  static constexpr const ChannelEntry& CHANNEL = SAVE_CHANNEL;

  SaveHandler(std::shared_ptr<PanelLine> line, platform::Dialogs& dialogs,
              platform::Workspace& workspace, const platform::Environment& env);

private:
  friend class ChannelHandler<SaveHandler, SaveRequest>;
  std::optional<SaveRequest> read(const nlohmann::json& body) const;
  void act(SaveRequest request);

  std::shared_ptr<PanelLine> line_;
  platform::Dialogs& dialogs_;
  platform::Workspace& workspace_;
  const platform::Environment& env_;
};
