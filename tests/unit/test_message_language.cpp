#include "platform/MessageLanguage.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

Settings settingsUnder(const std::map<std::string, std::string>& environment) {
  return platform::messageLanguageSettings(
      "zh_CN", [&](const char* name) -> std::optional<std::string> {
        auto found = environment.find(name);
        return found == environment.end() ? std::nullopt : std::optional(found->second);
      });
}

} // namespace

TEST(MessageLanguage, ToolkitTextsFollowThePageEvenWhereTheSessionSaysC) {
  const std::pair<std::string, std::string> chinese{"LANGUAGE", "zh_CN:zh"};
  // Where gettext would ignore LANGUAGE, the messages locale is raised to
  // C.UTF-8 in the variable that decides it.
  EXPECT_EQ(settingsUnder({}), (Settings{chinese, {"LC_MESSAGES", "C.UTF-8"}}));
  EXPECT_EQ(settingsUnder({{"LANG", "C"}}), (Settings{chinese, {"LANG", "C.UTF-8"}}));
  EXPECT_EQ(settingsUnder({{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "POSIX"}}),
            (Settings{chinese, {"LC_ALL", "C.UTF-8"}}));
  EXPECT_EQ(settingsUnder({{"LANG", "C"}, {"LC_MESSAGES", ""}}),
            (Settings{chinese, {"LANG", "C.UTF-8"}}));
  // A real locale is left as it is: only the language list changes.
  EXPECT_EQ(settingsUnder({{"LANG", "C"}, {"LC_MESSAGES", "de_DE.UTF-8"}}), (Settings{chinese}));
  EXPECT_EQ(settingsUnder({{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "en"}}), (Settings{chinese}));
}
