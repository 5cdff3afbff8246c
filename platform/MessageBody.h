#pragma once

// Turning what WebKit hands over as a script message body (Foundation objects
// on macOS, JavaScriptCore values on GTK) into JSON, within limits. The walk
// and its rules are here, free of either engine, so they are compiled and
// tested on every platform; the backend only supplies a reader that says what
// each native value is.

#include "platform/Utf8.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Deeper bodies are refused: a page can post a cyclic or absurdly nested
// object, and the walk must not run out of stack on it.
inline constexpr int MAX_BODY_NESTING = 64;

// What reading one body may cost at most. A body over any limit is dropped
// whole, as soon as the limit is seen to be passed.
struct BodyLimits {
  // UTF-8 bytes of all its strings, keys included.
  std::size_t stringBytes = std::size_t(256) << 20;
  // Array elements and object members, in total. An array counts by its
  // length, holes included: a sparse array costs what it claims.
  std::size_t members = 100000;
  int nesting = MAX_BODY_NESTING;
};

enum class BodyKind {
  Null,
  Boolean,
  Integer,  // a signed integer number
  Unsigned, // an unsigned integer number
  Floating, // a floating-point number, as every JavaScript number arrives
  String,
  Array,
  Dictionary,
  Other, // dates, data, anything JSON has no form for
};

// A JavaScript number as the page's own JSON.stringify would write it and a
// JSON parser would read it back: integral values within 64 bits become
// integers (so 5 arrives as 5, not 5.0), other finite values stay floating
// point, and NaN and the infinities become null.
nlohmann::json jsonFromNumber(double value);

// Converts one value within limits. Reader supplies, for its Value type:
//   BodyKind kind(Value) const;
//   bool boolean(Value) const;
//   std::int64_t integer(Value) const;
//   std::uint64_t unsignedInteger(Value) const;
//   double floating(Value) const;
//   // The text as UTF-8, exactly (NULs included); nothing when it cannot be
//   // converted exactly (an unpaired surrogate) or takes more than maxBytes.
//   // Must find out the length before converting a text that is too long.
//   std::optional<std::string> utf8(Value, std::size_t maxBytes) const;
//   // An array's length, holes included; nothing when it has none.
//   std::optional<std::size_t> elementCount(Value) const;
//   template <class F> bool forEachElement(Value, F each) const;
//   template <class F> bool forEachEntry(Value, F each) const;
// where each(...) returns false to stop the walk, and forEachElement/Entry
// return false when stopped. forEachEntry passes (key, value), both Values.
//
// The result is empty when any part of the value has no JSON form (a kind
// Other, a dictionary key that is not a string, text that is not valid
// Unicode) or the value is over a limit.
template <class Reader, class Value>
std::optional<nlohmann::json> convertBody(const Reader& reader, Value value,
                                          const BodyLimits& limits = {});

namespace detail {

struct BodyBudget {
  std::size_t stringBytes;
  std::size_t members;
  int nesting;
};

template <class Reader, class Value>
std::optional<std::string> readText(const Reader& reader, Value value, BodyBudget& budget) {
  std::optional<std::string> text = reader.utf8(value, budget.stringBytes);
  if (!text || text->size() > budget.stringBytes || !isValidUtf8(*text))
    return std::nullopt;
  budget.stringBytes -= text->size();
  return text;
}

template <class Reader, class Value>
std::optional<nlohmann::json> convert(const Reader& reader, Value value, BodyBudget& budget,
                                      int nesting) {
  switch (reader.kind(value)) {
  case BodyKind::Null:
    return nlohmann::json(nullptr);
  case BodyKind::Boolean:
    return nlohmann::json(reader.boolean(value));
  case BodyKind::Integer:
    return nlohmann::json(reader.integer(value));
  case BodyKind::Unsigned:
    return nlohmann::json(reader.unsignedInteger(value));
  case BodyKind::Floating:
    return jsonFromNumber(reader.floating(value));
  case BodyKind::String: {
    std::optional<std::string> text = readText(reader, value, budget);
    if (!text)
      return std::nullopt;
    return nlohmann::json(std::move(*text));
  }
  case BodyKind::Array: {
    if (nesting >= budget.nesting)
      return std::nullopt;
    // Counted before a single element is read.
    std::optional<std::size_t> count = reader.elementCount(value);
    if (!count || *count > budget.members)
      return std::nullopt;
    budget.members -= *count;
    nlohmann::json array = nlohmann::json::array();
    array.get_ref<nlohmann::json::array_t&>().reserve(*count);
    std::size_t read = 0;
    bool complete = reader.forEachElement(value, [&](Value element) {
      if (++read > *count)
        return false;
      std::optional<nlohmann::json> converted = convert(reader, element, budget, nesting + 1);
      if (!converted)
        return false;
      array.push_back(std::move(*converted));
      return true;
    });
    if (!complete)
      return std::nullopt;
    return array;
  }
  case BodyKind::Dictionary: {
    if (nesting >= budget.nesting)
      return std::nullopt;
    nlohmann::json object = nlohmann::json::object();
    bool complete = reader.forEachEntry(value, [&](Value key, Value entry) {
      if (budget.members == 0)
        return false;
      --budget.members;
      if (reader.kind(key) != BodyKind::String)
        return false;
      std::optional<std::string> name = readText(reader, key, budget);
      if (!name)
        return false;
      std::optional<nlohmann::json> converted = convert(reader, entry, budget, nesting + 1);
      if (!converted)
        return false;
      object[std::move(*name)] = std::move(*converted);
      return true;
    });
    if (!complete)
      return std::nullopt;
    return object;
  }
  case BodyKind::Other:
    break;
  }
  return std::nullopt;
}

} // namespace detail

template <class Reader, class Value>
std::optional<nlohmann::json> convertBody(const Reader& reader, Value value,
                                          const BodyLimits& limits) {
  detail::BodyBudget budget{limits.stringBytes, limits.members, limits.nesting};
  return detail::convert(reader, value, budget, 0);
}

} // namespace platform
