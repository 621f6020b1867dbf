#pragma once
// Windows-1252, the code page of the document and settings files.

#include <string>

namespace quinterra {

std::string Utf8FromCp1252(const std::string& cp1252);
// Characters without a Windows-1252 code become '?'; invalid UTF-8 bytes too.
std::string Cp1252FromUtf8(const std::string& utf8);

}  // namespace quinterra
