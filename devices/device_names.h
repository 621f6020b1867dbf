#pragma once
// The naming rule the search window enforces before it closes: every device
// has a name, and no two names are equal without regard to letter case.

#include <QString>
#include <vector>

#include "devices/device_row.h"

namespace quinterra {

inline const char* const kNamelessDeviceMessage = "Dispositivo sin nombre";
inline const char* const kRepeatedNamesMessage = "Nombres repetidos, cambielos";

// True when nothing but blanks and control characters is left.
bool IsBlankDeviceName(const QString& name);

// The message that refuses the close, for the first row (in list order) that
// breaks the rule; an empty text when every row passes.
QString DeviceNamesProblem(const std::vector<DeviceRow>& rows);

}  // namespace quinterra
