#include "system/AtomicFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;

TEST(AtomicFile, WritesNewAndReplacesExistingKeepingMode) {
  TempDir dir;
  fs::path file = dir.path() / "plan.csv";
  ASSERT_TRUE(writeFileAtomically(file, "one").ok);
  EXPECT_EQ(readFile(file), "one");

  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  FileResult again = writeFileAtomically(file, std::string("two\0three", 9));
  ASSERT_TRUE(again.ok) << again.error;
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
  ASSERT_TRUE(writeFileAtomically(dir.path() / "link.json", "new").ok);
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
  FileResult result = writeFileAtomically(file, "lost?");
  fs::permissions(dir.path(), fs::perms::owner_all);
  if (!root) {
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(readFile(file), "precious");
  }
  writeFile(file, "precious");

  // A folder as the target fails whoever runs it, and leaves nothing behind.
  fs::create_directory(dir.path() / "folder");
  FileResult onFolder = writeFileAtomically(dir.path() / "folder", "x");
  EXPECT_FALSE(onFolder.ok);
  EXPECT_FALSE(onFolder.error.empty());
  FileResult noFolder = writeFileAtomically(dir.path() / "missing" / "x.txt", "x");
  EXPECT_FALSE(noFolder.ok);
  EXPECT_EQ(readFile(file), "precious");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}
