#include "send/traffic_log.h"

#include <cerrno>

#include "devices/log_file.h"
#include "platform/errno_text.h"

namespace quinterra {

TTrafficLog::~TTrafficLog() {
  if (file_) std::fclose(file_);
}

bool TTrafficLog::Open(const std::string& path, std::string& failure) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_) return true;
  failure = "No se puede escribir el archivo " + path + ": " + ErrnoText(errno);
  return false;
}

void TTrafficLog::Add(const std::string& line) {
  if (!file_) return;
  const std::string bytes = LogFileBytes({line});
  std::fwrite(bytes.data(), 1, bytes.size(), file_);
  std::fflush(file_);
}

}  // namespace quinterra
