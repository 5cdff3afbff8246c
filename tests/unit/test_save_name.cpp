#include "system/SaveDestination.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {
const std::string R = "\xEF\xBF\xBD"; // U+FFFD
}

TEST(SaveName, KeepsOrdinaryNames) {
  for (std::string name : {"report.json", "报告 2024.csv", "...", ".hidden", "a\\b", "a:b", " ",
                           "\xF0\x9F\x98\x80.txt", "\xC2\x80"})
    EXPECT_EQ(cleanFileName(name), name);
}

TEST(SaveName, ReplacesSeparatorsAndControlCharacters) {
  const std::vector<std::pair<std::string, std::string>> table{
      {"a/b/c.txt", "a_b_c.txt"},
      {"/", "_"},
      {"../x", ".._x"},
      {"./", "._"},
      {std::string("a\0b", 3), "a_b"},
      {"\t\n\r\x1f", "____"},
      {"\x01\x7f", "__"},
      {"name\n.json", "name_.json"},
  };
  for (const auto& [in, out] : table)
    EXPECT_EQ(cleanFileName(in), out) << in;
}

TEST(SaveName, NamesOfFoldersLeaveTheFieldEmpty) {
  EXPECT_EQ(cleanFileName(""), "");
  EXPECT_EQ(cleanFileName("."), "");
  EXPECT_EQ(cleanFileName(".."), "");
  // Replacements are not dropped to reach these.
  EXPECT_EQ(cleanFileName("./"), "._");
}

TEST(SaveName, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  const std::vector<std::pair<std::string, std::string>> table{
      {"\xFF", R},
      {"a\xC3", "a" + R},                       // cut short at the end
      {"\xE2\x82x", R + "x"},                   // cut short: one mark for the whole beginning
      {"\xC0\xAF", R + R},                      // an overlong "/" stays no "/"
      {"\xE0\x80\xAF", R + R + R},              // overlong in three bytes
      {"\xED\xA0\x80", R + R + R},              // a surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},      // above U+10FFFF
      {"\xF5\x80", R + R},                      //
      {"\x80report", R + "report"},             // a stray continuation byte
      {"\xE4\xB8", R},                          //
      {"\xE4\xB8\xAD\xE6", "\xE4\xB8\xAD" + R}, // "中" then a cut
  };
  for (const auto& [in, out] : table)
    EXPECT_EQ(cleanFileName(in), out) << in;
}
