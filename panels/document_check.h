#pragma once
// Whether a document's 134 texts are what its cells can hold: the kind's
// characters, its length and its range. The window empties a bad value when
// its cell is left, but a file made elsewhere can hold anything; what is
// published to every shop of a network is checked whole first.

#include <string>
#include <vector>

namespace quinterra {

// Empty when every item fits its cell, else the first problem in Spanish,
// naming the cell: "la casilla 38 del panel Resultados admite un número de 1
// a 49, no «60»". Texts are Windows-1252 bytes, as in a .ltr file.
std::string DocumentItemsProblem(const std::vector<std::string>& items);

}  // namespace quinterra
