#include "tests/links/serial_test_support.h"

#include "platform/profile_file.h"

namespace quinterra::test {

TComPortMap TempConfig::MapPorts(const PortList& ports) {
  WritePortConfig(ConfigPath(), ports);
  TComPortMap map;
  map.ReadOverrides(TProfileFile(ConfigPath()));
  return map;
}

TSerialError ScriptedDevice::Open(const std::string& path) {
  record_->open_calls.fetch_add(1);
  if (uint32_t code = record_->open_error.load()) return OsError(code);
  return inner_->Open(path);
}

TSerialError ScriptedDevice::Read(uint8_t* buffer, int size, int* count) {
  record_->read_calls.fetch_add(1);
  if (uint32_t code = record_->read_error.load()) {
    *count = 0;
    return SessionError(code);
  }
  return inner_->Read(buffer, size, count);
}

TSerialError ScriptedDevice::Write(const uint8_t* bytes, int count, int timeout_ms, int* written) {
  record_->write_calls.fetch_add(1);
  if (count == 1) record_->one_byte_writes.fetch_add(1);
  record_->writing.store(true);
  if (int delay = record_->write_delay_ms.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  TSerialError result;
  if (uint32_t code = record_->write_error.load()) {
    *written = 0;
    result = SessionError(code);
  } else {
    result = inner_->Write(bytes, count, timeout_ms, written);
  }
  record_->writing.store(false);
  return result;
}

std::vector<uint8_t> Sequence(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

}  // namespace quinterra::test
