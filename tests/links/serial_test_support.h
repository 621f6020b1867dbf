#pragma once
// Helpers of the serial port tests, without Qt so that they also build for
// Windows: a temporary config.ini mapping devices to COM numbers and a serial
// device that fails on demand.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/com_port_map.h"
#include "links/serial_device.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {

// A temporary folder with a config.ini whose "Puertos" section maps COM
// numbers to device paths; removed with its contents.
class TempConfig {
 public:
  std::string Folder() const { return folder_.Path().string(); }
  std::string ConfigPath() const { return folder_.File("config.ini"); }
  // Writes config.ini with these COM<n>=path lines and reads it back.
  TComPortMap MapPorts(const PortList& ports);

 private:
  TempFolder folder_;
};

// A serial device that passes every call to another one, counting reads and
// writes and failing on demand (with an OS code of this platform, read as
// the OS file reads it: at the open, or on an open port); failing writes
// can first block for a while.
class ScriptedDevice : public TSerialDevice {
 public:
  struct Record {
    std::atomic<int> open_calls{0};
    std::atomic<int> read_calls{0};
    std::atomic<int> write_calls{0};
    std::atomic<int> one_byte_writes{0};
    std::atomic<bool> writing{false};  // inside a Write
    std::atomic<uint32_t> open_error{0};
    std::atomic<uint32_t> read_error{0};
    std::atomic<uint32_t> write_error{0};
    std::atomic<int> write_delay_ms{0};
    // The last line settings applied, -1 before any.
    std::atomic<int> parity{-1};
    std::atomic<int> data_bits{-1};
    std::atomic<int> stop_bits{-1};
  };

  ScriptedDevice(std::unique_ptr<TSerialDevice> inner, std::shared_ptr<Record> record)
      : inner_(std::move(inner)), record_(std::move(record)) {}

  TSerialError Open(const std::string& path) override;
  bool IsOpen() const override { return inner_->IsOpen(); }
  TSerialError Close() override { return inner_->Close(); }
  TSerialError ApplyLineDefaults() override { return inner_->ApplyLineDefaults(); }
  TSerialError SetBaudRate(int bps) override { return inner_->SetBaudRate(bps); }
  TSerialError SetParity(TSerialParity p) override {
    record_->parity = p;
    return inner_->SetParity(p);
  }
  TSerialError SetDataBits(TSerialDataBits b) override {
    record_->data_bits = b;
    return inner_->SetDataBits(b);
  }
  TSerialError SetStopBits(TSerialStopBits b) override {
    record_->stop_bits = b;
    return inner_->SetStopBits(b);
  }
  TSerialError SetDtrFlow(TDtrFlow f) override { return inner_->SetDtrFlow(f); }
  TSerialError SetRtsFlow(TRtsFlow f) override { return inner_->SetRtsFlow(f); }
  TSerialError Read(uint8_t* buffer, int size, int* count) override;
  TSerialError Write(const uint8_t* bytes, int count, int timeout_ms, int* written) override;
  TSerialError WaitTransmitEmpty(int timeout_ms) override {
    return inner_->WaitTransmitEmpty(timeout_ms);
  }

 private:
  std::unique_ptr<TSerialDevice> inner_;
  std::shared_ptr<Record> record_;
};

std::vector<uint8_t> Sequence(size_t count, uint8_t first = 0);

}  // namespace quinterra::test
