#pragma once
// log.txt as the search window saves it.

#include <string>
#include <vector>

namespace quinterra {

// The file's bytes: every line followed by CR LF, in Windows-1252 like the
// program's other text files. No lines give an empty file.
std::string LogFileBytes(const std::vector<std::string>& lines);

}  // namespace quinterra
