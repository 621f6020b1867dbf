#include "devices/device_registry_file.h"

#include "platform/file_io.h"
#include "platform/profile_file.h"
#include "platform/profile_text.h"

namespace quinterra {

std::optional<DeviceRow> ReadDeviceSection(const TProfileFile& file, const std::string& section) {
  DeviceRow row;
  row.Name = file.ReadString(section, "Nombre", "");
  if (row.Name.empty()) return std::nullopt;
  row.LinkAddress = file.ReadString(section, "COMIP", "");
  row.SpeedOrPort = file.ReadString(section, "SpeedPort", "");
  row.Version = file.ReadString(section, "Version", "");
  row.Build = file.ReadString(section, "Compilacion", "");
  row.Number = std::to_string(file.ReadInteger(section, "NumDispositivo", 0));
  row.Selected = file.ReadString(section, "Selected", "").empty() ? " " : "*";
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
