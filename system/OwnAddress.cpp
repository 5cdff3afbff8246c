#include "system/OwnAddress.h"

#include "identity/identity.h"

#include <algorithm>

namespace {

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool isOwnScheme(std::string_view scheme) {
  return std::equal(scheme.begin(), scheme.end(), APP_SCHEME.begin(), APP_SCHEME.end(),
                    [](char a, char b) { return asciiLower(a) == asciiLower(b); });
}

bool isOwnAddress(std::string_view url) {
  return url.size() > APP_SCHEME.size() && url[APP_SCHEME.size()] == ':' &&
         isOwnScheme(url.substr(0, APP_SCHEME.size()));
}
