#pragma once
// Whole-file reads and crash-safe whole-file writes.

#include <stdexcept>
#include <string>

namespace quinterra {

// A file that could not be read or written; what() names the file and the
// operating system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);

// Reads the whole file as bytes. Throws FileError when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Writes bytes to a temporary file beside path, flushes it to disk and
// renames it over path, so that a failure half-way leaves the previous file
// as it was. Throws FileError on failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace quinterra
