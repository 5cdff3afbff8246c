#include "system/Leftovers.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::set<std::string> entries(const fs::path& folder) {
  const std::vector<std::string> names = namesIn(folder);
  return {names.begin(), names.end()};
}

} // namespace

TEST(Leftovers, OnlyTheAppsOwnTemporariesGoAndNotWhileInUse) {
  TempDir dir;
  const fs::path folder = dir.path() / "Downloads";
  const fs::path outside = dir.path() / "elsewhere";
  fs::create_directories(folder / "sub");
  fs::create_directories(outside / "folder");
  writeFile(outside / "file", "kept");
  writeFile(outside / "folder" / "inside", "kept");

  // What a killed save and a killed download leave.
  writeFile(folder / ".tessaloom-AbC123", "half a file");
  fs::create_directories(folder / ".download-Qw12Er");
  writeFile(folder / ".download-Qw12Er" / "archive.zip", "partial");
  // A download this process is still writing, named by another spelling.
  fs::create_directories(folder / ".download-Live01");
  TemporaryInUse live(folder / "sub" / ".." / ".download-Live01");

  // Look-alikes: the user's files, other lengths and letters, other kinds.
  const std::vector<std::string> files{
      "report.csv",         "tessaloom-AbC123",  ".Tessaloom-AbC123",       ".tessaloom-AbC12",
      ".tessaloom-AbC1234", ".tessaloom-AbC_12", ".tessaloom-AbC1\xc3\xa9", ".tessaloom-",
      ".download-File12"};
  const std::vector<std::string> folders{".download-Qw12E", ".download-Qw12Er1",
                                         ".tessaloom-Dir123", ".Tessaloom.Ab12Cd"};
  std::set<std::string> lookAlikes{"sub", ".tessaloom-Fifo12", ".tessaloom-Link12",
                                   ".download-Link12"};
  for (const std::string& name : files) {
    writeFile(folder / name, "mine");
    lookAlikes.insert(name);
  }
  for (const std::string& name : folders) {
    fs::create_directories(folder / name / "inside");
    lookAlikes.insert(name);
  }
  ASSERT_EQ(::mkfifo((folder / ".tessaloom-Fifo12").c_str(), 0600), 0);
  fs::create_symlink(outside / "file", folder / ".tessaloom-Link12");
  fs::create_symlink(outside / "folder", folder / ".download-Link12");
  writeFile(folder / "sub" / ".tessaloom-Deep12", "below");

  // Another user's temporary in a shared folder may be in the middle of a write.
  const bool canGiveAway = ::geteuid() == 0;
  if (canGiveAway) {
    writeFile(folder / ".tessaloom-Other1", "theirs");
    ASSERT_EQ(::chown((folder / ".tessaloom-Other1").c_str(), 4321, 4321), 0);
  }

  removeLeftovers(folder, {saveTemporaryRule(), downloadFolderRule()});

  std::set<std::string> expected = lookAlikes;
  expected.insert(".download-Live01");
  if (canGiveAway)
    expected.insert(".tessaloom-Other1");
  EXPECT_EQ(entries(folder), expected);
  EXPECT_TRUE(fs::exists(folder / "sub" / ".tessaloom-Deep12"));
  EXPECT_EQ(readFile(outside / "file"), "kept");
  EXPECT_EQ(readFile(outside / "folder" / "inside"), "kept");

  // Once nothing writes there any more, it is a leftover like the others; an
  // install's stage goes only by the install's own rule, for its own app.
  { TemporaryInUse done = std::move(live); }
  removeLeftovers(folder, {saveTemporaryRule(), downloadFolderRule(), installStageRule("Other")});
  expected.erase(".download-Live01");
  EXPECT_EQ(entries(folder), expected);
  removeLeftovers(folder, {installStageRule("Tessaloom")});
  expected.erase(".Tessaloom.Ab12Cd");
  EXPECT_EQ(entries(folder), expected);
}
