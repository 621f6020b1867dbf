// The serial port object on a pseudo-terminal named COM120 in config.ini.
// The Windows build runs these under Wine, whose COM1 is a pseudo-terminal
// made afresh for each test (tests/support/pty_relay_main.cpp).

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "links/serial_comm.h"
#include "tests/links/serial_test_support.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::ScriptedDevice;
using test::Sequence;
using test::TempConfig;

constexpr int kCom = 120;

// Every event of the port, in order, as text.
struct EventLog {
  std::vector<std::string> lines;
  TSerialError last_error;
  void Attach(TSerialComm& port) {
    port.OnError = [this](TSerialComm*, const TSerialError& error) {
      lines.push_back("error " + std::to_string(error.code));
      last_error = error;
    };
    port.OnReceive = [this](TSerialComm*, int n) { lines.push_back("receive " + std::to_string(n)); };
    port.OnTransmit = [this](TSerialComm*, int n) { lines.push_back("transmit " + std::to_string(n)); };
    port.OnConnect = [this](TSerialComm*) { lines.push_back("connect"); };
    port.OnConnected = [this](TSerialComm*) { lines.push_back("connected"); };
    port.OnClose = [this](TSerialComm*) { lines.push_back("close"); };
  }
  int Errors() const {
    int n = 0;
    for (const std::string& line : lines) n += line.rfind("error", 0) == 0;
    return n;
  }
};

class SerialPortTest : public ::testing::Test {
 protected:
  TComPortMap Ports() { return config_.MapPorts({{kCom, pty_.SlavePath()}}); }
  std::unique_ptr<TSerialComm> MakePort(std::unique_ptr<TSerialDevice> device = nullptr) {
    auto port = std::make_unique<TSerialComm>(Ports(), std::move(device));
    events_.Attach(*port);
    // Wine's serial driver has no space parity, the port's first setting.
    if (test::RunningUnderWine()) port->SetParity(TspNone);
    return port;
  }
  std::unique_ptr<TSerialComm> Scripted() {
    return MakePort(std::make_unique<ScriptedDevice>(CreateNativeSerialDevice(), record_));
  }

  PtyPair pty_;
  TempConfig config_;
  EventLog events_;
  std::shared_ptr<ScriptedDevice::Record> record_ = std::make_shared<ScriptedDevice::Record>();
};

TEST_F(SerialPortTest, OpensTheMappedDeviceAndAppliesTheStoredLineSettings) {
  auto port = Scripted();
  port->SetPort(kCom);
  port->SetBaudRate(Tsbr19200);  // closed: stored only
  port->SetParity(TspNone);
  port->SetStopBits(Tssb2);  // (a pseudo-terminal under Wine refuses 7 data bits)
  ASSERT_TRUE(port->Open());
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(events_.lines, (std::vector<std::string>{"connect", "connected"}));
#ifndef _WIN32
  EXPECT_EQ(pty_.SlaveRate(), 19200);
#endif
  EXPECT_EQ(record_->parity.load(), TspNone);
  EXPECT_EQ(record_->data_bits.load(), Tsd8Bits);
  EXPECT_EQ(record_->stop_bits.load(), Tssb2);
  EXPECT_EQ(events_.Errors(), 0);
}

#ifndef _WIN32
TEST_F(SerialPortTest, LineSettersApplyAtOnceOnAnOpenPortIncludingNonStandardRates) {
  auto port = Scripted();
  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(pty_.SlaveRate(), 2400);
  EXPECT_EQ(record_->parity.load(), TspSpace);  // until told otherwise
  for (TSerialBaudRate rate : {Tsbr14400, Tsbr56000, Tsbr128000, Tsbr256000, Tsbr9600}) {
    port->SetBaudRate(rate);
    EXPECT_EQ(pty_.SlaveRate(), BaudRateValue(rate));
  }
  port->SetParity(TspEven);
  EXPECT_EQ(record_->parity.load(), TspEven);
  port->SetStopBits(Tssb2);
  EXPECT_EQ(record_->stop_bits.load(), Tssb2);
  EXPECT_EQ(events_.Errors(), 0);
}
#endif

TEST_F(SerialPortTest, ModemLinesOfAPseudoTerminalAreANoOpNotAnError) {
  auto port = MakePort();
  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  port->SetDtrFlow(TdfEnable);
  port->SetRtsFlow(TrfEnable);
  port->SetRtsFlow(TrfDisable);
  port->SetRtsManual(true);  // raises and drops RTS around the write
  const std::vector<uint8_t> bytes = {1, 2, 3};
  EXPECT_EQ(port->WriteBytes(bytes.data(), 3), 3);
  EXPECT_EQ(events_.Errors(), 0);
  EXPECT_FALSE(port->ErrorFlag());
  EXPECT_EQ(pty_.ReadFromSlave(3, 2s), bytes);
}

TEST_F(SerialPortTest, PortZeroOpensNothingAndCloseForgetsTheNumber) {
  auto port = MakePort();
  EXPECT_TRUE(port->Open());  // port 0: nothing to open, success
  EXPECT_FALSE(port->Connected());
  port->SetPort(kCom);
  EXPECT_TRUE(port->Close());  // closed: succeeds quietly
  EXPECT_EQ(port->Port(), TsPortNone);
  EXPECT_TRUE(events_.lines.empty());

  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  events_.lines.clear();
  EXPECT_TRUE(port->Close());
  EXPECT_EQ(events_.lines, std::vector<std::string>{"close"});
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Port(), TsPortNone);
}

TEST_F(SerialPortTest, ReadsReturnAtOnceWithWhatIsBuffered) {
  auto port = MakePort();
  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  events_.lines.clear();
  uint8_t buffer[40];
  EXPECT_EQ(port->ReadBytes(buffer, 40), 0);  // nothing there: no wait
  EXPECT_EQ(events_.lines, std::vector<std::string>{"receive 0"});

  const std::vector<uint8_t> sent = Sequence(30, 0xC0);
  pty_.WriteToSlave(sent);
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (got.size() < sent.size() && std::chrono::steady_clock::now() < deadline) {
    const int n = port->ReadBytes(buffer, 40);
    got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_EQ(got, sent);
  EXPECT_EQ(events_.Errors(), 0);
}

TEST_F(SerialPortTest, PauseAfterCharSendsOneByteAtATimeInOrder) {
  auto port = Scripted();
  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  port->SetPauseAfterChar(5);
  const std::vector<uint8_t> bytes = {0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(port->WriteBytes(bytes.data(), 4), 4);
  EXPECT_EQ(record_->write_calls.load(), 4);
  EXPECT_EQ(record_->one_byte_writes.load(), 4);
  EXPECT_EQ(events_.lines.back(), "transmit 4");
  EXPECT_EQ(pty_.ReadFromSlave(4, 2s), bytes);

  port->SetPauseAfterChar(0);
  EXPECT_EQ(port->WriteBytes(bytes.data(), 4), 4);
  EXPECT_EQ(record_->write_calls.load(), 5);  // one write for all four
}

TEST_F(SerialPortTest, AWriteFailureIsReportedOnceAndSilencesLaterTransmitEvents) {
  auto port = Scripted();
  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  events_.lines.clear();
  record_->write_error = EIO;
  const std::vector<uint8_t> bytes = {1, 2};
  EXPECT_EQ(port->WriteBytes(bytes.data(), 2), 0);
  EXPECT_EQ(events_.lines, std::vector<std::string>{"error " + std::to_string(EIO)});
  EXPECT_TRUE(port->ErrorFlag());

  record_->write_error = 0;
  events_.lines.clear();
  EXPECT_EQ(port->WriteBytes(bytes.data(), 2), 2);  // the write works ...
  EXPECT_TRUE(events_.lines.empty());                // ... but the flag stays
}

// A device that has gone away (a USB adapter pulled out) fails every call
// at once; the port must not keep trying it.
TEST_F(SerialPortTest, AFailedReadOrAGoneDeviceEndsTheSessionUntilTheNextOpen) {
  auto port = Scripted();
  port->SetPort(kCom);
  ASSERT_TRUE(port->Open());
  events_.lines.clear();
  record_->read_error = EIO;
  uint8_t buffer[40];
  EXPECT_EQ(port->ReadBytes(buffer, 40), 0);
  EXPECT_EQ(events_.lines, std::vector<std::string>{"error " + std::to_string(EIO)});
  EXPECT_FALSE(port->Connected());
  const int reads = record_->read_calls.load();
  EXPECT_EQ(port->ReadBytes(buffer, 40), 0);
  EXPECT_EQ(record_->read_calls.load(), reads) << "not read again";
  EXPECT_EQ(events_.Errors(), 1);

  record_->read_error = 0;
  ASSERT_TRUE(port->Open());
  EXPECT_TRUE(port->Connected());
  pty_.WriteToSlave({0x42});
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (got.empty() && std::chrono::steady_clock::now() < deadline) {
    got.insert(got.end(), buffer, buffer + port->ReadBytes(buffer, 40));
  }
  EXPECT_EQ(got, std::vector<uint8_t>{0x42});

  // A write that finds the device gone (EIO here; on Windows the same 5 is
  // "access denied", which on an open port means gone) ends it as well.
  record_->write_error = EIO;
  const uint8_t byte = 1;
  EXPECT_EQ(port->WriteBytes(&byte, 1), 0);
  EXPECT_EQ(events_.last_error.kind, TSerialErrorKind::Gone);
  EXPECT_FALSE(port->Connected());
}

TEST_F(SerialPortTest, APortThatCannotBeOpenedIsTried101TimesThenReportedOnce) {
  constexpr int kMissing = 121;
#ifdef _WIN32
  const TComPortMap ports = config_.MapPorts({{kMissing, "\\\\.\\QuinterraNoSuchPort"}});
#else
  const TComPortMap ports = config_.MapPorts({{kMissing, config_.Folder() + "/no-such-tty"}});
#endif
  auto port = std::make_unique<TSerialComm>(
      ports, std::make_unique<ScriptedDevice>(CreateNativeSerialDevice(), record_));
  events_.Attach(*port);
  port->SetPort(kMissing);
  EXPECT_FALSE(port->Open());
  EXPECT_EQ(record_->open_calls.load(), TSerialComm::kOpenTries);
  // File not found is 2 on Linux and on Windows alike.
  EXPECT_EQ(events_.lines, (std::vector<std::string>{"connect", "error 2"}));
  EXPECT_EQ(events_.last_error.kind, TSerialErrorKind::NotFound);
  const std::string text = SerialErrorText(events_.last_error);
  EXPECT_EQ(text.rfind("ERROR: 0x2 ", 0), 0u) << text;
  EXPECT_GT(text.size(), 14u) << "no system text";
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "line end left";
  EXPECT_FALSE(port->Connected());
}

TEST(SerialDevice, AnOpenDeviceRefusesASecondOpenEvenForRoot) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine lets a second handle open a port";
  PtyPair pty;
  auto first = CreateNativeSerialDevice();
  auto second = CreateNativeSerialDevice();
  ASSERT_FALSE(first->Open(pty.SlavePath()));
  EXPECT_EQ(second->Open(pty.SlavePath()).kind, TSerialErrorKind::Busy);
  EXPECT_FALSE(second->IsOpen());
  ASSERT_FALSE(first->Close());
  EXPECT_FALSE(second->Open(pty.SlavePath()));  // free again once closed
}

#ifndef _WIN32
TEST(SerialDevice, AWriteThatFindsNoRoomEndsWithinItsBudgetWithoutAnError) {
  PtyPair pty;  // nobody reads the master: the pseudo-terminal fills up
  auto device = CreateNativeSerialDevice();
  ASSERT_FALSE(device->Open(pty.SlavePath()));
  ASSERT_FALSE(device->ApplyLineDefaults());
  const std::vector<uint8_t> bytes(1 << 20, 0x5A);
  int written = -1;
  EXPECT_FALSE(device->Write(bytes.data(), static_cast<int>(bytes.size()), 50, &written));
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int>(bytes.size()));
}
#endif

}  // namespace
}  // namespace quinterra
