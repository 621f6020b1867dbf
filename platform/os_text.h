#pragma once
// Texts that cross into the operating system: its message for one of its
// error codes (errno on Linux, GetLastError on Windows), and on Windows the
// wide strings its calls take (our strings are UTF-8).

#include <cstdint>
#include <string>

namespace quinterra {

// In the system's default language, without a line end.
std::string SystemErrorText(uint32_t code);

#ifdef _WIN32
std::wstring WideText(const std::string& utf8);
std::string Utf8Text(const std::wstring& wide);
#endif

}  // namespace quinterra
