#include "web/SchemeHandler.h"

#include "platform/RegularFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Served {
  TempDir dir;
  fs::path res = dir.path() / "resources";
  Served() {
    fs::create_directory(res);
    writeFile(res / "index.html", "<title>Dovrelist</title>");
    writeFile(res / "app.JS", "export {};");
    writeFile(res / "style.css", "body{}");
    writeFile(res / "font.woff", "w1");
    writeFile(res / "font.woff2", "w2");
    writeFile(res / "secret.txt", "top");
    writeFile(dir.path() / "outside.txt", "never");
    fs::create_directory(res / "folder");
  }
  platform::SchemeResponse get(std::optional<std::string> url) const {
    return SchemeHandler(res).start({std::move(url)});
  }
};

void expect404(const platform::SchemeResponse& r) {
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorDomain, "Dovrelist");
  EXPECT_EQ(r.errorCode, 404);
  EXPECT_EQ(r.errorDescription, "Resource not found");
}

} // namespace

TEST(SchemeHandler, ServesFilesWithTypeLengthAndEncoding) {
  Served s;
  auto index = s.get("halvane://local/index.html");
  ASSERT_TRUE(index.ok);
  EXPECT_EQ(index.mimeType, "text/html");
  EXPECT_EQ(index.textEncodingName, "utf-8");
  EXPECT_EQ(index.data, "<title>Dovrelist</title>");
  EXPECT_EQ(index.url, "halvane://local/index.html");

  auto js = s.get("halvane://local/app.JS");
  EXPECT_EQ(js.mimeType, "application/javascript");
  EXPECT_EQ(js.data, "export {};");
  EXPECT_EQ(s.get("halvane://local/font.woff").mimeType, "application/octet-stream");
  EXPECT_EQ(s.get("halvane://local/font.woff2").mimeType, "font/woff2");
  EXPECT_EQ(s.get("halvane://local/font.woff2").textEncodingName, "utf-8");
}

TEST(SchemeHandler, OnlyTheLastComponentCountsAndTheHostIsIgnored) {
  Served s;
  EXPECT_EQ(s.get("halvane://local/sub/dir/style.css").data, "body{}");
  EXPECT_EQ(s.get("halvane://other-host/style.css").data, "body{}");
  EXPECT_EQ(s.get("halvane://local/index.html?x=1#top").data, "<title>Dovrelist</title>");
  EXPECT_EQ(s.get("halvane://local/a%2F..%2Fsecret.txt").data, "top");
  EXPECT_EQ(s.get("halvane://local/style.css/").data, "body{}");
  // Nothing outside the folder can be named.
  EXPECT_NE(s.get("halvane://local/..%2Foutside.txt").data, "never");
  EXPECT_NE(s.get("halvane://local/%2E%2E/outside.txt").data, "never");
}

TEST(SchemeHandler, MissesGetIndexWithTheRequestedURL) {
  Served s;
  for (const char* url :
       {"halvane://local/missing-page", "halvane://local", "halvane://local/%FF",
        "halvane://local/%C3%28", "halvane://local/%00", "halvane://local/index.html%00.png",
        "halvane:foo", "halvane://local/%zz", "halvane://local/trailing%"}) {
    auto r = s.get(url);
    ASSERT_TRUE(r.ok) << url;
    EXPECT_EQ(r.mimeType, "text/html") << url;
    EXPECT_EQ(r.data, "<title>Dovrelist</title>") << url;
    EXPECT_EQ(r.url, url);
  }
  auto noUrl = s.get(std::nullopt);
  ASSERT_TRUE(noUrl.ok);
  EXPECT_EQ(noUrl.url, "halvane://local/index.html");
  EXPECT_TRUE(s.get("halvane://local/" + std::string(300, 'a')).ok);
  // An address longer than any of the app's own names no file, whatever it
  // ends with: a page that asks for 30 MB of address gets index.html at once.
  const std::string prefix = "halvane://local/";
  std::string padded = prefix + std::string(SchemeHandler::MAX_ADDRESS_BYTES, 'a') + "/style.css";
  EXPECT_EQ(s.get(padded).data, "<title>Dovrelist</title>");
  EXPECT_EQ(s.get(padded).url, "");
  padded = prefix + std::string(SchemeHandler::MAX_ADDRESS_BYTES - prefix.size() - 10, 'a') +
           "/style.css";
  EXPECT_EQ(s.get(padded).data, "body{}");
}

TEST(SchemeHandler, MalformedEscapesStayLiteral) {
  Served s;
  writeFile(s.res / "100%zz.txt", "pct");
  EXPECT_EQ(s.get("halvane://local/100%zz.txt").data, "pct");
  EXPECT_EQ(SchemeHandler::resourceName("halvane://local/a%"), "a%");
  EXPECT_EQ(SchemeHandler::resourceName("halvane://local/%e4%b8%ad.png"), "中.png");
}

TEST(SchemeHandler, FoldersAndDotsFailWith404) {
  Served s;
  expect404(s.get("halvane://local/.."));
  expect404(s.get("halvane://local/"));
  expect404(s.get("halvane://local/."));
  expect404(s.get("halvane://local/folder"));
  expect404(s.get("halvane://local///"));
}

TEST(SchemeHandler, OnlyRegularFilesAreReadAndNothingWaitsToOpenOne) {
  Served s;
  // A FIFO with no writer would block an open for good; a device may never
  // end. Both are there but are no files, like a folder.
  ASSERT_EQ(::mkfifo((s.res / "pipe.js").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", s.res / "zero.bin");
  auto answers = std::make_shared<std::promise<std::vector<platform::SchemeResponse>>>();
  std::future<std::vector<platform::SchemeResponse>> answered = answers->get_future();
  // On its own thread, so that a blocked open fails the test instead of
  // hanging it.
  std::thread([answers, res = s.res] {
    SchemeHandler handler(res);
    answers->set_value(
        {handler.start({"halvane://local/pipe.js"}), handler.start({"halvane://local/zero.bin"})});
  }).detach();
  ASSERT_EQ(answered.wait_for(std::chrono::seconds(10)), std::future_status::ready)
      << "opening a FIFO among the web files blocked";
  for (const platform::SchemeResponse& r : answered.get())
    expect404(r);
}

TEST(SchemeHandler, OnlyFilesReallyInsideTheFolderAreServed) {
  Served s;
  // Links among the web files that lead out of the folder: they are there,
  // so they get no index.html, and they are not the app's, so nothing is read.
  fs::create_symlink("/etc/passwd", s.res / "passwd.txt");
  fs::create_symlink("../outside.txt", s.res / "up.txt");
  fs::create_symlink(s.dir.path(), s.res / "parent");
  fs::create_symlink(s.dir.path() / "outside.txt", s.res / "chain.txt");
  fs::create_symlink("chain.txt", s.res / "chained.txt");
  for (const char* name : {"passwd.txt", "up.txt", "chained.txt"}) {
    auto r = s.get(std::string("halvane://local/") + name);
    expect404(r);
    EXPECT_EQ(r.data, "") << name;
  }
  expect404(s.get("halvane://local/parent"));
  // Links that stay inside are served, as is a folder reached by a link.
  fs::create_symlink("style.css", s.res / "alias.css");
  fs::create_directory(s.res / "fonts");
  writeFile(s.res / "fonts" / "inner.woff2", "in");
  fs::create_symlink("fonts/inner.woff2", s.res / "inner.woff2");
  EXPECT_EQ(s.get("halvane://local/alias.css").data, "body{}");
  EXPECT_EQ(s.get("halvane://local/inner.woff2").data, "in");
  fs::create_directory_symlink(s.res, s.dir.path() / "linked-resources");
  auto viaLink = SchemeHandler(s.dir.path() / "linked-resources").start({"halvane://local/app.JS"});
  EXPECT_TRUE(viaLink.ok);
  EXPECT_EQ(viaLink.data, "export {};");
}

TEST(SchemeHandler, AFileTooLargeToHoldIs404AndNothingCrashes) {
  Served s;
  // Sparse: they take no disk, but a whole read would need all of it in memory.
  for (auto [name, size] : {std::pair<const char*, std::uintmax_t>{"huge.bin", 100ull << 30},
                            {"over.bin", SchemeHandler::MAX_FILE_BYTES + 1}}) {
    writeFile(s.res / name, "");
    fs::resize_file(s.res / name, size);
    auto r = s.get(std::string("halvane://local/") + name);
    expect404(r);
    EXPECT_EQ(r.data, "") << name;
  }
  // The limit itself: a file of exactly that many bytes is read, one byte
  // more is refused.
  writeFile(s.res / "ten.bin", "0123456789");
  platform::Result<std::string> whole = platform::readRegularFile(s.res / "ten.bin", 10);
  ASSERT_TRUE(whole);
  EXPECT_EQ(*whole, "0123456789");
  platform::Result<std::string> tooLarge = platform::readRegularFile(s.res / "ten.bin", 9);
  ASSERT_FALSE(tooLarge);
  EXPECT_EQ(tooLarge.failure().code, EFBIG);
  EXPECT_EQ(tooLarge.failure().detail, platform::describeError(EFBIG));
}

TEST(SchemeHandler, NoIndexOrNoFolderFails) {
  Served s;
  fs::remove(s.res / "index.html");
  expect404(s.get("halvane://local/missing"));
  EXPECT_TRUE(s.get("halvane://local/style.css").ok);
  expect404(SchemeHandler(std::nullopt).start({"halvane://local/index.html"}));
  // An index that cannot be read is the same failure.
  SchemeHandler unreadable(s.res,
                           [](const fs::path&, const fs::path&) -> platform::Result<std::string> {
                             return platform::Failure::of(EACCES);
                           });
  expect404(unreadable.start({"halvane://local/index.html"}));
}

TEST(SchemeHandler, MimeTable) {
  EXPECT_EQ(SchemeHandler::mime("HTM"), "text/html");
  EXPECT_EQ(SchemeHandler::mime("Json"), "application/json");
  EXPECT_EQ(SchemeHandler::mime("svg"), "image/svg+xml");
  EXPECT_EQ(SchemeHandler::mime("PNG"), "image/png");
  EXPECT_EQ(SchemeHandler::mime("jpeg"), "image/jpeg");
  EXPECT_EQ(SchemeHandler::mime("JPG"), "image/jpeg");
  EXPECT_EQ(SchemeHandler::mime("css"), "text/css");
  for (const char* other : {"", "gif", "ico", "txt", "mjs", "woff", "html5", "jsx"})
    EXPECT_EQ(SchemeHandler::mime(other), "application/octet-stream") << other;
}
