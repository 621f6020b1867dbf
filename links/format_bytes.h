#pragma once
// Renders bytes for the search window's log.

#include <cstdint>
#include <string>

namespace quinterra {

// Flags, combinable: 1 decimal "%03d ", 2 hexadecimal "0x%02X ", 4 the
// character itself "%c " for 0x20..0x7E (otherwise, and without flag 4, two
// blanks). Groups are separated by ",". Traffic lines use flag 2 alone:
// {0x01, 0x0F} gives "0x01   ,0x0F   ".
std::string FormatBytes(const uint8_t* bytes, int count, int flags);

}  // namespace quinterra
