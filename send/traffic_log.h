#pragma once
// The --log file: every line of the session's log as it is added, each
// ended by CR LF in Windows-1252, as the search window saves log.txt. Lines
// are written at once, so a run that is killed leaves what it had logged.

#include <cstdio>
#include <string>

namespace quinterra {

class TTrafficLog {
 public:
  TTrafficLog() = default;
  ~TTrafficLog();
  TTrafficLog(const TTrafficLog&) = delete;
  TTrafficLog& operator=(const TTrafficLog&) = delete;

  // Creates the file, or empties it; false with the reason (Spanish) when
  // it cannot be written.
  bool Open(const std::string& path, std::string& failure);
  void Add(const std::string& line);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace quinterra
