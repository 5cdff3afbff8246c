// The user defaults on NSUserDefaults, kept by the bundle's id.

#import <Foundation/Foundation.h>

#include "platform/mac/MacBackend.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::mac {
namespace {

class MacDefaults final : public Defaults {
public:
  std::optional<std::string> stringForKey(const std::string& key) override {
    NSString* value = [[NSUserDefaults standardUserDefaults] stringForKey:toNSString(key)];
    if (!value)
      return std::nullopt;
    return toStdString(value);
  }

  void setString(const std::string& key, const std::string& value) override {
    [[NSUserDefaults standardUserDefaults] setObject:toNSString(value) forKey:toNSString(key)];
  }
};

} // namespace

std::unique_ptr<Defaults> makeDefaults() {
  return std::make_unique<MacDefaults>();
}

} // namespace platform::mac
