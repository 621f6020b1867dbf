#pragma once
// The "Puertos" section of config.ini, which names device paths as COM
// numbers, written the way the program's own files are (CRLF lines).

#include <string>
#include <utility>
#include <vector>

namespace quinterra::test {

using PortList = std::vector<std::pair<int, std::string>>;

// "[Puertos]" followed by one COM<n>=path line per port.
std::string PuertosSection(const PortList& ports);
// Writes a config.ini at path holding only the port map (and an empty
// last-document key before it, as a saved config.ini has).
void WritePortConfig(const std::string& path, const PortList& ports);

}  // namespace quinterra::test
