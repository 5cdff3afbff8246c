// The page's scripts spell the channel names themselves: the save script
// (embedded) and the planner's files in resources/. A name changed on one
// side only would leave a channel that nothing posts to, in silence.

#include "bridge/Channels.h"
#include "bridge/SaveHandler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace {

// Every channel-like name in a script: hlvn and a capital, not part of a
// longer name (the page-side globals __hlvnApply and __hlvnSaveBridge are not
// channels).
void collectNames(const std::string& script, std::set<std::string>& names) {
  static const std::regex name(R"((^|[^\w$])(hlvn[A-Z][\w$]*))");
  for (auto it = std::sregex_iterator(script.begin(), script.end(), name);
       it != std::sregex_iterator(); ++it)
    names.insert((*it)[2].str());
}

} // namespace

TEST(ChannelNames, ThePageScriptsUseTheTablesNames) {
  std::set<std::string> table;
  for (const ChannelEntry& channel : CHANNELS)
    table.insert(std::string(channel.name));
  EXPECT_EQ(table.size(), CHANNELS.size());

  std::set<std::string> inSaveScript;
  collectNames(std::string(SAVE_BRIDGE_JS), inSaveScript);
  EXPECT_EQ(inSaveScript, std::set<std::string>{std::string(SAVE_CHANNEL.name)});

  std::set<std::string> inPage;
  const std::filesystem::path resources = TESSALOOM_SOURCE_DIR "/resources";
  for (const auto& entry : std::filesystem::directory_iterator(resources)) {
    std::ifstream file(entry.path(), std::ios::binary);
    collectNames({std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()}, inPage);
  }
  EXPECT_EQ(inPage, (std::set<std::string>{std::string(BADGE_CHANNEL.name),
                                           std::string(LAUNCH_CHANNEL.name),
                                           std::string(DATA_CHANNEL.name)}));
}
