#include "devices/device_names.h"

namespace quinterra {
namespace {

// Blanks and control characters of any script: a name made of them shows as
// nothing in the menu, so it is no name at all.
bool IsBlankOrControl(QChar c) {
  return c.unicode() <= 0x20 || c.isSpace() || c.category() == QChar::Other_Control ||
         c.category() == QChar::Other_Format;
}

}  // namespace

bool IsBlankDeviceName(const QString& name) {
  for (QChar c : name) {
    if (!IsBlankOrControl(c)) return false;
  }
  return true;
}

QString DeviceNamesProblem(const std::vector<DeviceRow>& rows) {
  std::vector<QString> lowered;
  lowered.reserve(rows.size());
  for (const DeviceRow& row : rows) lowered.push_back(QString::fromStdString(row.Name).toLower());

  for (size_t i = 0; i < rows.size(); ++i) {
    if (IsBlankDeviceName(QString::fromStdString(rows[i].Name))) {
      return QString::fromUtf8(kNamelessDeviceMessage);
    }
    for (size_t j = 0; j < rows.size(); ++j) {
      if (j != i && lowered[j] == lowered[i]) return QString::fromUtf8(kRepeatedNamesMessage);
    }
  }
  return QString();
}

}  // namespace quinterra
