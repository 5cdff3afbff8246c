#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Serves the web app's files to the one web view through the private scheme.
// Only the last path component of a request names a file, and only files at
// the top of the resource folder are served; a name that names no file gets
// the app's index.html, so every address inside the scheme shows the app.
class SchemeHandler {
public:
  // Reads a whole file; empty when it cannot be read (a folder, no rights).
  using Reader = std::function<std::optional<std::string>(const std::filesystem::path&)>;

  explicit SchemeHandler(std::optional<std::filesystem::path> resourceFolder,
                         Reader reader = readWholeFile);

  platform::SchemeResponse start(const platform::SchemeRequest& request) const;
  // Nothing is ever in flight: every request is answered inside start().
  void stop() const {}

  static std::string mime(std::string_view extension);
  // The file name a URL asks for, or nothing when it names no file at all.
  // "/" "." and ".." are returned as such: they name folders, not files.
  static std::optional<std::string> resourceName(const std::optional<std::string>& url);
  static std::optional<std::string> readWholeFile(const std::filesystem::path& path);

private:
  std::optional<std::filesystem::path> folder_;
  Reader reader_;
};
