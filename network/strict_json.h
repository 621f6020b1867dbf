#pragma once
// A strict reader for the JSON of publications, which come from the network
// and are checked before anything else reads them: objects, arrays, strings
// and integers only, strings valid UTF-8 without raw control characters, no
// duplicate keys, no fractions or exponents, nothing after the value, a
// bounded depth. Anything else is refused, never guessed at.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quinterra {

struct TJsonValue {
  enum class Kind { String, Integer, Array, Object };
  Kind Type = Kind::String;
  std::string Text;  // String: UTF-8
  int64_t Number = 0;
  std::vector<TJsonValue> Items;
  std::map<std::string, TJsonValue> Members;

  const TJsonValue* Member(const std::string& key) const;
  // The member of that kind, or null.
  const TJsonValue* Member(const std::string& key, Kind kind) const;
  // An object with exactly these members, no more.
  bool HasExactly(std::initializer_list<const char*> keys) const;
};

// Integers beyond this lose nothing in any JSON reader (doubles).
constexpr int64_t kMaxJsonInteger = (int64_t{1} << 53) - 1;

std::optional<TJsonValue> ParseStrictJson(std::string_view text, int max_depth = 3);

// A JSON string literal of utf8 (quotes included); control characters and
// the two that need it are escaped, everything else is written as it is.
std::string JsonQuote(const std::string& utf8);

}  // namespace quinterra
