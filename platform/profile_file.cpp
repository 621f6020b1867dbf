#include "platform/profile_file.h"

#include "platform/number_text.h"

#include <climits>
#include <optional>

#include "platform/file_io.h"
#include "platform/profile_text.h"

namespace quinterra {
namespace {

// Reading never fails, as with the Windows profile functions: a file that is
// missing or cannot be read has no sections.
ProfileText LoadForReading(const std::string& path) {
  try {
    if (std::optional<std::string> bytes = ReadFileIfExists(path)) {
      return ProfileText::FromFileBytes(*bytes);
    }
  } catch (const FileError&) {
  }
  return ProfileText::FromFileBytes("");
}

}  // namespace

TProfileFile::TProfileFile(std::string path) : path_(std::move(path)) {}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& fallback) const {
  return LoadForReading(path_).Value(section, key).value_or(fallback);
}

int TProfileFile::ReadInteger(const std::string& section, const std::string& key,
                              int fallback) const {
  const std::optional<std::string> text = LoadForReading(path_).Value(section, key);
  if (!text) return fallback;
  return ParseWholeInteger(*text).value_or(fallback);
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key,
                            bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

ProfileText TProfileFile::Snapshot() const { return LoadForReading(path_); }

std::vector<std::string> TProfileFile::ReadSections() const {
  return LoadForReading(path_).SectionNames();
}

namespace {

// Rewrites the file with one change. A file that exists but cannot be read
// is never overwritten: its contents would be lost.
// An erase of a missing file creates nothing.
template <typename Change>
void ChangeFile(const std::string& path, bool create_missing, Change change) {
  const std::optional<std::string> before = ReadFileIfExists(path);
  if (!before && !create_missing) return;
  ProfileText text = ProfileText::FromFileBytes(before.value_or(std::string()));
  if (!change(text)) return;
  const std::string after = text.ToFileBytes();
  if (before && after == *before) return;
  WriteFileAtomically(path, after);
}

}  // namespace

void TProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  ChangeFile(path_, true, [&](ProfileText& text) {
    text.SetValue(section, key, value);
    return true;
  });
}

void TProfileFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::EraseSection(const std::string& section) {
  ChangeFile(path_, false, [&](ProfileText& text) { return text.EraseSection(section); });
}

}  // namespace quinterra
