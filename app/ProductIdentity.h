#pragma once

#include "identity/identity.h"
#include "platform/platform.h"

#include <string>

// The identity handed to the platform when it is made.
inline platform::Identity productIdentity() {
  // The page is written in Chinese (index.html: lang="zh-CN").
  return {std::string(LA_LABEL), std::string(APP_TITLE), std::string(DATA_FOLDER_NAME), "zh_CN"};
}
