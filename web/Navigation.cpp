#include "web/Navigation.h"

#include "identity/identity.h"
#include "system/OwnAddress.h"

#include <array>
#include <filesystem>
#include <utility>
#include <vector>

namespace {

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char toLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The scheme that begins the address (URL syntax: a letter, then letters,
// digits, "+", "-" or ".", then ":"), lower-cased; nothing when it begins
// with none.
std::optional<std::string> urlScheme(std::string_view url) {
  std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0 || !isAsciiLetter(url[0]))
    return std::nullopt;
  std::string scheme;
  for (char c : url.substr(0, colon)) {
    bool digit = c >= '0' && c <= '9';
    if (!isAsciiLetter(c) && !digit && c != '+' && c != '-' && c != '.')
      return std::nullopt;
    scheme.push_back(toLower(c));
  }
  return scheme;
}

} // namespace

platform::ResponsePolicy responsePolicy(const platform::NavigationResponse& response) {
  if (response.canShowMIMEType)
    return platform::ResponsePolicy::Allow;
  return isOwnAddress(response.url) ? platform::ResponsePolicy::Ignore
                                    : platform::ResponsePolicy::Download;
}

bool mayOpenExternally(std::string_view url) {
  std::optional<std::string> scheme = urlScheme(url);
  if (!scheme)
    return false;
  constexpr std::array<std::string_view, 3> allowed{"http", "https", "mailto"};
  for (std::string_view a : allowed)
    if (*scheme == a)
      return true;
  return false;
}

void openExternally(platform::Workspace& workspace, const std::optional<std::string>& url) {
  if (url && mayOpenExternally(*url))
    workspace.openURL(*url);
}

platform::NavigationActionPolicy decideNavigationAction(platform::Workspace& workspace,
                                                        const platform::NavigationAction& action) {
  using platform::NavigationActionPolicy;
  std::optional<std::string> scheme = urlScheme(action.url);
  if (!scheme)
    return NavigationActionPolicy::Cancel;
  bool web = *scheme == "http" || *scheme == "https";
  bool anywhere =
      isOwnScheme(*scheme) || *scheme == "about" || *scheme == "blob" || *scheme == "data";
  bool main = action.frame == platform::NavigationFrame::Main;
  if (action.shouldPerformDownload && (anywhere || web))
    return NavigationActionPolicy::Download;
  if (anywhere || (web && !main))
    return NavigationActionPolicy::Allow;
  if (main && mayOpenExternally(action.url))
    workspace.openURL(action.url);
  return NavigationActionPolicy::Cancel;
}

std::string windowTitle(const std::string& pageTitle) {
  return pageTitle.empty() ? std::string(APP_TITLE) : pageTitle;
}

void chooseUploadFiles(platform::Dialogs& dialogs, const platform::OpenPanelParameters& parameters,
                       const platform::WebViewDelegate::OpenPanelCompletion& completion) {
  if (!completion)
    return;
  platform::OpenPanelOptions options;
  options.canChooseFiles = true;
  options.allowsMultipleSelection = parameters.allowsMultipleSelection;
  options.canChooseDirectories = parameters.allowsDirectories;
  std::optional<std::vector<std::filesystem::path>> files = dialogs.runOpenPanel(options);
  completion(std::move(files));
}
