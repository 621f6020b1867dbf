#pragma once
// The operator reads Spanish: the reasons the operating system gives for a
// failed file or port operation, in Spanish (UTF-8), whatever the locale.

#include <string>

namespace quinterra {

// The Spanish text of an errno value, without a line end. A value without
// its own text is named by its number.
std::string ErrnoText(int error);

}  // namespace quinterra
