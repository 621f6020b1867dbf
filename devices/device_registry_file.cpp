#include "devices/device_registry_file.h"

#include <climits>

#include "platform/file_io.h"

namespace quinterra {

namespace {

// A whole decimal integer with an optional sign, within int's range; 0 for
// anything else.
int IntegerOrZero(const std::string& text) {
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++at;
  if (at == text.size()) return 0;
  long long magnitude = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return 0;
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return 0;
  }
  const long long value = negative ? -magnitude : magnitude;
  return value > INT_MAX || value < INT_MIN ? 0 : static_cast<int>(value);
}

}  // namespace

ProfileText ReadDeviceFile(const std::string& path) {
  try {
    return ProfileText::FromFileBytes(ReadFileIfExists(path).value_or(std::string()));
  } catch (const FileError&) {
    return ProfileText::FromFileBytes(std::string());
  }
}

std::optional<DeviceRow> ReadDeviceSection(const ProfileText& text, const std::string& section) {
  auto read = [&](const char* key) { return text.Value(section, key).value_or(std::string()); };
  DeviceRow row;
  row.Name = read("Nombre");
  if (row.Name.empty()) return std::nullopt;
  row.LinkAddress = read("COMIP");
  row.SpeedOrPort = read("SpeedPort");
  row.Version = read("Version");
  row.Build = read("Compilacion");
  row.Number = std::to_string(IntegerOrZero(read("NumDispositivo")));
  row.Selected = read("Selected").empty() ? " " : "*";
  return row;
}

void WriteDevice(ProfileText& text, int row_index, const DeviceRow& row) {
  const std::string section = std::to_string(row_index);
  text.SetValue(section, "Nombre", row.Name);
  text.SetValue(section, "COMIP", row.LinkAddress);
  text.SetValue(section, "SpeedPort", row.SpeedOrPort);
  text.SetValue(section, "Version", row.Version);
  text.SetValue(section, "Compilacion", row.Build);
  text.SetValue(section, "NumDispositivo", row.Number);
  text.SetValue(section, "Selected", row.Selected);
}

void SaveDeviceFile(const std::string& path, const std::vector<DeviceRow>& rows) {
  // One read and one atomic write instead of a write per key: the old file
  // is never left half erased.
  const std::optional<std::string> before = ReadFileIfExists(path);
  ProfileText text = ProfileText::FromFileBytes(before.value_or(std::string()));
  for (const std::string& section : text.SectionNames()) text.EraseSection(section);
  for (size_t i = 0; i < rows.size(); ++i) WriteDevice(text, static_cast<int>(i), rows[i]);
  WriteFileAtomically(path, text.ToFileBytes());
}

}  // namespace quinterra
