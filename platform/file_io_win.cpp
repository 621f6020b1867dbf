// Files on Windows: paths are UTF-8 here and wide for the system; a file is
// replaced by writing a temporary beside it, flushing it and moving it over
// the old one, so that a failure half-way keeps the previous file.

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/file_io.h"
#include "platform/os_text.h"

namespace quinterra {
namespace {

[[noreturn]] void Fail(const std::string& action, const std::string& path, DWORD error) {
  // The reason comes in the language of the system, Spanish on the shops' machines.
  throw FileError("No se puede " + action + " el archivo \"" + path + "\": " + SystemErrorText(error));
}

// Closes a handle on every way out.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  bool Close() {
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != 0;
  }

 private:
  HANDLE handle_;
};

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

std::string TemporaryNameBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WideText(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> ReadFileIfExists(const std::string& path) {
  // A folder cannot be opened this way: it fails as access denied.
  Handle file(::CreateFileW(WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (Missing(error)) return std::nullopt;
    Fail("read", path, error);
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) Fail("read", path, ::GetLastError());
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return bytes;
}

std::string ReadWholeFile(const std::string& path) {
  std::optional<std::string> bytes = ReadFileIfExists(path);
  if (!bytes) Fail("read", path, ERROR_FILE_NOT_FOUND);
  return *bytes;
}

// Windows keeps no symbolic links in the folders we write; the link choice
// has nothing to act on.
void WriteFileAtomically(const std::string& path, const std::string& bytes, TLinkAtName) {
  if (path.empty()) Fail("write", path, ERROR_FILE_NOT_FOUND);
  const DWORD previous = ::GetFileAttributesW(WideText(path).c_str());
  if (previous != INVALID_FILE_ATTRIBUTES) {
    if (previous & FILE_ATTRIBUTE_DIRECTORY) Fail("write", path, ERROR_DIRECTORY);
    // The move below would replace a read-only file without a word.
    if (previous & FILE_ATTRIBUTE_READONLY) Fail("write", path, ERROR_ACCESS_DENIED);
  }

  // A name left behind by an earlier run that died half-way is skipped.
  std::string temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = TemporaryNameBeside(path);
    created = ::CreateFileW(WideText(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    error = ::GetLastError();
    if (created == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) Fail("write", path, error);
  Handle file(created);
  try {
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr)) {
        Fail("write", path, ::GetLastError());
      }
      done += written;
    }
    if (!::FlushFileBuffers(file.Get())) Fail("write", path, ::GetLastError());
    if (!file.Close()) Fail("write", path, ::GetLastError());
    if (!::MoveFileExW(WideText(temporary).c_str(), WideText(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail("write", path, ::GetLastError());
    }
  } catch (...) {
    ::DeleteFileW(WideText(temporary).c_str());
    throw;
  }
}

void WriteFileWithMode(const std::string& path, const std::string& bytes, unsigned) {
  WriteFileAtomically(path, bytes, TLinkAtName::Replace);
}

}  // namespace quinterra
