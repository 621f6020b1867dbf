#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "platform/errno_text.h"

namespace quinterra {
namespace {

enum class Action { Read, Write };

[[noreturn]] void Fail(Action action, const std::string& path, int error) {
  const char* verb = action == Action::Read ? "leer" : "escribir";
  throw FileError(std::string("No se puede ") + verb + " el archivo \"" + path + "\": " +
                  ErrnoText(error));
}

// Closes a descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now, so that a late write error (NFS, full disk) is seen.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// A link is followed so that replacing the file does not replace the link.
std::string ResolveTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Unguessable, so that nobody sharing the folder can take the name first.
std::string TemporaryNameBeside(const std::string& path) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  uint8_t random[12];
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    static std::atomic<unsigned> counter{0};
    const uint64_t mixed = (static_cast<uint64_t>(::getpid()) << 32) ^ counter++ ^
                           static_cast<uint64_t>(::time(nullptr)) * 2654435761u;
    for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<uint8_t>(mixed >> (i % 8 * 8));
  }
  std::string name = path + ".tmp-";
  for (uint8_t byte : random) name += kDigits[byte % 36];
  return name;
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(Action::Write, path, errno);
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::optional<std::string> ReadFileIfExists(const std::string& path) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    Fail(Action::Read, path, errno);
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(Action::Read, path, errno);
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

std::string ReadWholeFile(const std::string& path) {
  std::optional<std::string> bytes = ReadFileIfExists(path);
  if (!bytes) Fail(Action::Read, path, ENOENT);
  return *bytes;
}

namespace {

void WriteReplacing(const std::string& path, const std::string& bytes, TLinkAtName link,
                    std::optional<mode_t> mode) {
  if (path.empty()) Fail(Action::Write, path, ENOENT);
  const std::string target = link == TLinkAtName::Follow ? ResolveTarget(path) : path;

  struct stat previous {};
  // lstat: with Replace, a link at the name is replaced, never looked through.
  const bool replacing = ::lstat(target.c_str(), &previous) == 0 && !S_ISLNK(previous.st_mode);
  if (replacing && S_ISDIR(previous.st_mode)) Fail(Action::Write, path, EISDIR);
  if (replacing && ::access(target.c_str(), W_OK) != 0) Fail(Action::Write, path, errno);

  std::string temporary;
  int descriptor = -1;
  for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
    temporary = TemporaryNameBeside(target);
    descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        mode ? *mode : 0666);
    if (descriptor < 0 && errno != EEXIST) break;
  }
  if (descriptor < 0) Fail(Action::Write, path, errno);
  Descriptor file(descriptor);
  try {
    if (mode) {
      // The umask may have taken bits away; never more than asked.
      if (::fchmod(file.Get(), *mode) != 0) Fail(Action::Write, path, errno);
    } else if (replacing) {
      // Best effort: a user's file written by root stays the user's; a
      // refusal leaves the new file as the process made it.
      if (::fchown(file.Get(), previous.st_uid, previous.st_gid) != 0) {
      }
      if (::fchmod(file.Get(), previous.st_mode & 07777) != 0) {
      }
    }
    WriteAll(file.Get(), bytes, path);
    if (::fsync(file.Get()) != 0) Fail(Action::Write, path, errno);
    if (file.Close() != 0) Fail(Action::Write, path, errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) Fail(Action::Write, path, errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // The folder is not flushed: after a power cut the rename may be undone,
  // which brings back the previous file, whole. Flushing it would double
  // the cost of every profile key written.
}

}  // namespace

void WriteFileAtomically(const std::string& path, const std::string& bytes, TLinkAtName link) {
  WriteReplacing(path, bytes, link, std::nullopt);
}

void WriteFileWithMode(const std::string& path, const std::string& bytes, unsigned mode) {
  WriteReplacing(path, bytes, TLinkAtName::Replace, static_cast<mode_t>(mode & 07777));
}

}  // namespace quinterra
