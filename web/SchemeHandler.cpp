#include "web/SchemeHandler.h"

#include "identity/identity.h"
#include "platform/RegularFile.h"
#include "platform/Utf8.h"
#include "system/Paths.h"

#include <climits>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view INDEX = "index.html";

platform::SchemeResponse notFound() {
  platform::SchemeResponse response;
  response.ok = false;
  response.errorDomain = std::string(APP_TITLE);
  response.errorCode = 404;
  response.errorDescription = "Resource not found";
  return response;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Malformed escapes ("%zz", a trailing "%") stay as written.
std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int high = hexValue(text[i + 1]);
      int low = hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// The path of a hierarchical URL, without query and fragment; nothing for a
// URL that has none (no scheme, or an opaque one such as "halvane:foo").
std::optional<std::string_view> urlPath(std::string_view url) {
  std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0)
    return std::nullopt;
  std::string_view rest = url.substr(colon + 1);
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    return slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  if (rest.empty() || rest.front() != '/')
    return std::nullopt;
  return rest;
}

// Foundation's lastPathComponent: trailing slashes do not count, and a path of
// slashes alone is "/".
std::string lastPathComponent(std::string_view path) {
  std::size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos)
    return path.empty() ? std::string() : std::string("/");
  path = path.substr(0, end + 1);
  std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string pathExtension(const std::string& name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0)
    return {};
  return name.substr(dot + 1);
}

bool pathExists(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

} // namespace

SchemeHandler::SchemeHandler(std::optional<fs::path> resourceFolder, Reader reader)
    : folder_(std::move(resourceFolder)), reader_(std::move(reader)) {}

std::string SchemeHandler::mime(std::string_view extension) {
  // Every extension in the table is ASCII, and no non-ASCII letter lower-cases
  // to one of its letters, so ASCII lower-casing matches exactly what Unicode
  // lower-casing would.
  std::string lower(extension);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  if (lower == "html" || lower == "htm")
    return "text/html";
  if (lower == "js")
    return "application/javascript";
  if (lower == "css")
    return "text/css";
  if (lower == "json")
    return "application/json";
  if (lower == "svg")
    return "image/svg+xml";
  if (lower == "png")
    return "image/png";
  if (lower == "jpg" || lower == "jpeg")
    return "image/jpeg";
  if (lower == "woff2")
    return "font/woff2";
  return "application/octet-stream";
}

std::optional<std::string> SchemeHandler::resourceName(const std::optional<std::string>& url) {
  if (!url)
    return std::string(INDEX);
  if (url->size() > MAX_ADDRESS_BYTES)
    return std::nullopt;
  std::optional<std::string_view> path = urlPath(*url);
  if (!path)
    return std::nullopt;
  std::string decoded = percentDecode(*path);
  // Text that is not a valid file name anywhere: NUL would cut the name short
  // in the system's calls, and invalid UTF-8 names no file of ours.
  if (decoded.find('\0') != std::string::npos || !platform::isValidUtf8(decoded))
    return std::nullopt;
  std::string name = lastPathComponent(decoded);
  if (name.empty())
    return std::string(INDEX);
  if (name.size() > NAME_MAX)
    return std::nullopt;
  return name;
}

platform::Result<std::string> SchemeHandler::readWholeFile(const fs::path& folder,
                                                           const fs::path& path) {
  std::error_code ec;
  const fs::path realFolder = fs::canonical(folder, ec);
  if (ec)
    return platform::Failure::of(ec);
  // The file is opened first and checked after: what is read is the file
  // opened, and it must be the very file that the path, links resolved,
  // names inside the folder now. A link swapped between the two steps fails
  // the check instead of leading elsewhere.
  auto inside = [&](const platform::FileIdentity& opened) {
    std::error_code failed;
    const fs::path real = fs::canonical(path, failed);
    if (failed || !isWithin(real, realFolder, FolderItself::DoesNotCount))
      return false;
    std::optional<platform::FileIdentity> named = platform::fileIdentity(real);
    return named && *named == opened;
  };
  return platform::readRegularFile(path, MAX_FILE_BYTES, inside);
}

platform::SchemeResponse SchemeHandler::start(const platform::SchemeRequest& request) const {
  if (!folder_)
    return notFound();
  std::optional<std::string> name = resourceName(request.url);
  // "/" names the resource folder itself; appended as a path it would name
  // the root of the file system instead.
  fs::path candidate = !name ? fs::path() : *name == "/" ? *folder_ : *folder_ / *name;
  const fs::path chosen = name && pathExists(candidate) ? candidate : *folder_ / INDEX;
  platform::Result<std::string> data = reader_(*folder_, chosen);
  if (!data)
    return notFound();
  platform::SchemeResponse response;
  response.ok = true;
  response.mimeType = mime(pathExtension(chosen.filename().string()));
  // An over-long address is not copied: left empty, the response's address
  // is the request's own, as the engine has it.
  if (!request.url)
    response.url = HOME_URL;
  else if (request.url->size() <= MAX_ADDRESS_BYTES)
    response.url = *request.url;
  response.textEncodingName = "utf-8";
  response.data = std::move(*data);
  return response;
}
