#pragma once
// A pseudo-terminal pair standing in for a serial device. The test keeps the
// master, a raw byte pipe that never blocks; the code under test opens the
// slave as its serial device.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quinterra::test {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  void WriteToSlave(const std::vector<uint8_t>& bytes);
  // Reads what the slave side sent until count bytes came or timeout passed.
  std::vector<uint8_t> ReadFromSlave(size_t count, std::chrono::milliseconds timeout);
  // The rate the slave side is set to. (Parity and data bits cannot be
  // checked here: a pseudo-terminal forces 8 bits without parity.)
  int SlaveRate() const;

 private:
  int master_ = -1;
  int observer_ = -1;
  std::string slave_path_;
};

}  // namespace quinterra::test
