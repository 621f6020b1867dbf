#include "send/moment_picture.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

extern char** environ;

namespace quinterra {
namespace {

// A display image in a temporary file, removed with the object.
class TImageFile {
 public:
  explicit TImageFile(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/quinterra-momento-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return;
    close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TImageFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::string ImageToolPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    for (const auto& candidate : {self.parent_path() / "quinterra-image",
                                  self.parent_path().parent_path() / "tools" / "quinterra-image"}) {
      if (std::filesystem::exists(candidate, error)) return candidate.string();
    }
  }
  return "quinterra-image";
}

bool DrawMomentPicture(const std::string& png, const TPanelsAtMoment& panels, std::string& reason) {
  std::vector<std::string> arguments = {ImageToolPath(), "--png", png};
  std::vector<std::unique_ptr<TImageFile>> files;
  auto add = [&](const char* option, bool known, const std::vector<uint8_t>& bytes) {
    if (!known) return;
    files.push_back(std::make_unique<TImageFile>(bytes));
    arguments.insert(arguments.end(), {option, files.back()->Path()});
  };
  add("--results", panels.Results.has_value(), panels.ResultsImage);
  add("--jackpots", panels.Jackpots.has_value(), panels.JackpotsImage);
  for (const auto& file : files) {
    if (file->Path().empty()) return reason = "no se pudo crear un archivo temporal", false;
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    return reason = "no se encuentra " + arguments[0], false;
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return reason = "quinterra-image no pudo dibujar " + png, false;
  return true;
}

}  // namespace quinterra
