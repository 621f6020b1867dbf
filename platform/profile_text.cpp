#include "platform/profile_text.h"

#include <algorithm>
#include <string_view>

#include "platform/codepage1252.h"

namespace quinterra {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string WithoutLineBreaks(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// What one line of a profile file is.
struct ParsedLine {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
};

ParsedLine Parse(std::string_view line) {
  ParsedLine parsed;
  const std::string_view text = Trim(line);
  if (text.empty() || text.front() == ';') return parsed;
  if (text.front() == '[') {
    // The last ']' closes the name, so a name may hold ']' itself.
    const std::size_t close = text.rfind(']');
    const std::size_t end = close == std::string_view::npos || close == 0 ? text.size() : close;
    parsed.kind = ParsedLine::kSection;
    parsed.name = Trim(text.substr(1, end - 1));
    return parsed;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return parsed;
  parsed.name = Trim(text.substr(0, equals));
  if (parsed.name.empty()) return parsed;
  parsed.kind = ParsedLine::kKey;
  parsed.value = Trim(text.substr(equals + 1));
  return parsed;
}

}  // namespace

ProfileText ProfileText::FromFileBytes(const std::string& bytes) {
  ProfileText profile;
  std::string text;
  if (bytes.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) {
    profile.encoding_ = Encoding::kUtf8WithBom;
    text = bytes.substr(kUtf8Bom.size());
  } else {
    profile.encoding_ = Encoding::kCp1252;
    text = Utf8FromCp1252(bytes);
  }

  bool newline_known = false;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t feed = text.find('\n', start);
    Line line;
    if (feed == std::string::npos) {
      line.text = text.substr(start);
      start = text.size();
    } else {
      const bool crlf = feed > start && text[feed - 1] == '\r';
      line.text = text.substr(start, feed - start - (crlf ? 1 : 0));
      line.ending = crlf ? "\r\n" : "\n";
      start = feed + 1;
      // New lines follow the file's own line ends.
      if (!newline_known) {
        profile.newline_ = line.ending;
        newline_known = true;
      }
    }
    profile.lines_.push_back(std::move(line));
  }
  return profile;
}

std::string ProfileText::ToFileBytes() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.ending;
  }
  switch (encoding_) {
    case Encoding::kUtf8WithBom:
      return std::string(kUtf8Bom) + text;
    case Encoding::kCp1252:
      break;
  }
  return Cp1252FromUtf8(text);
}

std::optional<std::string> ProfileText::Value(const std::string& section,
                                              const std::string& key) const {
  const std::string_view wanted_section = Trim(section);
  const std::string_view wanted_key = Trim(key);
  bool inside = false;
  for (const Line& line : lines_) {
    const ParsedLine parsed = Parse(line.text);
    if (parsed.kind == ParsedLine::kSection) {
      inside = SameName(parsed.name, wanted_section);
    } else if (inside && parsed.kind == ParsedLine::kKey && SameName(parsed.name, wanted_key)) {
      return std::string(parsed.value);
    }
  }
  return std::nullopt;
}

std::vector<std::string> ProfileText::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    const ParsedLine parsed = Parse(line.text);
    if (parsed.kind != ParsedLine::kSection) continue;
    const bool known = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return SameName(name, parsed.name);
    });
    if (!known) names.emplace_back(parsed.name);
  }
  return names;
}

void ProfileText::InsertLine(std::size_t at, std::string text) {
  if (at > 0 && lines_[at - 1].ending.empty()) lines_[at - 1].ending = newline_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), newline_});
}

void ProfileText::SetValue(const std::string& section, const std::string& key,
                           const std::string& value) {
  const std::string section_name(Trim(WithoutLineBreaks(section)));
  const std::string key_name(Trim(WithoutLineBreaks(key)));
  const std::string clean_value = WithoutLineBreaks(value);

  bool inside = false;
  bool seen_section = false;
  bool in_first_section = false;
  std::size_t end_of_first_section = 0;  // after its last non-blank line
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == ParsedLine::kSection) {
      inside = SameName(parsed.name, section_name);
      in_first_section = inside && !seen_section;
      if (in_first_section) end_of_first_section = i + 1;
      seen_section = seen_section || inside;
      continue;
    }
    if (!inside) continue;
    if (parsed.kind == ParsedLine::kKey && SameName(parsed.name, key_name)) {
      // Keep the file's spelling of the key; write the Windows form.
      lines_[i].text = std::string(parsed.name) + "=" + clean_value;
      return;
    }
    if (in_first_section && !Trim(lines_[i].text).empty()) end_of_first_section = i + 1;
  }

  if (seen_section) {
    InsertLine(end_of_first_section, key_name + "=" + clean_value);
  } else {
    InsertLine(lines_.size(), "[" + section_name + "]");
    InsertLine(lines_.size(), key_name + "=" + clean_value);
  }
}

bool ProfileText::EraseSection(const std::string& section) {
  const std::string_view wanted = Trim(section);
  bool erasing = false;
  bool erased = false;
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  for (Line& line : lines_) {
    const ParsedLine parsed = Parse(line.text);
    if (parsed.kind == ParsedLine::kSection) erasing = SameName(parsed.name, wanted);
    if (erasing) {
      erased = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  lines_ = std::move(kept);
  return erased;
}

}  // namespace quinterra
