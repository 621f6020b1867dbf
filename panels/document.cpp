#include "panels/document.h"

#include <algorithm>

namespace quinterra {

namespace {

constexpr char kQuote = '"';
constexpr char kSeparator = ',';

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Codes 0 to 32 other than the line ends: skipped around items and ending
// an unquoted item. NUL is among them so that a stray NUL can neither stop
// the reading early nor leave the reader stuck on it.
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32 && !IsLineEnd(c);
}

bool NeedsQuotes(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= 32 || c == kSeparator || c == kQuote) return true;
  }
  return false;
}

void AppendQuoted(std::string& out, const std::string& text) {
  out += kQuote;
  for (char c : text) {
    if (c == kQuote) out += kQuote;
    out += c;
  }
  out += kQuote;
}

class LineReader {
 public:
  explicit LineReader(const std::string& contents) : s_(contents) {}

  std::vector<std::string> Items() {
    std::vector<std::string> items;
    SkipBlanks();
    while (!AtLineEnd()) {
      items.push_back(s_[pos_] == kQuote ? QuotedItem() : PlainItem());
      SkipBlanks();
      if (!AtLineEnd() && s_[pos_] == kSeparator) {
        ++pos_;
        SkipBlanks();
        // A separator with nothing after it closes one more, empty, item.
        if (AtLineEnd()) items.emplace_back();
      }
    }
    return items;
  }

 private:
  bool AtLineEnd() const { return pos_ >= s_.size() || IsLineEnd(s_[pos_]); }

  void SkipBlanks() {
    while (pos_ < s_.size() && IsBlank(s_[pos_])) ++pos_;
  }

  std::string PlainItem() {
    const size_t start = pos_;
    while (pos_ < s_.size() && static_cast<unsigned char>(s_[pos_]) > 32 &&
           s_[pos_] != kSeparator) {
      ++pos_;
    }
    return s_.substr(start, pos_ - start);
  }

  // From the opening quote to its closing quote; a doubled quote stands for
  // one. Line breaks inside quotes belong to the item, so that every text
  // reads back as it was written. A quote that is never closed takes the
  // rest of its own line only.
  std::string QuotedItem() {
    const size_t opening = pos_;
    std::string item;
    if (ReadQuoted(opening, s_.size(), item)) return item;
    size_t line_end = opening;
    while (line_end < s_.size() && !IsLineEnd(s_[line_end])) ++line_end;
    item.clear();
    ReadQuoted(opening, line_end, item);
    pos_ = line_end;
    return item;
  }

  // Reads the quoted item starting at opening, not looking at or beyond
  // limit; true when its closing quote was found (pos_ then follows it).
  bool ReadQuoted(size_t opening, size_t limit, std::string& item) {
    size_t i = opening + 1;
    while (i < limit) {
      if (s_[i] != kQuote) {
        item += s_[i++];
      } else if (i + 1 < limit && s_[i + 1] == kQuote) {
        item += kQuote;
        i += 2;
      } else {
        pos_ = i + 1;
        return true;
      }
    }
    return false;
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

std::string FormatDocument(const std::vector<std::string>& texts) {
  std::string line;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) line += kSeparator;
    // A lone empty item is quoted, otherwise the line would read back as no
    // items at all; a document of many cells never needs this.
    if (NeedsQuotes(texts[i]) || (texts.size() == 1 && texts[i].empty())) {
      AppendQuoted(line, texts[i]);
    } else {
      line += texts[i];
    }
  }
  line += "\r\n";
  return line;
}

std::vector<std::string> ParseDocument(const std::string& contents) {
  return LineReader(contents).Items();
}

void ApplyDocumentItems(const std::vector<std::string>& items, std::vector<TCasilla>& cells) {
  const size_t count = std::min(items.size(), cells.size());
  for (size_t i = 0; i < count; ++i) cells[i].Text = items[i];
}

}  // namespace quinterra
