#pragma once

#include "bridge/ChannelHandler.h"
#include "platform/platform.h"
#include "system/SaveDestination.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The save script, embedded from bridge/save_bridge.js by the build.
extern const std::string_view SAVE_BRIDGE_JS;

// A save the page asked for, checked and decoded.
struct SaveRequest {
  // Cleaned for the save panel's name field (see cleanFileName).
  std::string name;
  std::string bytes;
  bool operator==(const SaveRequest&) const = default;
};

// A save message is an object with a string "name" and a string "data" that
// holds the file's bytes in Base64 (see decodeBase64). Anything else is
// nothing.
std::optional<SaveRequest> saveRequestFromBody(const nlohmann::json& body);

// The save step: panel, then the bytes written in one piece over whatever is
// there (the panel has had the user confirm a replacement), then the file
// shown in the file manager. A failed write alerts and leaves any previous
// file as it was; cancelling does nothing at all.
void runSaveStep(platform::Dialogs& dialogs, platform::Workspace& workspace,
                 const platform::Environment& env, const SaveRequest& request);

// Receives the save script's messages on SAVE_HANDLER. A well-formed one is
// saved on a later turn of the main queue, so that no modal panel runs
// inside the engine's callback; malformed ones are dropped without a word.
// One save at a time asks the user, and at most MAX_WAITING_SAVES more wait
// their turn; saves beyond that are dropped before they are decoded, so that
// a page cannot keep panels coming, nor memory filling. A posted save keeps
// its handler alive until it has run.
class SaveHandler : public ChannelHandler<SaveHandler, SaveRequest> {
public:
  static constexpr std::size_t MAX_WAITING_SAVES = 3;
  static constexpr const ChannelEntry& CHANNEL = SAVE_CHANNEL;

  SaveHandler(platform::MainQueue& queue, platform::Dialogs& dialogs,
              platform::Workspace& workspace, const platform::Environment& env);

private:
  friend class ChannelHandler<SaveHandler, SaveRequest>;
  std::optional<SaveRequest> read(const nlohmann::json& body) const;
  void act(SaveRequest request);
  void saveFirst();

  platform::Dialogs& dialogs_;
  platform::Workspace& workspace_;
  const platform::Environment& env_;
  // The save being asked about (or about to be) first, then the waiting
  // ones: each holds only its name and decoded bytes.
  std::deque<SaveRequest> saves_;
};
