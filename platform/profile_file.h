#pragma once
// A private profile (INI) file with the semantics of the Windows profile
// functions: sections in file order, section and key names compared without
// regard to case, values read back without surrounding blanks, every write
// applied to the file at once, other sections and keys left alone.
// The file is Windows-1252 (UTF-8 when it starts with a byte-order mark);
// names and values here are UTF-8. Every call reads the file afresh, so
// edits made meanwhile by hand are seen and kept.
//
// Reading never fails: a file that is missing or cannot be read has no
// sections. Text before the first section and lines without '=' are not
// keys; of repeated keys the first counts.

#include <string>
#include <vector>

#include "platform/profile_text.h"

namespace quinterra {

class TProfileFile {
 public:
  explicit TProfileFile(std::string path);

  const std::string& Path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  // A value that is not a whole decimal integer reads as fallback.
  int ReadInteger(const std::string& section, const std::string& key, int fallback) const;
  // Written as 1 or 0, read as non-zero.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
  // Section names in file order (a missing file has none).
  std::vector<std::string> ReadSections() const;
  // The whole file read once, for a caller that looks up many keys.
  ProfileText Snapshot() const;

  // Each write rewrites the file at once (crash-safe); throws FileError
  // naming the file when the write is refused, or when the file exists but
  // cannot be read (it is never overwritten then). Line breaks in a value
  // are written as blanks. Erasing from a missing file creates nothing.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  void EraseSection(const std::string& section);

 private:
  std::string path_;
};

}  // namespace quinterra
