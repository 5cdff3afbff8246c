#include "app/ProductIdentity.h"
#include "platform/StoreFolders.h"

#include <gtest/gtest.h>

// The teacher's whole plan lives in the web data and the window and ball
// places in the settings: renaming either folder would lose them on update.
TEST(StoreFolders, KeepTheNamesEarlierVersionsWrote) {
  platform::Identity identity = productIdentity();
  platform::StoreFolders folders = platform::xdgStoreFolders(
      identity.folderName, "/home/ada/.config", "/home/ada/.local/share", "/home/ada/.cache");
  EXPECT_EQ(folders.settingsFile, "/home/ada/.config/Tessaloom/defaults.ini");
  EXPECT_EQ(folders.webDataDirectory, "/home/ada/.local/share/Tessaloom");
  EXPECT_EQ(folders.webCacheDirectory, "/home/ada/.cache/Tessaloom");
}
