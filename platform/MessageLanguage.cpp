#include "platform/MessageLanguage.h"

namespace platform {

std::vector<std::pair<std::string, std::string>>
messageLanguageSettings(const std::string& language,
                        const std::function<std::optional<std::string>(const char*)>& variable) {
  std::vector<std::pair<std::string, std::string>> settings;
  // Then the language without its region, as gettext's own lists are written.
  std::string list = language;
  if (std::size_t underscore = language.find('_'); underscore != std::string::npos)
    list += ":" + language.substr(0, underscore);
  settings.emplace_back("LANGUAGE", list);
  // The messages locale as setlocale will find it: the first of these set.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::optional<std::string> value = variable(name);
    if (!value || value->empty())
      continue;
    if (*value == "C" || *value == "POSIX")
      settings.emplace_back(name, "C.UTF-8");
    return settings;
  }
  settings.emplace_back("LC_MESSAGES", "C.UTF-8");
  return settings;
}

} // namespace platform
