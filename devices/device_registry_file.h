#pragma once
// equipos.ini, the device registry: one section per row, named after the
// row's 0-based index, with the keys Nombre, COMIP, SpeedPort, Version,
// Compilacion, NumDispositivo and Selected, written in that order.

#include <optional>
#include <string>
#include <vector>

#include "devices/device_row.h"
#include "platform/profile_text.h"

namespace quinterra {

// The file as the profile functions read it, once for all its sections: a
// file that is missing or cannot be read has none.
ProfileText ReadDeviceFile(const std::string& path);

// The row kept in one section, or nothing when its name reads empty (such a
// section is skipped whole). A non-integer number reads as 0; any non-empty
// "Selected" value marks the row selected.
std::optional<DeviceRow> ReadDeviceSection(const ProfileText& text, const std::string& section);

// Writes one row's section, key by key.
void WriteDevice(ProfileText& text, int row_index, const DeviceRow& row);

// Replaces the file's contents with exactly these rows, numbered from "0":
// every section present is erased (whatever its name), then the rows are
// written. The file is replaced in one step, so a failure leaves the previous
// file whole. Throws FileError naming the file when it cannot be read or
// written.
void SaveDeviceFile(const std::string& path, const std::vector<DeviceRow>& rows);

}  // namespace quinterra
