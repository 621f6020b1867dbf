#include "network/strict_json.h"

namespace quinterra {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<TJsonValue> Document(int max_depth) {
    std::optional<TJsonValue> value = Value(max_depth);
    SkipBlanks();
    if (!value || pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  int Peek() {
    SkipBlanks();
    return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1;
  }

  std::optional<TJsonValue> Value(int depth) {
    const int c = Peek();
    if (c == '"') {
      TJsonValue value;
      if (!String(value.Text)) return std::nullopt;
      return value;
    }
    if (c == '-' || (c >= '0' && c <= '9')) return Integer();
    if (depth <= 0) return std::nullopt;
    if (c == '[') return Array(depth - 1);
    if (c == '{') return Object(depth - 1);
    return std::nullopt;
  }

  std::optional<TJsonValue> Integer() {
    const bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    const size_t first = pos_;
    int64_t number = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      number = number * 10 + (text_[pos_] - '0');
      if (number > kMaxJsonInteger) return std::nullopt;
      ++pos_;
    }
    const size_t digits = pos_ - first;
    if (digits == 0 || (digits > 1 && text_[first] == '0')) return std::nullopt;
    // A fraction or an exponent is not an integer, whatever its value.
    if (pos_ < text_.size() && (text_[pos_] == '.' || text_[pos_] == 'e' || text_[pos_] == 'E'))
      return std::nullopt;
    TJsonValue value;
    value.Type = TJsonValue::Kind::Integer;
    value.Number = negative ? -number : number;
    return value;
  }

  std::optional<TJsonValue> Array(int depth) {
    TJsonValue value;
    value.Type = TJsonValue::Kind::Array;
    ++pos_;
    if (Take(']')) return value;
    do {
      std::optional<TJsonValue> item = Value(depth);
      if (!item) return std::nullopt;
      value.Items.push_back(std::move(*item));
    } while (Take(','));
    if (!Take(']')) return std::nullopt;
    return value;
  }

  std::optional<TJsonValue> Object(int depth) {
    TJsonValue value;
    value.Type = TJsonValue::Kind::Object;
    ++pos_;
    if (Take('}')) return value;
    do {
      std::string key;
      if (Peek() != '"' || !String(key) || !Take(':')) return std::nullopt;
      std::optional<TJsonValue> member = Value(depth);
      if (!member) return std::nullopt;
      if (!value.Members.emplace(std::move(key), std::move(*member)).second) return std::nullopt;
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return value;
  }

  bool Hex4(uint32_t& code) {
    if (text_.size() - pos_ < 4) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      code <<= 4;
      if (c >= '0' && c <= '9') code |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') code |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') code |= static_cast<uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  static void PutUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // One UTF-8 sequence starting at pos_, copied to out; false when invalid
  // (overlong forms, surrogates and code points past U+10FFFF included).
  bool Utf8Sequence(std::string& out) {
    const unsigned char lead = static_cast<unsigned char>(text_[pos_]);
    int length;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return false;
    if (text_.size() - pos_ < static_cast<size_t>(length)) return false;
    for (int i = 1; i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text_[pos_ + static_cast<size_t>(i)]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
      return false;
    out.append(text_.substr(pos_, static_cast<size_t>(length)));
    pos_ += static_cast<size_t>(length);
    return true;
  }

  bool String(std::string& out) {
    ++pos_;  // the opening quote
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return false;
      if (c >= 0x80) {
        if (!Utf8Sequence(out)) return false;
        continue;
      }
      ++pos_;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (pos_ >= text_.size()) return false;
      const char escape = text_[pos_++];
      switch (escape) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t code;
          if (!Hex4(code)) return false;
          if (code >= 0xDC00 && code <= 0xDFFF) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low;
            if (text_.substr(pos_, 2) != "\\u") return false;
            pos_ += 2;
            if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          PutUtf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const TJsonValue* TJsonValue::Member(const std::string& key) const {
  const auto found = Members.find(key);
  return found == Members.end() ? nullptr : &found->second;
}

const TJsonValue* TJsonValue::Member(const std::string& key, Kind kind) const {
  const TJsonValue* value = Member(key);
  return value && value->Type == kind ? value : nullptr;
}

bool TJsonValue::HasExactly(std::initializer_list<const char*> keys) const {
  if (Type != Kind::Object || Members.size() != keys.size()) return false;
  for (const char* key : keys)
    if (!Member(key)) return false;
  return true;
}

std::optional<TJsonValue> ParseStrictJson(std::string_view text, int max_depth) {
  return Reader(text).Document(max_depth);
}

std::string JsonQuote(const std::string& utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace quinterra
