#pragma once
// The document file (.ltr): one line of the 134 cell texts, comma separated,
// ended by CR LF, in Windows-1252. Texts here are already Windows-1252 bytes.

#include <string>
#include <vector>

#include "panels/cell.h"

namespace quinterra {

// The whole file contents for these texts.
std::string FormatDocument(const std::vector<std::string>& texts);

// The items of the first line of a file's contents (tolerant reading: further
// lines ignored, even inside quotes; an empty first line gives no items). Any
// bytes are safe: a NUL outside quotes counts as a blank, a quoted item keeps
// every byte of the line and an unclosed quote takes the rest of the line.
// Texts read back as written unless they hold a line break, which no cell
// text can (typing accepts none and reading stops at the first one).
std::vector<std::string> ParseDocument(const std::string& contents);

// Gives item i to cell i while both remain: further items are dropped and
// cells beyond the last item keep their text. Texts are stored unchecked.
void ApplyDocumentItems(const std::vector<std::string>& items, std::vector<TCasilla>& cells);

}  // namespace quinterra
