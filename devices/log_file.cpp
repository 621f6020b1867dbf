#include "devices/log_file.h"

#include "platform/codepage1252.h"

namespace quinterra {

std::string LogFileBytes(const QStringList& lines) {
  std::string text;
  for (const QString& line : lines) {
    text += line.toStdString();
    text += "\r\n";
  }
  return Cp1252FromUtf8(text);
}

}  // namespace quinterra
