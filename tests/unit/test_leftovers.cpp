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

// A temporary file as a write killed midway leaves it.
fs::path killedWrite(const fs::path& folder, std::string_view prefix) {
  platform::Result<TemporaryFile> made = makeTemporaryFile(folder, prefix);
  EXPECT_TRUE(made);
  if (!made)
    return {};
  EXPECT_TRUE(made->fd.close());
  return made->path;
}

fs::path madeFolder(const fs::path& folder, std::string_view prefix) {
  platform::Result<fs::path> made = makeTemporaryFolder(folder, prefix);
  EXPECT_TRUE(made);
  return made ? *made : fs::path();
}

std::string markerName(const fs::path& temporaryFolder) {
  return temporaryFolder.filename().string() + std::string(TEMPORARY_MARK);
}

} // namespace

TEST(Leftovers, OnlyTheAppsOwnMarkedTemporariesGoAndNotWhileInUse) {
  TempDir dir;
  const fs::path folder = dir.path() / "Downloads";
  const fs::path outside = dir.path() / "elsewhere";
  fs::create_directories(folder / "sub");
  fs::create_directories(outside / "folder");
  writeFile(outside / "file", "kept");
  writeFile(outside / "folder" / "inside", "kept");
  writeFile(outside / "marker", TEMPORARY_MARKER_TEXT);

  // What a killed save and a killed download leave.
  const fs::path save = killedWrite(folder, SAVE_TEMPORARY_PREFIX);
  const fs::path download = madeFolder(folder, DOWNLOAD_FOLDER_PREFIX);
  writeFile(download / "archive.zip", "partial");
  // A download this process is still writing, named by another spelling.
  const fs::path live = madeFolder(folder, DOWNLOAD_FOLDER_PREFIX);
  TemporaryInUse inUse(folder / "sub" / ".." / live.filename());
  // An install's stage goes only by the install's own rule, for its own app.
  const fs::path stage = madeFolder(folder, installStagePrefix("Tessaloom"));
  ASSERT_FALSE(save.empty() || download.empty() || live.empty() || stage.empty());
  EXPECT_TRUE(save.filename().string().starts_with(SAVE_TEMPORARY_PREFIX));
  EXPECT_EQ(readFile(download / markerName(download)), TEMPORARY_MARKER_TEXT);

  // The user's own, whatever they look like: names of the temporaries'
  // shape (an earlier version's unmarked ones among them), other lengths
  // and letters, other kinds, folders without their marker or with a wrong
  // one.
  const std::vector<std::string> files{"report.csv",
                                       ".tessaloom-backup",
                                       ".tessaloom-AbC123",
                                       ".tessaloom-AbC12.tessaloom-tmp",
                                       ".tessaloom-AbC1234.tessaloom-tmp",
                                       ".tessaloom-AbC_12.tessaloom-tmp",
                                       ".tessaloom-AbC123.tessaloom-tmpx",
                                       "tessaloom-AbC123.tessaloom-tmp",
                                       ".download-File12"};
  std::set<std::string> mine{"sub", ".tessaloom-Fifo12.tessaloom-tmp",
                             ".tessaloom-Link12.tessaloom-tmp", ".download-Link12"};
  for (const std::string& name : files) {
    writeFile(folder / name, "mine");
    mine.insert(name);
  }
  for (const char* name :
       {".download-backup", ".download-photos", ".download-Qw12Er", ".download-Qw12E",
        ".download-Dir1234", ".tessaloom-Dir123.tessaloom-tmp", ".Tessaloom.usr123"}) {
    fs::create_directories(folder / name / "inside");
    writeFile(folder / name / "inside" / "photo.jpg", "mine");
    mine.insert(name);
  }
  // A marker's name holding something else, a link to a marker, a folder.
  fs::create_directories(folder / ".download-WrongT");
  writeFile(folder / ".download-WrongT" / markerName(folder / ".download-WrongT"), "mine");
  fs::create_directories(folder / ".download-Linked");
  fs::create_symlink(outside / "marker",
                     folder / ".download-Linked" / markerName(folder / ".download-Linked"));
  fs::create_directories(folder / ".download-Folder" / markerName(folder / ".download-Folder"));
  // Another marker than its own, a temporary folder of one name renamed.
  fs::create_directories(folder / ".download-Copied");
  fs::copy_file(download / markerName(download),
                folder / ".download-Copied" / markerName(download));
  mine.insert({".download-WrongT", ".download-Linked", ".download-Folder", ".download-Copied"});
  ASSERT_EQ(::mkfifo((folder / ".tessaloom-Fifo12.tessaloom-tmp").c_str(), 0600), 0);
  fs::create_symlink(outside / "file", folder / ".tessaloom-Link12.tessaloom-tmp");
  fs::create_symlink(outside / "folder", folder / ".download-Link12");
  killedWrite(folder / "sub", SAVE_TEMPORARY_PREFIX);

  // Another user's temporaries in a shared folder may be in the middle of a
  // write; a marker of another user's does not make a folder this user's.
  const bool canGiveAway = ::geteuid() == 0;
  if (canGiveAway) {
    const fs::path theirs = killedWrite(folder, SAVE_TEMPORARY_PREFIX);
    const fs::path theirFolder = madeFolder(folder, DOWNLOAD_FOLDER_PREFIX);
    const fs::path theirMarker = madeFolder(folder, DOWNLOAD_FOLDER_PREFIX);
    ASSERT_EQ(::chown(theirs.c_str(), 4321, 4321), 0);
    ASSERT_EQ(::chown(theirFolder.c_str(), 4321, 4321), 0);
    ASSERT_EQ(::chown((theirMarker / markerName(theirMarker)).c_str(), 4321, 4321), 0);
    mine.insert({theirs.filename().string(), theirFolder.filename().string(),
                 theirMarker.filename().string()});
  }

  removeLeftovers(folder, {saveTemporaryRule(), downloadFolderRule(), installStageRule("Other")});

  std::set<std::string> expected = mine;
  expected.insert({live.filename().string(), stage.filename().string()});
  EXPECT_EQ(entries(folder), expected);
  EXPECT_EQ(namesIn(folder / "sub").size(), 1u);
  EXPECT_EQ(readFile(folder / ".download-backup" / "inside" / "photo.jpg"), "mine");
  EXPECT_EQ(readFile(outside / "file"), "kept");
  EXPECT_EQ(readFile(outside / "folder" / "inside"), "kept");
  EXPECT_EQ(readFile(outside / "marker"), TEMPORARY_MARKER_TEXT);

  // Once nothing writes there any more, it is a leftover like the others.
  { TemporaryInUse done = std::move(inUse); }
  removeLeftovers(folder, {saveTemporaryRule(), downloadFolderRule()});
  expected.erase(live.filename().string());
  EXPECT_EQ(entries(folder), expected);
  removeLeftovers(folder, {installStageRule("Tessaloom")});
  expected.erase(stage.filename().string());
  EXPECT_EQ(entries(folder), expected);
}
