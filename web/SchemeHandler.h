#pragma once

#include "platform/platform.h"

#include <cstddef>
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
  // The largest file served. The web app's own files are tens of kilobytes;
  // this leaves room for any image or data file a page could sensibly load
  // whole, while one request can never ask the process to hold more than
  // this (the engine takes the buffer over, and holds about as much again
  // while delivering it). A larger file is answered like an unreadable one.
  static constexpr std::size_t MAX_FILE_BYTES = std::size_t(256) * 1024 * 1024;

  // Reads the whole file at a path inside the folder; a failure when it
  // cannot be read (a folder, no rights, too large) or when it is not really
  // inside the folder (a link leading out of it).
  using Reader = std::function<platform::Result<std::string>(const std::filesystem::path& folder,
                                                             const std::filesystem::path& path)>;

  // The longest address looked at. A file name takes at most NAME_MAX bytes,
  // three times as many percent-encoded; with folders before it and a query
  // after it an address of the app's own stays far below this. A longer one
  // names no file, and is answered so before any work is done on it.
  static constexpr std::size_t MAX_ADDRESS_BYTES = 16 * 1024;

  explicit SchemeHandler(std::optional<std::filesystem::path> resourceFolder,
                         Reader reader = readWholeFile);

  // Answers the request whole, at once: nothing is ever left in flight to
  // stop.
  platform::SchemeResponse start(const platform::SchemeRequest& request) const;

  static std::string mime(std::string_view extension);
  // The file name a URL asks for, or nothing when it names no file at all.
  // "/" "." and ".." are returned as such: they name folders, not files.
  static std::optional<std::string> resourceName(const std::optional<std::string>& url);
  static platform::Result<std::string> readWholeFile(const std::filesystem::path& folder,
                                                     const std::filesystem::path& path);

private:
  std::optional<std::filesystem::path> folder_;
  Reader reader_;
};
