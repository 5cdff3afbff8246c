#include "system/AtomicFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace fs = std::filesystem;

TEST(AtomicFile, WritesNewAndReplacesExistingKeepingMode) {
  TempDir dir;
  fs::path file = dir.path() / "plan.csv";
  ASSERT_TRUE(writeFileAtomically(file, "one"));
  EXPECT_EQ(readFile(file), "one");

  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  platform::Result<void> again = writeFileAtomically(file, std::string("two\0three", 9));
  ASSERT_TRUE(again) << again.failure().detail;
  EXPECT_EQ(readFile(file), std::string("two\0three", 9));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AtomicFile, ReplacesTheTargetOfALink) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  fs::path target = dir.path() / "real" / "data.json";
  writeFile(target, "old");
  fs::create_symlink("real/data.json", dir.path() / "link.json");
  ASSERT_TRUE(writeFileAtomically(dir.path() / "link.json", "new"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.json"));
  EXPECT_EQ(readFile(target), "new");
}

TEST(AtomicFile, FailureLeavesThePreviousFileAndNoTemporary) {
  TempDir dir;
  fs::path file = dir.path() / "keep.txt";
  writeFile(file, "precious");
  // A folder the user may not write into: the temporary cannot be made.
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  bool root = ::geteuid() == 0;
  platform::Result<void> result = writeFileAtomically(file, "lost?");
  fs::permissions(dir.path(), fs::perms::owner_all);
  if (!root) {
    ASSERT_FALSE(result);
    EXPECT_EQ(result.failure().code, EACCES);
    EXPECT_EQ(result.failure().detail, platform::describeError(EACCES));
    EXPECT_EQ(readFile(file), "precious");
  }
  writeFile(file, "precious");

  // A folder as the target fails whoever runs it, and leaves nothing behind.
  fs::create_directory(dir.path() / "folder");
  platform::Result<void> onFolder = writeFileAtomically(dir.path() / "folder", "x");
  ASSERT_FALSE(onFolder);
  EXPECT_EQ(onFolder.failure().code, EISDIR);
  EXPECT_EQ(onFolder.failure().detail, platform::describeError(EISDIR));
  platform::Result<void> noFolder = writeFileAtomically(dir.path() / "missing" / "x.txt", "x");
  ASSERT_FALSE(noFolder);
  EXPECT_EQ(noFolder.failure().code, ENOENT);
  EXPECT_EQ(readFile(file), "precious");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}
