#pragma once
// The document file (.ltr): one line of the 134 cell texts, comma separated,
// ended by CR LF, in Windows-1252. Texts here are already Windows-1252 bytes.

#include <string>
#include <vector>

namespace quinterra {

// The whole file contents for these texts.
std::string FormatDocument(const std::vector<std::string>& texts);

// The items of the first line of a file's contents (tolerant reading: further
// lines ignored; an empty first line gives no items).
std::vector<std::string> ParseDocument(const std::string& contents);

}  // namespace quinterra
