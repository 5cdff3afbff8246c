#pragma once

#include "bridge/ChannelHandler.h"
#include "platform/platform.h"
#include "system/DataFolder.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

// The page's data channel, "hlvnData": an object naming a command and a
// callback token, with the data as one text where a command carries it. The
// command runs at once against the data folder; its result goes back later,
// on the main queue, as a call of the page's __hlvnApply(token, result), as
// the launch channel answers.
//
//   read                    {ok, text (null: no file), setAside?}
//   write     text          {ok}
//   setAside                {ok, name}: the page found the file unreadable
//   copies                  {ok, copies: [{name, reason, date, time}]}
//   readCopy  name          {ok, text}
//   keep      reason text?  {ok}: "import" or "upgrade", before that step;
//                           a copy of the text, else of the file
//   restore   name text?    {ok, text}: the text (else the file) kept first
//   reveal    name?         {ok}: the copy, or the file, in the file manager
//
// A failure is {ok: false, error}, the system's words for it. A name is only
// ever matched against what the folder lists, never used as a path.

struct DataCommand {
  std::string cmd;
  // JavaScript source text, pasted verbatim as the first argument.
  std::string cb;
  // The members a command reads, where they are strings.
  std::optional<std::string> text;
  std::optional<std::string> name;
  std::optional<std::string> reason;
};

// An object with string "cmd" and "cb"; anything else is nothing.
std::optional<DataCommand> dataCommandFromBody(const nlohmann::json& body);

// Carries the command out in the folder and gives the reply object.
nlohmann::json runDataCommand(const DataCommand& command, DataFolder& folder,
                              platform::Workspace& workspace);

// Receives the commands on "hlvnData" (its sender admitted by the channel's
// gate) and acts only while the main frame shows an app page; every other
// message, and every malformed one, is dropped without a reply.
class DataHandler : public ChannelHandler<DataHandler, DataCommand> {
public:
  static constexpr const ChannelEntry& CHANNEL = DATA_CHANNEL;

  DataHandler(platform::MainQueue& queue, platform::Workspace& workspace,
              std::filesystem::path folder);

  // Where replies are evaluated; never kept alive by the handler.
  std::weak_ptr<platform::WebView> webView;

private:
  friend class ChannelHandler<DataHandler, DataCommand>;
  std::optional<DataCommand> read(const nlohmann::json& body) const {
    return dataCommandFromBody(body);
  }
  void act(DataCommand command);

  platform::Workspace& workspace_;
  DataFolder folder_;
};
