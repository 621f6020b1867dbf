#pragma once
// The text of a profile (INI) file kept line by line, so that a change
// rewrites only the lines it touches and every other byte stays as it was.
// TProfileFile reads and writes files through it; it never touches disk.

#include <optional>
#include <string>
#include <vector>

namespace quinterra {

class ProfileText {
 public:
  // Bytes as stored. Files are Windows-1252, except that a file that starts
  // with a UTF-8 byte-order mark is read and written back as UTF-8. Nothing
  // is guessed from the contents: a guess could change after a rewrite.
  static ProfileText FromFileBytes(const std::string& bytes);
  std::string ToFileBytes() const;

  // The value of the first such key in any section of that name, without
  // surrounding blanks; nothing when absent. Names are compared without
  // regard to ASCII case. Names and values here are UTF-8.
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;
  // Each section name once, in file order.
  std::vector<std::string> SectionNames() const;

  // Replaces the value of the first such key, or adds the key at the end of
  // the section, or adds the section at the end of the file. Line breaks in
  // names and values become blanks so that a value cannot add lines.
  void SetValue(const std::string& section, const std::string& key, const std::string& value);
  // Removes every section of that name with all its lines. False when there
  // was none.
  bool EraseSection(const std::string& section);

 private:
  enum class Encoding { kCp1252, kUtf8WithBom };
  struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n" or empty for a last line without one
  };

  void InsertLine(std::size_t at, std::string text);

  std::vector<Line> lines_;
  std::string newline_ = "\r\n";
  Encoding encoding_ = Encoding::kCp1252;
};

}  // namespace quinterra
