#include "bridge/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Plain RFC 4648 encoding, padded, as FileReader.readAsDataURL writes it.
std::string encode(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                 static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], alphabet[v & 63]};
  }
  if (bytes.size() - i == 1) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], '=', '='};
  } else if (bytes.size() - i == 2) {
    unsigned v =
        static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '='};
  }
  return out;
}

std::string allBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b)
    bytes.push_back(static_cast<char>(b));
  return bytes;
}

} // namespace

TEST(Base64, EveryByteValueRoundTripsAtEveryPaddingLength) {
  const std::string bytes = allBytes();
  EXPECT_EQ(decodeBase64(encode(bytes)), bytes);
  // Each value in the first, second and third place of a group, and every
  // tail length, so each padding form is decoded.
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    EXPECT_EQ(decodeBase64(encode(one)), one) << b;
    EXPECT_EQ(decodeBase64(encode("x" + one)), "x" + one) << b;
    EXPECT_EQ(decodeBase64(encode("xy" + one)), "xy" + one) << b;
  }
  for (std::size_t n = 0; n <= bytes.size(); ++n)
    EXPECT_EQ(decodeBase64(encode(bytes.substr(256 - n))), bytes.substr(256 - n)) << n;
  EXPECT_EQ(decodeBase64("aGVsbG8="), "hello");
}

TEST(Base64, SkipsAsciiWhitespaceAnywhere) {
  const std::string bytes = allBytes();
  std::string encoded = encode(bytes);
  std::string wrapped;
  const std::string spaces[] = {" ", "\t", "\n", "\v", "\f", "\r", "\r\n", "  \n "};
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    wrapped += encoded[i];
    if (i % 7 == 3)
      wrapped += spaces[i % 8];
  }
  EXPECT_EQ(decodeBase64(" \n" + wrapped + "\r\n"), bytes);
  EXPECT_EQ(decodeBase64("aG Vs\nbG8\t="), "hello");
  EXPECT_EQ(decodeBase64("aGVsbA= =\n"), "hell");
  EXPECT_EQ(decodeBase64(""), "");
  EXPECT_EQ(decodeBase64(" \r\n\t"), "");
}

TEST(Base64, RefusesTextThatIsNotExactlyStandardBase64) {
  const std::vector<std::string> bad{
      "aGVsbG8",      // unpadded
      "aGVsbA",       // unpadded
      "aGVsb",        // a lone symbol at the end
      "a",            //
      "aGVs=bG8",     // padding in the middle
      "aGVsbG8=aGVs", // data after a padded group
      "aGVsbA====",   // too much padding
      "aGVsbA=",      // padding that does not fill the group
      "a===",         // three padding symbols
      "====",         //
      "=",            //
      "aGVs-G8=",     // the URL-safe alphabet
      "aGVs_G8=",     //
      "aGVs\xc2\xa0"
      "bG8=",          // nor is a no-break space
      "aGVs.bG8=",     //
      "data:aGVsbG8=", // a data URL head
  };
  for (const std::string& text : bad)
    EXPECT_EQ(decodeBase64(text), std::nullopt) << text;
  // NUL is no whitespace, inside or at the end.
  EXPECT_EQ(decodeBase64(std::string("aGVs\0bG8=", 9)), std::nullopt);
  EXPECT_EQ(decodeBase64(std::string("aGVsbG8=\0", 9)), std::nullopt);
}

TEST(Base64, IgnoresUnusedBitsOfTheLastSymbol) {
  // "QQ==" is "A"; "QR==" and "QUI=" vs "QUJ=" differ only in bits no byte uses.
  EXPECT_EQ(decodeBase64("QR=="), "A");
  EXPECT_EQ(decodeBase64("QUJ="), "AB");
}
