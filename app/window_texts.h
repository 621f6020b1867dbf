#pragma once
// The texts the main window builds from names and dates: its caption, the
// program folder, the title of a document file, the note on a short document.

#include <cstddef>
#include <string>

namespace quinterra {

// "Quinterra v4.3." + yy.m.d from a compiler date text such as "May 18 2011"
// or "Jan  1 2012". A text that cannot be read gives "Quinterra v4.3".
std::string CaptionFromBuildDate(const std::string& date_text);

// The part of a file name after its last backslash or slash; the whole
// name when it has neither. Names written on Windows and here agree.
std::string FileTitle(const std::string& file_name);

// What the caption shows for a document: its file title without the ".ltr"
// extension. A title with another extension (a file opened through "Todos
// los archivos") is shown whole rather than cut short.
std::string DocumentTitle(const std::string& file_name);

// The caption for the current document: " - Nuevo" for an unnamed one.
std::string DocumentCaption(const std::string& base_caption, const std::string& document_name);

// What the operator is told about a document of fewer items than cells, in
// UTF-8: "El documento tiene 20 de 134 casillas; las demás quedan vacías".
std::string ShortDocumentNote(size_t items);

}  // namespace quinterra
