// The rules by which the macOS backend turns a posted script value into JSON,
// driven through a reader over a small in-memory tree instead of Foundation
// objects.

#include "platform/MessageBody.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

using platform::BodyKind;
using platform::convertBody;
using platform::isValidUtf8;
using platform::jsonFromNumber;
using platform::MAX_BODY_NESTING;

namespace {

struct Node {
  BodyKind kind = BodyKind::Null;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsignedInteger = 0;
  double floating = 0;
  // Empty for a string the engine cannot encode as UTF-8.
  std::optional<std::string> text;
  std::vector<Node> elements;
  // Parallel lists: a pair of an incomplete type cannot be stored.
  std::vector<Node> keys;
  std::vector<Node> values;
};

struct TreeReader {
  BodyKind kind(const Node* n) const { return n->kind; }
  bool boolean(const Node* n) const { return n->boolean; }
  std::int64_t integer(const Node* n) const { return n->integer; }
  std::uint64_t unsignedInteger(const Node* n) const { return n->unsignedInteger; }
  double floating(const Node* n) const { return n->floating; }
  std::optional<std::string> utf8(const Node* n, std::size_t) const { return n->text; }
  std::optional<std::size_t> elementCount(const Node* n) const { return n->elements.size(); }
  template <class F> bool forEachElement(const Node* n, F each) const {
    for (const Node& element : n->elements)
      if (!each(&element))
        return false;
    return true;
  }
  template <class F> bool forEachEntry(const Node* n, F each) const {
    for (std::size_t i = 0; i < n->keys.size(); ++i)
      if (!each(&n->keys[i], &n->values[i]))
        return false;
    return true;
  }
};

// Every array holds itself.
struct CyclicReader : TreeReader {
  std::optional<std::size_t> elementCount(const Node*) const { return 1; }
  template <class F> bool forEachElement(const Node* n, F each) const { return each(n); }
};

Node null() {
  return Node{};
}
Node boolean(bool b) {
  Node n;
  n.kind = BodyKind::Boolean;
  n.boolean = b;
  return n;
}
Node number(double d) {
  Node n;
  n.kind = BodyKind::Floating;
  n.floating = d;
  return n;
}
Node integer(std::int64_t i) {
  Node n;
  n.kind = BodyKind::Integer;
  n.integer = i;
  return n;
}
Node unsignedInteger(std::uint64_t u) {
  Node n;
  n.kind = BodyKind::Unsigned;
  n.unsignedInteger = u;
  return n;
}
Node string(std::optional<std::string> text) {
  Node n;
  n.kind = BodyKind::String;
  n.text = std::move(text);
  return n;
}
Node other() {
  Node n;
  n.kind = BodyKind::Other;
  return n;
}
Node array(std::vector<Node> elements) {
  Node n;
  n.kind = BodyKind::Array;
  n.elements = std::move(elements);
  return n;
}
Node dictionary(std::vector<std::pair<Node, Node>> entries) {
  Node n;
  n.kind = BodyKind::Dictionary;
  for (auto& [key, value] : entries) {
    n.keys.push_back(std::move(key));
    n.values.push_back(std::move(value));
  }
  return n;
}

std::optional<nlohmann::json> convert(const Node& node) {
  return convertBody(TreeReader{}, &node);
}

// Claims ten million elements for every array and fails if one is read.
struct ClaimingReader : TreeReader {
  std::optional<std::size_t> elementCount(const Node*) const { return 10'000'000; }
  template <class F> bool forEachElement(const Node*, F) const {
    ADD_FAILURE() << "elements read";
    return false;
  }
};

// A surrogate code point as some encoders write it (CESU-8), not valid UTF-8.
const std::string LONE_SURROGATE = "\xED\xA0\x80";

} // namespace

TEST(MessageBodyNumbers, WrittenAsTheJsonTextOfTheSameJavaScriptNumber) {
  // The page's number, and what JSON.stringify followed by a JSON parse gives.
  EXPECT_EQ(jsonFromNumber(5.0).dump(), "5");
  EXPECT_TRUE(jsonFromNumber(5.0).is_number_integer());
  EXPECT_EQ(jsonFromNumber(-3.0).dump(), "-3");
  EXPECT_EQ(jsonFromNumber(-0.0).dump(), "0");
  EXPECT_TRUE(jsonFromNumber(2.5).is_number_float());
  EXPECT_DOUBLE_EQ(jsonFromNumber(2.5).get<double>(), 2.5);
  // 1e20 does not fit 64 bits: it stays a float, so a 64-bit count rejects it.
  EXPECT_TRUE(jsonFromNumber(1e20).is_number_float());
  EXPECT_TRUE(jsonFromNumber(std::nan("")).is_null());
  EXPECT_TRUE(jsonFromNumber(std::numeric_limits<double>::infinity()).is_null());
  EXPECT_TRUE(jsonFromNumber(-std::numeric_limits<double>::infinity()).is_null());
}

TEST(MessageBodyNumbers, SixtyFourBitEdgesConvertExactly) {
  const double twoTo63 = 9223372036854775808.0;
  nlohmann::json lowest = jsonFromNumber(-twoTo63);
  ASSERT_TRUE(lowest.is_number_integer());
  EXPECT_EQ(lowest.get<std::int64_t>(), std::numeric_limits<std::int64_t>::min());
  nlohmann::json high = jsonFromNumber(twoTo63);
  ASSERT_TRUE(high.is_number_unsigned());
  EXPECT_EQ(high.get<std::uint64_t>(), std::uint64_t{1} << 63);
  // Just below 2^64 is the largest double under it; 2^64 itself does not fit.
  EXPECT_TRUE(jsonFromNumber(std::nextafter(18446744073709551616.0, 0.0)).is_number_unsigned());
  EXPECT_TRUE(jsonFromNumber(18446744073709551616.0).is_number_float());
  EXPECT_TRUE(jsonFromNumber(-twoTo63 * 2).is_number_float());
}

TEST(MessageBodyUtf8, AcceptsWellFormedText) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("report.json"));
  EXPECT_TRUE(isValidUtf8("导出失败"));
  EXPECT_TRUE(isValidUtf8("\xF0\x9F\x90\xB0"));         // U+1F430
  EXPECT_TRUE(isValidUtf8(std::string("a\0b", 3)));     // NUL is a character
  EXPECT_TRUE(isValidUtf8("\xEF\xBF\xBF"));             // U+FFFF
  EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));         // U+10FFFF, the last
  EXPECT_TRUE(isValidUtf8("\xED\x9F\xBF\xEE\x80\x80")); // either side of the surrogates
}

TEST(MessageBodyUtf8, RejectsWhatJsonCannotCarry) {
  EXPECT_FALSE(isValidUtf8(LONE_SURROGATE));
  EXPECT_FALSE(isValidUtf8("\xED\xBF\xBF")); // U+DFFF
  EXPECT_FALSE(isValidUtf8("\xC0\x80"));     // overlong NUL
  EXPECT_FALSE(isValidUtf8("\xC1\xBF"));
  EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF")); // overlong '/'
  EXPECT_FALSE(isValidUtf8("\xF0\x80\x80\xAF"));
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
  EXPECT_FALSE(isValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_FALSE(isValidUtf8("\xFF"));
  EXPECT_FALSE(isValidUtf8("\x80"));         // stray continuation
  EXPECT_FALSE(isValidUtf8("\xE5\xAF"));     // cut short at the end
  EXPECT_FALSE(isValidUtf8("\xE5\x41\x41")); // cut short in the middle
}

TEST(MessageBodyConversion, ScalarsKeepTheirKinds) {
  EXPECT_EQ(convert(null()), nlohmann::json(nullptr));
  EXPECT_EQ(convert(boolean(true)), nlohmann::json(true));
  EXPECT_EQ(convert(boolean(false)), nlohmann::json(false));
  EXPECT_EQ(convert(integer(-7)), nlohmann::json(-7));
  EXPECT_EQ(convert(unsignedInteger(std::numeric_limits<std::uint64_t>::max())),
            nlohmann::json(std::numeric_limits<std::uint64_t>::max()));
  std::optional<nlohmann::json> whole = convert(number(4));
  ASSERT_TRUE(whole);
  EXPECT_TRUE(whole->is_number_integer());
  EXPECT_EQ(convert(string("halvane")), nlohmann::json("halvane"));
  EXPECT_EQ(convert(other()), std::nullopt);
}

TEST(MessageBodyConversion, ObjectsAndArraysConvertWhole) {
  Node save = dictionary({{string("name"), string("report.json")},
                          {string("data"), string("eyJhIjoxfQ==")},
                          {string("list"), array({number(1), boolean(true), null()})}});
  std::optional<nlohmann::json> body = convert(save);
  ASSERT_TRUE(body);
  EXPECT_EQ(*body, nlohmann::json::parse(
                       R"({"name":"report.json","data":"eyJhIjoxfQ==","list":[1,true,null]})"));
  EXPECT_EQ(convert(dictionary({})), nlohmann::json::object());
  EXPECT_EQ(convert(array({})), nlohmann::json::array());
}

TEST(MessageBodyConversion, AnyUnrepresentablePartEmptiesTheWholeBody) {
  // Text the engine could not encode, deep inside.
  EXPECT_EQ(convert(array({string("ok"), array({string(std::nullopt)})})), std::nullopt);
  // Text that came out as bytes but is not valid UTF-8.
  EXPECT_EQ(convert(dictionary({{string("n"), string(LONE_SURROGATE)}})), std::nullopt);
  // Keys must be strings, and valid ones.
  EXPECT_EQ(convert(dictionary({{number(1), string("x")}})), std::nullopt);
  EXPECT_EQ(convert(dictionary({{string(LONE_SURROGATE), string("x")}})), std::nullopt);
  EXPECT_EQ(convert(dictionary({{string(std::nullopt), string("x")}})), std::nullopt);
  // A date, data or anything else JSON has no form for.
  EXPECT_EQ(convert(dictionary({{string("when"), other()}})), std::nullopt);
}

TEST(MessageBodyConversion, AConvertedBodyAlwaysWritesOut) {
  // What the conversion lets through never makes json::dump throw.
  Node body = dictionary({{string("名"), string("🐰 \xE2\x80\xA8 \"q\"")},
                          {string("n"), number(1e300)},
                          {string("x"), number(std::nan(""))}});
  std::optional<nlohmann::json> converted = convert(body);
  ASSERT_TRUE(converted);
  std::string text;
  EXPECT_NO_THROW(text = converted->dump());
  EXPECT_EQ(nlohmann::json::parse(text)["x"], nlohmann::json(nullptr));
}

TEST(MessageBodyConversion, NestingIsLimited) {
  auto nestedArrays = [](int levels) {
    Node node = number(1);
    for (int i = 0; i < levels; ++i)
      node = array({node});
    return node;
  };
  auto nestedObjects = [](int levels) {
    Node node = string("leaf");
    for (int i = 0; i < levels; ++i)
      node = dictionary({{string("k"), node}});
    return node;
  };
  EXPECT_TRUE(convert(nestedArrays(MAX_BODY_NESTING)));
  EXPECT_EQ(convert(nestedArrays(MAX_BODY_NESTING + 1)), std::nullopt);
  EXPECT_TRUE(convert(nestedObjects(MAX_BODY_NESTING)));
  EXPECT_EQ(convert(nestedObjects(MAX_BODY_NESTING + 1)), std::nullopt);

  // A cycle, as a structured clone of a self-referencing object would give.
  Node loop;
  loop.kind = BodyKind::Array;
  EXPECT_EQ(convertBody(CyclicReader{}, static_cast<const Node*>(&loop)), std::nullopt);
}

TEST(MessageBodyConversion, BodiesOverALimitAreDroppedBeforeTheirPartsAreRead) {
  platform::BodyLimits limits{10, 5, 3};
  auto within = [&](const Node& node) { return convertBody(TreeReader{}, &node, limits); };
  // An array counts by its length before any element is read: a reader that
  // claims ten million elements is never walked.
  Node claimed = array({});
  EXPECT_EQ(convertBody(ClaimingReader{}, static_cast<const Node*>(&claimed), limits),
            std::nullopt);

  // Elements and members count together, keys and texts together.
  EXPECT_TRUE(within(array({number(1), number(2), dictionary({{string("a"), number(3)}})})));
  EXPECT_EQ(within(array({number(1), number(2),
                          dictionary({{string("a"), number(3)},
                                      {string("b"), number(4)},
                                      {string("c"), number(5)}})})),
            std::nullopt);
  EXPECT_TRUE(within(dictionary({{string("name"), string("abcdef")}})));
  EXPECT_EQ(within(dictionary({{string("name"), string("abcdefg")}})), std::nullopt);
  EXPECT_EQ(within(string(std::string(11, 'x'))), std::nullopt);
  // Depth as set, for arrays and objects alike.
  EXPECT_TRUE(within(array({array({array({})})})));
  EXPECT_EQ(within(array({array({array({array({})})})})), std::nullopt);
  // Text is kept exactly, NULs included.
  EXPECT_EQ(within(string(std::string("a\0b", 3))), nlohmann::json(std::string("a\0b", 3)));
}
