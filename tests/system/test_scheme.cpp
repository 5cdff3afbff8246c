// The private scheme as the engine sees it: exact bytes, types the engine
// enforces, the fallback page and the folder boundary.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "app/constants.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using nlohmann::json;

// Every byte value, then UTF-8 text, then every value again backwards: a
// transfer that stops at a NUL, re-encodes text or drops high bytes shows.
std::string everyByte() {
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes.push_back(char(i));
  bytes += "批改计划 \xF0\x9F\x90\xB0\r\n";
  for (int i = 255; i >= 0; --i)
    bytes.push_back(char(i));
  return bytes;
}

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

const char* INDEX = "<!doctype html><meta charset=utf-8><title>Scheme</title>"
                    "<div id=a></div><div id=b></div><div id=c></div>"
                    "<script>"
                    "window.hexOf = async (url) => {"
                    "  const r = await fetch(url);"
                    "  const b = new Uint8Array(await r.arrayBuffer());"
                    "  return Array.from(b, (x) => x.toString(16).padStart(2, '0')).join('');"
                    "};"
                    "window.outcome = (url) => fetch(url).then(async (r) => 'ok:' + "
                    "  (await r.text()).length, (e) => 'failed');"
                    "window.attach = (tag, attrs) => new Promise((done) => {"
                    "  const e = document.createElement(tag);"
                    "  e.onload = () => done({event: 'load', el: e});"
                    "  e.onerror = () => done({event: 'error', el: e});"
                    "  Object.assign(e, attrs);"
                    "  (tag === 'img' ? document.body : document.head).append(e);"
                    "});"
                    "</script>";

class Scheme : public PageTest {
protected:
  Scheme() : PageTest(INDEX) {}
  // Runs the body in the page and expects it to succeed.
};

TEST_F(Scheme, FetchedFilesArriveByteForByteWhateverTheirType) {
  // The launch already happened; files added now are served all the same,
  // since nothing is cached.
  const std::string bytes = everyByte();
  for (const char* name :
       {"data.js", "data.css", "data.json", "data.svg", "data.png", "data.woff2", "data.bin"})
    app.addResource(name, bytes);
  for (const char* name :
       {"data.js", "data.css", "data.json", "data.svg", "data.png", "data.woff2", "data.bin"}) {
    json got = run(std::string("return await hexOf('") + name + "');");
    EXPECT_EQ(got, hex(bytes)) << name;
  }
  // A file of no bytes at all is a file, not a missing one.
  app.addResource("empty.json", "");
  EXPECT_EQ(run("return await hexOf('empty.json');"), "");
}

TEST_F(Scheme, ALargeFileArrivesByteForByte) {
  // Larger than any buffer on the way, and never repeating, so a lost,
  // doubled or reordered piece changes the digest.
  std::string bytes(24 * 1024 * 1024 + 7, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x >> 24);
  }
  app.addResource("large.bin", bytes);
  gchar* digest = g_compute_checksum_for_data(
      G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  const std::string expected = std::to_string(bytes.size()) + ":" + digest;
  g_free(digest);
  json got = run("const b = await (await fetch('large.bin')).arrayBuffer();"
                 "const d = new Uint8Array(await crypto.subtle.digest('SHA-256', b));"
                 "return b.byteLength + ':' + "
                 "Array.from(d, (x) => x.toString(16).padStart(2, '0')).join('');");
  EXPECT_EQ(got, expected);
}

TEST_F(Scheme, OnlyTheLastPathComponentNamesTheFileAndTheHostIsIgnored) {
  app.addResource("data.json", "{\"k\":1}");
  const std::string want = hex("{\"k\":1}");
  EXPECT_EQ(run("return await hexOf('sub/dir/data.json');"), want);
  EXPECT_EQ(run("return await hexOf('data.json?x=1#top');"), want);
  EXPECT_EQ(run("return await hexOf('sub%2Fdata.json');"), want);
  // Another host is another origin, so fetch() would need CORS headers; an
  // image needs none and shows the same file.
  app.addResource("pic.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='7' height='5'/>");
  EXPECT_EQ(run("const r = await attach('img', {src: 'halvane://elsewhere/a/pic.svg'});"
                "return [r.event, r.el.naturalWidth];"),
            json::array({"load", 7}));
}

TEST_F(Scheme, AnyNameThatNamesNoFileIsAnsweredWithTheIndexPage) {
  const std::string index = hex(INDEX);
  EXPECT_EQ(run("return await hexOf('no-such-file.js');"), index);
  EXPECT_EQ(run("return await hexOf('deep/missing/page');"), index);
  EXPECT_EQ(run("return await hexOf('halvane://local');"), index);
  // Names are compared as written: a file Data.json is not data.json.
  app.addResource("Data.json", "{}");
  EXPECT_EQ(run("return await hexOf('data.json');"), index);
}

TEST_F(Scheme, NothingOutsideTheResourceFolderCanBeRead) {
  // A file right beside the resource folder, and one in its parent.
  writeFile(app.resources().parent_path() / "secret.txt", "beside");
  writeFile(app.root.path() / "secret.txt", "above");
  std::filesystem::create_directories(app.resources() / "folder");
  const std::string index = hex(INDEX);
  for (const char* url : {"..%2Fsecret.txt", "%2E%2E%2Fsecret.txt", "x%2F..%2F..%2Fsecret.txt",
                          "%2E%2E/%2E%2E/secret.txt", "..%5Csecret.txt"}) {
    EXPECT_EQ(run(std::string("return await hexOf('") + url + "');"), index) << url;
  }
  // Names of folders (the resource folder itself, its parent, a subfolder)
  // exist but cannot be read as files: the request fails, it is not
  // answered with the page.
  for (const char* url :
       {"halvane://local/", "x%2F..", "x%2F.", "folder", "folder/", "halvane://local/%2E%2E"}) {
    EXPECT_EQ(run(std::string("return await outcome('") + url + "');"), "failed") << url;
  }
  // The page itself still loads afterwards.
  EXPECT_EQ(run("return await outcome('index.html');"),
            "ok:" + std::to_string(std::string(INDEX).size()));
}

TEST_F(Scheme, ModuleScriptsRunOnlyWhenServedAsJavaScript) {
  const char* body = "window.ran = (window.ran || []).concat([import.meta.url.split('/').pop()]);";
  app.addResource("good.js", body);
  app.addResource("UPPER.JS", body);
  app.addResource("bad.mjs", body);
  app.addResource("bad.txt", body);
  app.addResource("bad.json", body);
  json got = run("const out = {};"
                 "for (const n of ['good.js', 'UPPER.JS', 'bad.mjs', 'bad.txt', 'bad.json'])"
                 "  out[n] = (await attach('script', {type: 'module', src: n})).event;"
                 "out.ran = window.ran || [];"
                 "return out;");
  EXPECT_EQ(got["good.js"], "load");
  EXPECT_EQ(got["UPPER.JS"], "load");
  EXPECT_EQ(got["bad.mjs"], "error");
  EXPECT_EQ(got["bad.txt"], "error");
  EXPECT_EQ(got["bad.json"], "error");
  EXPECT_EQ(got["ran"], json::array({"good.js", "UPPER.JS"}));
}

// The engine checks a stylesheet's type only against an HTTP Content-Type
// header, and the scheme's plain responses carry none (as on macOS), so a
// sheet under another type applies too. What can break is the delivery.
TEST_F(Scheme, StylesheetsLoadThroughLinkElements) {
  app.addResource("a.css", "#a{width:111px}");
  app.addResource("B.CSS", "#b{width:222px}");
  json got = run("const events = [];"
                 "for (const n of ['a.css', 'sub/B.CSS', 'missing.css'])"
                 "  events.push((await attach('link', {rel: 'stylesheet', href: n})).event);"
                 "const w = (id) => getComputedStyle(document.getElementById(id)).width;"
                 "return [events, w('a'), w('b')];");
  // missing.css is answered with the index page, as text/html: no rules.
  EXPECT_EQ(got, json::parse(R"([["load", "load", "load"], "111px", "222px"])"));
}

TEST_F(Scheme, SvgImagesShowOnlyWhenServedAsSvg) {
  const char* svg = "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='30'>"
                    "<rect width='40' height='30' fill='red'/></svg>";
  app.addResource("pic.svg", svg);
  app.addResource("pic.txt", svg);
  app.addResource("pic.bin", svg);
  json got = run("const out = {};"
                 "for (const n of ['pic.svg', 'pic.txt', 'pic.bin']) {"
                 "  const r = await attach('img', {src: n});"
                 "  out[n] = [r.event, r.el.naturalWidth];"
                 "}"
                 "return out;");
  EXPECT_EQ(got["pic.svg"], json::array({"load", 40}));
  EXPECT_EQ(got["pic.txt"][0], "error");
  EXPECT_EQ(got["pic.txt"][1], 0);
  EXPECT_EQ(got["pic.bin"][0], "error");
  EXPECT_EQ(got["pic.bin"][1], 0);
}

// A page that declares no encoding is still read as UTF-8: the scheme's
// answers name their encoding.
TEST(SchemeEncoding, APageWithoutACharsetIsReadAsUtf8) {
  systest::SystemApp app;
  app.addResource("index.html", "<!doctype html><title>批改计划</title><p id=t>三年二班 🐰</p>"
                                "<script src=s.js></script>");
  app.addResource("s.js", "window.fromScript = '作业';");
  app.launch();
  ASSERT_TRUE(app.waitForLoads(1));
  systest::ScriptResult r =
      app.evaluate("return [document.characterSet, document.getElementById('t').textContent,"
                   " document.title, window.fromScript];");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.value, json::array({"UTF-8", "三年二班 🐰", "批改计划", "作业"}));
  ASSERT_TRUE(systest::spinUntil([&] { return app.mainWindow().title() != APP_TITLE; }));
  EXPECT_EQ(app.mainWindow().title(), "批改计划");
}

} // namespace
