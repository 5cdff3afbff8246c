#pragma once

// The language the toolkit's own texts (file panels, context menus) are shown
// in. A Chinese app whose panels say "Cancel" because the session runs under
// LANG=C looks broken, so those texts follow the page's language instead of
// the session's. GNU gettext takes the language list from LANGUAGE, but
// ignores it while the messages locale is "C" or "POSIX": there the locale is
// raised to C.UTF-8, which changes nothing else about C.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The variables to set, in order, before the toolkit reads the locale.
// `variable` reads the environment; language is a gettext name ("zh_CN").
std::vector<std::pair<std::string, std::string>>
messageLanguageSettings(const std::string& language,
                        const std::function<std::optional<std::string>(const char*)>& variable);

} // namespace platform
