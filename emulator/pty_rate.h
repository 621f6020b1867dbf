#pragma once
// Line rates of a pseudo-terminal in bits per second, any rate included (not
// only the B-constants): the kernel keeps the terminal side's settings, and
// the master side reads them, which lets an emulated device hear only the
// rate it was built for.

#include <cstdint>
#include <optional>

namespace quinterra {

// The output rate the terminal behind fd is set to (fd may be either side).
std::optional<uint32_t> TerminalRate(int fd);

// Sets both rates of the terminal behind fd, leaving its other settings.
bool SetTerminalRate(int fd, uint32_t rate);

}  // namespace quinterra
