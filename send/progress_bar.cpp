#include "send/progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace quinterra {
namespace {

constexpr int kBarWidth = 30;

}  // namespace

TProgressBar::TProgressBar(std::FILE* out, std::string label)
    : out_(isatty(fileno(out)) ? out : nullptr), label_(std::move(label)) {}

TProgressBar::~TProgressBar() { Finish(); }

void TProgressBar::Show(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (!out_ || percent == percent_) return;
  percent_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::fprintf(out_, "\r%s [%s%s] %3d %%", label_.c_str(), std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, '.').c_str(), percent);
  std::fflush(out_);
  drawn_ = true;
}

void TProgressBar::Finish() {
  if (!drawn_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace quinterra
