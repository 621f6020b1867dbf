// Kept apart from <termios.h>: the kernel's termios2 and the C library's
// termios cannot share a translation unit.
#include "emulator/pty_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quinterra {

std::optional<uint32_t> TerminalRate(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return std::nullopt;
  return settings.c_ospeed;
}

bool SetTerminalRate(int fd, uint32_t rate) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = rate;
  settings.c_ospeed = rate;
  return ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace quinterra
