#pragma once
// Helpers of the link tests: a temporary config.ini mapping pseudo-terminals
// to COM numbers, bounded waits that keep the UI thread's events flowing, a
// watchdog for deadlocks and a serial device that fails on demand.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
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

// Runs the UI thread's events until done() or timeout; returns done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Runs the UI thread's events for a while.
void RunEventsFor(std::chrono::milliseconds time);

// Ends the process with a message if not disarmed in time: a deadlocked test
// must fail, not hang.
class Watchdog {
 public:
  Watchdog(std::chrono::milliseconds limit, std::string what);
  ~Watchdog();

 private:
  std::atomic<bool> disarmed_{false};
  std::thread thread_;
};

// A serial device that passes every call to another one, counting writes and
// failing on demand; failing writes can first block for a while.
class ScriptedDevice : public TSerialDevice {
 public:
  struct Record {
    std::atomic<int> open_calls{0};
    std::atomic<int> write_calls{0};
    std::atomic<int> one_byte_writes{0};
    std::atomic<bool> writing{false};  // inside a Write
    std::atomic<uint32_t> open_error{0};
    std::atomic<uint32_t> write_error{0};
    std::atomic<int> write_delay_ms{0};
    // The last line settings applied, -1 before any.
    std::atomic<int> parity{-1};
    std::atomic<int> data_bits{-1};
    std::atomic<int> stop_bits{-1};
  };

  ScriptedDevice(std::unique_ptr<TSerialDevice> inner, std::shared_ptr<Record> record)
      : inner_(std::move(inner)), record_(std::move(record)) {}

  uint32_t Open(const std::string& path) override;
  bool IsOpen() const override { return inner_->IsOpen(); }
  uint32_t Close() override { return inner_->Close(); }
  uint32_t ApplyLineDefaults() override { return inner_->ApplyLineDefaults(); }
  uint32_t SetBaudRate(int bps) override { return inner_->SetBaudRate(bps); }
  uint32_t SetParity(TSerialParity p) override {
    record_->parity = p;
    return inner_->SetParity(p);
  }
  uint32_t SetDataBits(TSerialDataBits b) override {
    record_->data_bits = b;
    return inner_->SetDataBits(b);
  }
  uint32_t SetStopBits(TSerialStopBits b) override {
    record_->stop_bits = b;
    return inner_->SetStopBits(b);
  }
  uint32_t SetDtrFlow(TDtrFlow f) override { return inner_->SetDtrFlow(f); }
  uint32_t SetRtsFlow(TRtsFlow f) override { return inner_->SetRtsFlow(f); }
  uint32_t Read(uint8_t* buffer, int size, int* count) override {
    return inner_->Read(buffer, size, count);
  }
  uint32_t Write(const uint8_t* bytes, int count, int timeout_ms, int* written) override;
  uint32_t WaitTransmitEmpty(int timeout_ms) override {
    return inner_->WaitTransmitEmpty(timeout_ms);
  }

 private:
  std::unique_ptr<TSerialDevice> inner_;
  std::shared_ptr<Record> record_;
};

std::vector<uint8_t> Sequence(size_t count, uint8_t first = 0);

}  // namespace quinterra::test
