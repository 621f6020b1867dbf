#pragma once
// A progress bar on one line of a terminal: "Enviando [#####.....]  50 %".
// It draws nothing when its stream is not a terminal, so scripts and logs
// never see it.

#include <cstdio>
#include <string>

namespace quinterra {

class TProgressBar {
 public:
  TProgressBar(std::FILE* out, std::string label);
  ~TProgressBar();
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  // Redraws at percent, held within 0..100; the same percent draws nothing.
  void Show(int percent);
  // Ends the bar's line, so that what is written next starts on its own.
  void Finish();

 private:
  std::FILE* out_;
  std::string label_;
  bool drawn_ = false;
  int percent_ = -1;
};

}  // namespace quinterra
