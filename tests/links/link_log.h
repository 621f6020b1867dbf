#pragma once
// Records what a TLinkLayer reports: log lines, opens, failures, received bytes.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "links/link_layer.h"

namespace quinterra::test {

struct LinkRecorder {
  std::vector<std::string> log;
  int opened = 0;
  int failed = 0;
  std::vector<std::vector<uint8_t>> pieces;

  void Attach(TLinkLayer& link) {
    link.OnLog = [this](const std::string& line) { log.push_back(line); };
    link.OnLinkOpened = [this] { ++opened; };
    link.OnLinkFailed = [this] { ++failed; };
    link.OnReceived = [this](const uint8_t* bytes, int count) { pieces.emplace_back(bytes, bytes + count); };
  }
  std::vector<uint8_t> Received() const {
    std::vector<uint8_t> all;
    for (const auto& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }
  int Count(const std::string& line) const {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }
  int CountStartingWith(const std::string& prefix) const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
      return l.rfind(prefix, 0) == 0;
    }));
  }
};

}  // namespace quinterra::test
