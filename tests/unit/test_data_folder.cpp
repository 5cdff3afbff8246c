#include "bridge/DataHandler.h"
#include "system/DataFolder.h"

#include "support/MacEnvironment.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::vector<std::string> namesOf(const std::vector<DataCopy>& copies) {
  std::vector<std::string> names;
  for (const DataCopy& copy : copies)
    names.push_back(copy.name);
  return names;
}

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

TEST(DataFolder, TheFileIsNeverWrittenThroughALinkAndWhatCannotBeReadIsMovedAsideNotOverwritten) {
  TempDir dir;
  LocalTime now{2026, 12, 9, 14, 5, 0};
  DataFolder data(dir.path() / "Dovrelist", [&] { return now; });
  // No file yet: nothing to read, and the first write makes the folder.
  ASSERT_TRUE(data.read());
  EXPECT_FALSE(data.read()->text);
  ASSERT_TRUE(data.write("{\"v\":1}"));
  EXPECT_EQ(data.read()->text, "{\"v\":1}");

  // A link in the file's place, to a file outside the folder: not read, not
  // written through; it is moved aside as the link it is.
  const fs::path outside = dir.path() / "outside.json";
  writeFile(outside, "theirs");
  fs::remove(data.file());
  fs::create_symlink(outside, data.file());
  platform::Result<DataFolder::Read> read = data.read();
  ASSERT_TRUE(read);
  EXPECT_FALSE(read->text);
  ASSERT_TRUE(read->setAside);
  EXPECT_TRUE(fs::is_symlink(data.folder() / *read->setAside));
  fs::create_symlink(outside, data.file());
  ASSERT_TRUE(data.write("{\"v\":2}"));
  EXPECT_EQ(readFile(outside), "theirs");
  EXPECT_EQ(readFile(data.file()), "{\"v\":2}");
  EXPECT_FALSE(fs::is_symlink(data.file()));

  // A FIFO is not opened (nothing waits), text that is not UTF-8 is not
  // data; each goes aside under a name of its own, beside the first.
  fs::remove(data.file());
  ASSERT_EQ(::mkfifo(data.file().c_str(), 0600), 0);
  ASSERT_TRUE(data.read());
  writeFile(data.file(), "\xff\xfe");
  ASSERT_TRUE(data.read());
  // What the page found damaged goes aside too, and the next write leaves it.
  writeFile(data.file(), "{damaged");
  platform::Result<std::string> aside = data.setAside();
  ASSERT_TRUE(aside);
  ASSERT_TRUE(data.write("{\"v\":3}"));
  EXPECT_EQ(readFile(data.folder() / *aside), "{damaged");
  std::vector<std::string> names = entriesOf(data.folder());
  // The link twice (read, then write), the FIFO, the bytes, the damaged one.
  EXPECT_EQ(names.size(), 6u) << ::testing::PrintToString(names);
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::string& n) { return n.starts_with("dovrelist.aside-"); }),
            5);
}

TEST(DataFolder, EachDaysFirstWriteKeepsTheFileAsItWasAndTheCopiesAreThinned) {
  TempDir dir;
  LocalTime now{2026, 12, 9, 8, 0, 0};
  DataFolder data(dir.path() / "Dovrelist", [&] { return now; });
  ASSERT_TRUE(data.write("monday"));
  ASSERT_TRUE(data.write("monday later"));
  EXPECT_TRUE(data.copies().empty()); // nothing was there before the day began
  now.day = 10;
  ASSERT_TRUE(data.write("tuesday"));
  ASSERT_TRUE(data.write("tuesday later"));
  now.day = 11;
  ASSERT_TRUE(data.keepCopy(CopyReason::BeforeImport));
  ASSERT_TRUE(data.keepCopy(CopyReason::BeforeImport)); // the same second: a name of its own
  ASSERT_TRUE(data.write("wednesday"));
  // The clock set back a day: that day's copy is there and stays as it was.
  now.day = 10;
  DataFolder again(data.folder(), [&] { return now; });
  ASSERT_TRUE(again.write("tuesday again"));
  EXPECT_EQ(namesOf(data.copies()),
            (std::vector<std::string>{"dovrelist-2026-12-11-080000-import.json",
                                      "dovrelist-2026-12-11-080000-import-2.json",
                                      // A day's own copy is the day as it began.
                                      "dovrelist-2026-12-11.json", "dovrelist-2026-12-10.json"}));
  EXPECT_EQ(*data.readCopy("dovrelist-2026-12-10.json"), "monday later");
  EXPECT_EQ(*data.readCopy("dovrelist-2026-12-11.json"), "tuesday later");

  // 30 daily copies, then the first of each of 12 months, then nothing; the
  // 20 newest kept before a step. Dates are the names', whatever the clock.
  std::vector<DataCopy> copies;
  for (int d = 0; d < 500; d += 3) {
    LocalTime t{2026, 1 + (d / 30) % 12, 1 + d % 30, 9, 0, 0};
    t.year += d / 360;
    copies.push_back(*copyFromName(copyName(CopyReason::Daily, t)));
    copies.push_back(*copyFromName(copyName(CopyReason::BeforeRestore, t)));
  }
  std::vector<std::string> thinned = copiesToThin(copies);
  std::vector<std::string> kept;
  for (const DataCopy& c : copies)
    if (std::find(thinned.begin(), thinned.end(), c.name) == thinned.end())
      kept.push_back(c.name);
  std::sort(kept.begin(), kept.end(), std::greater<>());
  ASSERT_EQ(kept.size(), 30u + 12u + 20u) << ::testing::PrintToString(kept);
  // Newest daily first; past them each month's first.
  EXPECT_EQ(kept.front(), "dovrelist-2027-05-19.json");
  EXPECT_NE(std::find(kept.begin(), kept.end(), "dovrelist-2026-04-01.json"), kept.end());
  EXPECT_EQ(std::find(kept.begin(), kept.end(), "dovrelist-2026-04-04.json"), kept.end());
  EXPECT_EQ(std::find(kept.begin(), kept.end(), "dovrelist-2026-02-01.json"), kept.end());
}

TEST(DataChannel, CopiesAreReachedOnlyByTheNamesListedAndRestoringKeepsTheDataFirst) {
  TempDir dir;
  LocalTime now{2026, 12, 3, 9, 0, 0};
  DataFolder data(dir.path() / "Dovrelist", [&] { return now; });
  fakes::RecordingWorkspace workspace;
  auto run = [&](const json& body) {
    std::optional<DataCommand> command = dataCommandFromBody(body);
    return command ? runDataCommand(*command, data, workspace) : json("dropped");
  };
  ASSERT_EQ(run({{"cmd", "write"}, {"cb", "1"}, {"text", "december 3"}})["ok"], true);
  now.day = 4;
  ASSERT_EQ(run({{"cmd", "write"}, {"cb", "1"}, {"text", "december 4"}})["ok"], true);
  json copies = run({{"cmd", "copies"}, {"cb", "1"}});
  EXPECT_EQ(copies["copies"], json::array({{{"name", "dovrelist-2026-12-04.json"},
                                            {"reason", "daily"},
                                            {"date", "2026-12-04"},
                                            {"time", ""}}}));

  // Anything but a listed name reads nothing: paths, the file itself, a
  // link placed among the copies under a copy's name.
  fs::create_symlink(data.file(), data.copiesFolder() / "dovrelist-2026-11-30.json");
  writeFile(dir.path() / "dovrelist-2026-11-29.json", "outside");
  for (const std::string& name :
       std::vector<std::string>{"../dovrelist.json", "dovrelist.json", "dovrelist-2026-11-30.json",
                                "../../dovrelist-2026-11-29.json",
                                (data.copiesFolder() / "dovrelist-2026-12-04.json").string()})
    for (const char* cmd : {"readCopy", "restore", "reveal"})
      EXPECT_EQ(run({{"cmd", cmd}, {"cb", "1"}, {"name", name}})["ok"], false) << cmd << name;
  EXPECT_TRUE(workspace.revealedFiles.empty());
  EXPECT_EQ(readFile(data.file()), "december 4");
  EXPECT_EQ(run({{"cmd", "keep"}, {"cb", "1"}, {"reason", "restore"}})["ok"], false);
  EXPECT_EQ(run({{"cmd", "write"}, {"cb", "1"}}), json({{"ok", false}, {"error", "unknown cmd"}}));
  EXPECT_EQ(run({{"cmd", "read"}}), "dropped");

  // Restoring the listed copy keeps the data as it was before replacing it.
  now.hour = 10;
  json restored = run({{"cmd", "restore"}, {"cb", "1"}, {"name", "dovrelist-2026-12-04.json"}});
  EXPECT_EQ(restored, json({{"ok", true}, {"text", "december 3"}}));
  EXPECT_EQ(readFile(data.file()), "december 3");
  EXPECT_EQ(*data.readCopy("dovrelist-2026-12-04-100000-restore.json"), "december 4");
  // The page's data, newer than the file, is what is kept where it is given.
  now.minute = 1;
  ASSERT_EQ(run({{"cmd", "restore"},
                 {"cb", "1"},
                 {"name", "dovrelist-2026-12-04.json"},
                 {"text", "unsaved"}})["ok"],
            true);
  EXPECT_EQ(*data.readCopy("dovrelist-2026-12-04-100100-restore.json"), "unsaved");
  ASSERT_EQ(run({{"cmd", "keep"}, {"cb", "1"}, {"reason", "upgrade"}, {"text", "old"}})["ok"],
            true);
  EXPECT_EQ(*data.readCopy("dovrelist-2026-12-04-100100-upgrade.json"), "old");
  EXPECT_EQ(run({{"cmd", "reveal"}, {"cb", "1"}, {"name", "dovrelist-2026-12-04.json"}})["ok"],
            true);
  EXPECT_EQ(workspace.revealedFiles,
            std::vector<fs::path>{data.copiesFolder() / "dovrelist-2026-12-04.json"});
  static_assert(DATA_CHANNEL.limits.stringBytes > MAX_DATA_BYTES);

  // The folder, where the environment gives no data folder of its own.
  platform::Environment env;
  env.homeDirectory = "/home/t";
  EXPECT_EQ(dataFolderPath(env), fs::path("/home/t/.local/share/Dovrelist"));
  useMacWays(env);
  EXPECT_EQ(dataFolderPath(env),
            fs::path("/home/t/Library/Application Support/org.tessaloom.Tessaloom/Dovrelist"));
}
