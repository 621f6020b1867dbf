#include "platform/device_turn.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quinterra {

TDeviceTurn::TDeviceTurn(std::string folder) : path_(std::move(folder) + "equipos.lock") {}

TDeviceTurn::~TDeviceTurn() { Release(); }

bool TDeviceTurn::TryTake() {
  if (held_) return true;
  // Shared by the users of the folder's group (the agent and the operator).
  // A lock file that another user's umask left unwritable to us still locks:
  // flock needs only an open file, so it is opened for reading.
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0664);
  if (fd_ < 0 && errno == EACCES) fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) return held_ = true;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return held_ = true;
  ::close(fd_);
  fd_ = -1;
  return false;
}

void TDeviceTurn::Release() {
  if (fd_ >= 0) ::close(fd_);  // gives the lock back
  fd_ = -1;
  held_ = false;
}

}  // namespace quinterra
