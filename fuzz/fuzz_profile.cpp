// Arbitrary bytes as a profile (INI) file: parsing, reading and rewriting
// must never fail, and must change only what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/profile_text.h"

using quinterra::ProfileText;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ProfileText text = ProfileText::FromFileBytes(bytes);
  // Untouched, the file is written back byte for byte.
  Check(text.ToFileBytes() == bytes);

  const auto sections = text.SectionNames();
  for (const std::string& section : sections) (void)text.Value(section, "Nombre");

  const std::string section = sections.empty() ? "0" : sections.front();
  text.SetValue(section, "Selected", " * ");
  if (!HasLineBreak(section)) {
    const ProfileText reread = ProfileText::FromFileBytes(text.ToFileBytes());
    Check(reread.Value(section, "Selected") == std::string("*"));
  }

  text.EraseSection(section);
  const ProfileText erased = ProfileText::FromFileBytes(text.ToFileBytes());
  if (!HasLineBreak(section)) Check(!erased.Value(section, "Selected").has_value());
  return 0;
}
