#pragma once

// The user defaults: string values under string keys, kept across runs.

#include <optional>
#include <string>

namespace platform {

class Defaults {
public:
  virtual ~Defaults() = default;
  virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
  virtual void setString(const std::string& key, const std::string& value) = 0;
};

} // namespace platform
