#pragma once
// Whole-file reads and crash-safe whole-file writes.

#include <optional>
#include <stdexcept>
#include <string>

namespace quinterra {

// A file that could not be read or written; what() says so to the operator,
// in Spanish (UTF-8), naming the file and the operating system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True for an existing file that is not a folder.
bool FileExists(const std::string& path);

// Reads the whole file as bytes. Throws FileError when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// As ReadWholeFile, but a file that does not exist gives no value instead of
// an error; any other failure (no permission, a folder) still throws.
std::optional<std::string> ReadFileIfExists(const std::string& path);

// What a write does with a symbolic link found at the file's own name.
enum class TLinkAtName {
  // Writes the file it names: an operator's link (equipos.ini kept
  // elsewhere) keeps working.
  Follow,
  // Replaces the link by the file: a service writing in a folder others can
  // write to must never be led to another file.
  Replace,
};

// Writes bytes to a temporary file beside path, flushes it to disk and
// renames it over path, so that a failure half-way leaves the previous file
// as it was. The new file keeps the permissions of the one it replaces; a
// symbolic link at path is followed or replaced as link says. An existing
// file we may not write (read-only) is refused, as the rename alone would not
// notice. The temporary file has an unpredictable name and is created
// exclusively, never through a link. Throws FileError on failure, after
// removing the temporary file.
void WriteFileAtomically(const std::string& path, const std::string& bytes,
                         TLinkAtName link = TLinkAtName::Follow);

// As WriteFileAtomically with TLinkAtName::Replace, the new file having
// exactly mode (0600 for a key) from the moment it exists, whatever the umask
// or the file it replaces; its owner is the process's. (Windows: no modes.)
void WriteFileWithMode(const std::string& path, const std::string& bytes, unsigned mode);

}  // namespace quinterra
