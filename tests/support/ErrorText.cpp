#include "platform/platform.h"

#include <cstring>

std::string platform::describeError(int errorNumber) {
  return std::strerror(errorNumber);
}
