// Arbitrary bytes heard by an emulated panel device. Besides not crashing:
// every answer is one intact frame from the device's own address, the memory
// areas keep their sizes, the receiver holds nothing after the line goes
// quiet, and feeding the bytes one at a time gives the same answers as
// feeding them in one piece.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bus/crc16.h"
#include "emulator/panel_device.h"

namespace {

using quinterra::TPanelDeviceEmulator;
using quinterra::TPanelDeviceOptions;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::vector<uint8_t>> Run(const TPanelDeviceOptions& options, const uint8_t* data, size_t size,
                                      bool one_at_a_time) {
  TPanelDeviceEmulator device(options);
  std::vector<std::vector<uint8_t>> answers;
  device.OnAnswer = [&](TPanelDeviceEmulator&, const uint8_t* bytes, size_t count) {
    answers.emplace_back(bytes, bytes + count);
  };
  if (one_at_a_time) {
    for (size_t i = 0; i < size; ++i) device.ReceiveByte(data[i]);
  } else {
    device.ReceiveBytes(data, size);
  }
  device.LineIdle();
  Require(!device.HasUnfinishedInput());
  Require(device.Config().size() == device.Layout().ConfigSize());
  Require(device.Display().size() == device.Layout().DisplaySize());
  Require(device.Directory().size() == device.Layout().DirectorySize());
  Require(device.Config()[81] == options.Address || device.AnsweredFrames() > 0);
  return answers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TPanelDeviceOptions options;
  const uint8_t choice = data[0];
  options.Address = (choice & 0x03) + 1;
  options.Model = (choice & 0x04) ? 11 : 10;
  options.SmallBlocks = options.Model == 10 && (choice & 0x08);
  options.SilentAfter = (choice & 0x10) ? (choice >> 5) : -1;
  ++data;
  --size;

  const auto whole = Run(options, data, size, false);
  const auto bytewise = Run(options, data, size, true);
  Require(whole == bytewise);
  for (const auto& answer : whole) {
    Require(answer.size() >= 11 && answer.size() <= 523);
    Require(answer[0] == options.Address);
    Require(answer[1] & 0x80);
    const size_t length = size_t(answer[7]) << 8 | answer[8];
    Require(answer.size() == length + 11);
    const uint16_t check = uint16_t(answer[length + 9] << 8 | answer[length + 10]);
    Require(quinterra::Crc16(answer.data(), length + 9) == check);
  }
  return 0;
}
