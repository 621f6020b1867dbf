#include "platform/device_turn.h"

#include <windows.h>

namespace quinterra {

TDeviceTurn::TDeviceTurn(std::string folder) : path_(std::move(folder) + "equipos.lock") {}

TDeviceTurn::~TDeviceTurn() { Release(); }

bool TDeviceTurn::TryTake() {
  if (held_) return true;
  HANDLE file = ::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return held_ = true;
  OVERLAPPED whole{};
  if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
    handle_ = file;
    return held_ = true;
  }
  ::CloseHandle(file);
  return false;
}

void TDeviceTurn::Release() {
  if (handle_) ::CloseHandle(static_cast<HANDLE>(handle_));  // gives the lock back
  handle_ = nullptr;
  held_ = false;
}

}  // namespace quinterra
