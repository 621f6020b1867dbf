#include "devices/device_registry_file.h"

#include "platform/file_io.h"
#include "platform/number_text.h"

namespace quinterra {

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
  // A value that is not a whole integer reads as 0.
  row.Number = std::to_string(ParseWholeInteger(read("NumDispositivo")).value_or(0));
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
