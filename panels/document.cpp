#include "panels/document.h"

#include <algorithm>
#include <string_view>

namespace quinterra {

namespace {

constexpr char kQuote = '"';
constexpr char kSeparator = ',';

// Codes 0 to 32: skipped around items and ending an unquoted item. NUL is
// among them so that a stray NUL can neither stop the reading early nor
// leave the reader stuck on it.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

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
  explicit LineReader(const std::string& contents) : line_(FirstLine(contents)) {}

  std::vector<std::string> Items() {
    std::vector<std::string> items;
    SkipBlanks();
    while (!AtLineEnd()) {
      items.push_back(line_[pos_] == kQuote ? QuotedItem() : PlainItem());
      SkipBlanks();
      if (!AtLineEnd() && line_[pos_] == kSeparator) {
        ++pos_;
        // Only a separator that ends the line closes one more, empty, item;
        // one followed by blanks alone does not.
        if (AtLineEnd()) items.emplace_back();
        SkipBlanks();
      }
    }
    return items;
  }

 private:
  // The first line alone is read: nothing, not even an open quote, reaches
  // beyond its end.
  static std::string_view FirstLine(const std::string& contents) {
    const std::string_view all(contents);
    return all.substr(0, all.find_first_of("\r\n"));
  }

  bool AtLineEnd() const { return pos_ >= line_.size(); }

  void SkipBlanks() {
    while (!AtLineEnd() && IsBlank(line_[pos_])) ++pos_;
  }

  std::string PlainItem() {
    const size_t start = pos_;
    while (!AtLineEnd() && !IsBlank(line_[pos_]) && line_[pos_] != kSeparator) ++pos_;
    return std::string(line_.substr(start, pos_ - start));
  }

  // From the opening quote to its closing quote; a doubled quote stands for
  // one. A quote that is never closed takes the rest of the line.
  std::string QuotedItem() {
    std::string item;
    ++pos_;
    while (!AtLineEnd()) {
      if (line_[pos_] != kQuote) {
        item += line_[pos_++];
      } else if (pos_ + 1 < line_.size() && line_[pos_ + 1] == kQuote) {
        item += kQuote;
        pos_ += 2;
      } else {
        ++pos_;
        break;
      }
    }
    return item;
  }

  const std::string_view line_;
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
