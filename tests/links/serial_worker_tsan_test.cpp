// The serial worker thread on a pseudo-terminal named COM120 in config.ini:
// its events on the UI thread, its queue, its errors and its end.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "links/comunicacion_serie.h"
#include "tests/links/link_test_support.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::ScriptedDevice;
using test::Sequence;
using test::TempConfig;
using test::WaitUntil;
using test::Watchdog;

constexpr int kCom = 120;

// What the worker reported, recorded on the UI thread.
struct Seen {
  std::vector<std::vector<uint8_t>> received;
  std::vector<std::vector<uint8_t>> transmitted;
  std::vector<std::string> errors;
  std::vector<std::string> order;
  std::thread::id ui_thread = std::this_thread::get_id();
  bool off_ui_thread = false;

  void Check() {
    if (std::this_thread::get_id() != ui_thread) off_ui_thread = true;
  }
  void Attach(TComunicacionSerie& worker) {
    worker.OnSerieReceive = [this](TComunicacionSerie*, const uint8_t* b, int n) {
      Check();
      received.emplace_back(b, b + n);
      order.push_back("receive");
    };
    worker.OnSerieTransmit = [this](TComunicacionSerie*, const uint8_t* b, int n) {
      Check();
      transmitted.emplace_back(b, b + n);
      order.push_back("transmit");
    };
    worker.OnSerieError = [this](TComunicacionSerie*, const std::string& text) {
      Check();
      errors.push_back(text);
      order.push_back("error");
    };
    worker.OnSerieConnect = [this](TComunicacionSerie*) { Check(); order.push_back("connect"); };
    worker.OnSerieConnected = [this](TComunicacionSerie*) { Check(); order.push_back("connected"); };
    worker.OnSerieClose = [this](TComunicacionSerie*) { Check(); order.push_back("close"); };
  }
  size_t ReceivedBytes() const {
    size_t n = 0;
    for (const auto& piece : received) n += piece.size();
    return n;
  }
};

// A pseudo-terminal whose device the test can pull out: closing the master
// hangs the slave up, as unplugging a USB adapter hangs up its tty.
class PluggedPty {
 public:
  PluggedPty() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  }
  ~PluggedPty() { PullOut(); }
  PluggedPty(const PluggedPty&) = delete;
  PluggedPty& operator=(const PluggedPty&) = delete;
  const std::string& SlavePath() const { return path_; }
  void PullOut() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_;
  std::string path_;
};

// Ends a worker as the link layer does and waits until it has freed itself.
void EndWorker(TComunicacionSerie* worker) {
  worker->DetachHandlers();
  worker->Terminate();
}

class SerialWorkerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every worker of a test must have freed itself: no leak, and nothing of
    // it left running into the next test.
    EXPECT_TRUE(WaitUntil([] { return TComunicacionSerie::LiveCount() == 0; }, 10s))
        << TComunicacionSerie::LiveCount() << " worker(s) never freed";
  }

  TComunicacionSerie* MakeWorker(bool suspended = false, bool scripted = false) {
    std::unique_ptr<TSerialDevice> device;
    if (scripted) device = std::make_unique<ScriptedDevice>(CreateNativeSerialDevice(), record_);
    auto* worker = new TComunicacionSerie(suspended, config_.MapPorts({{kCom, pty_.SlavePath()}}),
                                          std::move(device));
    seen_.Attach(*worker);
    return worker;
  }
  static void Configure(TComunicacionSerie* worker, int rate = 19200) {
    worker->SetPuertoSerie(kCom);
    worker->SetVelocidadSerie(rate);
    worker->SetDataBitsSerie(8);
    worker->SetStopBitsSerie(0);
    worker->SetParitySerie(0);
  }

  PtyPair pty_;
  TempConfig config_;
  Seen seen_;
  std::shared_ptr<ScriptedDevice::Record> record_ = std::make_shared<ScriptedDevice::Record>();
};

TEST_F(SerialWorkerTest, HundredBytesArrivingAtOnceReachTheOwnerAs40And40And20InOrder) {
  TComunicacionSerie* worker = MakeWorker();
  Configure(worker);
  const std::vector<uint8_t> burst = Sequence(100, 1);
  bool burst_written = false;
  worker->OnSerieReceive = [&](TComunicacionSerie*, const uint8_t* b, int n) {
    seen_.Check();
    seen_.received.emplace_back(b, b + n);
    if (!burst_written) {
      // The worker waits for this handler: the whole burst is buffered
      // before its next read.
      burst_written = true;
      pty_.WriteToSlave(burst);
      std::this_thread::sleep_for(200ms);
    }
  };
  worker->OpenPort();
  pty_.WriteToSlave({0xEE});
  ASSERT_TRUE(WaitUntil([&] { return seen_.ReceivedBytes() >= 101; }));
  ASSERT_EQ(seen_.received.size(), 4u);
  EXPECT_EQ(seen_.received[0], std::vector<uint8_t>{0xEE});
  EXPECT_EQ(seen_.received[1], std::vector<uint8_t>(burst.begin(), burst.begin() + 40));
  EXPECT_EQ(seen_.received[2], std::vector<uint8_t>(burst.begin() + 40, burst.begin() + 80));
  EXPECT_EQ(seen_.received[3], std::vector<uint8_t>(burst.begin() + 80, burst.end()));
  EXPECT_FALSE(seen_.off_ui_thread);
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, BytesQueuedBeforeTheOpenGoOutInOneWriteWithWhatFollows) {
  TComunicacionSerie* worker = MakeWorker(/*suspended=*/true, /*scripted=*/true);
  Configure(worker);
  const std::vector<uint8_t> early = {1, 2, 3, 4, 5}, late = {6, 7, 8};
  worker->SendBytes(early.data(), 5);  // not open yet: stays queued
  worker->OpenPort();
  worker->SendBytes(late.data(), 3);
  worker->Start();
  ASSERT_TRUE(WaitUntil([&] { return !seen_.transmitted.empty(); }));
  const std::vector<uint8_t> all = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(record_->write_calls.load(), 1);
  EXPECT_EQ(seen_.transmitted.front(), all);
  EXPECT_EQ(pty_.ReadFromSlave(8, 2s), all);
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, PauseAfterCharSplitsAQueuedWriteIntoSingleBytes) {
  TComunicacionSerie* worker = MakeWorker(false, /*scripted=*/true);
  Configure(worker);
  worker->OpenPort();
  worker->SetPauseAfterChar(2);
  EXPECT_EQ(worker->PauseAfterChar(), 2);
  const std::vector<uint8_t> frame = {0xA1, 0xA2, 0xA3, 0xA4};
  worker->SendBytes(frame.data(), 4);
  ASSERT_TRUE(WaitUntil([&] { return !seen_.transmitted.empty(); }));
  EXPECT_EQ(record_->one_byte_writes.load(), 4);
  EXPECT_EQ(seen_.transmitted.front(), frame);
  EXPECT_EQ(pty_.ReadFromSlave(4, 2s), frame);
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, AnOpenThatFailsReportsOneErrorTextAfterTheRetries) {
  TComunicacionSerie* worker = MakeWorker(false, /*scripted=*/true);
  record_->open_error = ENOENT;
  Configure(worker);
  worker->OpenPort();
  EXPECT_EQ(record_->open_calls.load(), 101);
  EXPECT_EQ(seen_.order, (std::vector<std::string>{"connect", "error"}));
  ASSERT_EQ(seen_.errors.size(), 1u);
  EXPECT_EQ(seen_.errors[0], "ERROR: 0x2 No existe el archivo o el directorio");
  EXPECT_EQ(worker->LastErrorText(), seen_.errors[0]);
  EXPECT_EQ(worker->LastError().kind, TSerialErrorKind::NotFound);
  EXPECT_EQ(worker->LastError().code, static_cast<uint32_t>(ENOENT));
  // Not connected: the loop neither reads nor writes, and reports nothing more.
  const uint8_t byte = 1;
  worker->SendBytes(&byte, 1);
  test::RunEventsFor(50ms);
  EXPECT_EQ(seen_.errors.size(), 1u);
  EXPECT_TRUE(seen_.transmitted.empty());
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, ADevicePulledOutIsReportedOnceAndNoLongerPolled) {
  PluggedPty device;
  ASSERT_FALSE(device.SlavePath().empty());
  auto scripted = std::make_unique<ScriptedDevice>(CreateNativeSerialDevice(), record_);
  auto* worker =
      new TComunicacionSerie(false, config_.MapPorts({{kCom, device.SlavePath()}}), std::move(scripted));
  seen_.Attach(*worker);
  Configure(worker);
  worker->OpenPort();
  ASSERT_TRUE(WaitUntil([&] { return record_->read_calls.load() > 3; }));
  device.PullOut();
  ASSERT_TRUE(WaitUntil([&] { return !seen_.errors.empty(); }));
  const int reads = record_->read_calls.load();
  const std::vector<uint8_t> frame = {1, 2, 3};
  worker->SendBytes(frame.data(), 3);
  test::RunEventsFor(100ms);
  EXPECT_EQ(seen_.errors, std::vector<std::string>{"ERROR: 0x5 Error de entrada/salida"});
  EXPECT_EQ(worker->LastError().kind, TSerialErrorKind::Gone);
  EXPECT_EQ(record_->read_calls.load(), reads) << "still polled";
  EXPECT_EQ(record_->write_calls.load(), 0);
  EXPECT_TRUE(seen_.transmitted.empty());
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, AWriteErrorUnderTheQueueLockNeverDeadlocksTheUiThread) {
  TComunicacionSerie* worker = MakeWorker(false, /*scripted=*/true);
  Configure(worker);
  worker->OpenPort();
  record_->write_delay_ms = 300;
  record_->write_error = EIO;
  Watchdog watchdog(20s, "SendBytes during a failing write");
  const std::vector<uint8_t> first = {1, 2, 3}, second = {4, 5};
  worker->SendBytes(first.data(), 3);
  ASSERT_TRUE(WaitUntil([&] { return record_->writing.load(); }));
  // The worker holds the queue lock in its write; this waits for it, and the
  // write's error must not need this thread before the lock is let go.
  worker->SendBytes(second.data(), 2);
  ASSERT_TRUE(WaitUntil([&] { return !seen_.errors.empty(); }));
  EXPECT_EQ(seen_.errors[0], "ERROR: 0x5 Error de entrada/salida");
  ASSERT_TRUE(WaitUntil([&] { return !seen_.transmitted.empty(); }));
  // The error is delivered before the transmit report of the same write.
  EXPECT_EQ(seen_.order[2], "error");
  EXPECT_EQ(seen_.order[3], "transmit");
  EXPECT_TRUE(seen_.transmitted[0].empty());  // the port accepted none of it
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, PropertiesKeepTheLastAcceptedValueAndIgnoreOthers) {
  TComunicacionSerie* worker = MakeWorker(false, /*scripted=*/true);
  EXPECT_EQ(worker->VelocidadSerie(), 0);
  worker->SetVelocidadSerie(4800);
  worker->SetVelocidadSerie(1800);
  EXPECT_EQ(worker->VelocidadSerie(), 4800);
  worker->SetStopBitsSerie(2);
  worker->SetStopBitsSerie(3);
  EXPECT_EQ(worker->StopBitsSerie(), 2);
  worker->SetDataBitsSerie(7);
  worker->SetDataBitsSerie(9);
  worker->SetDataBitsSerie(3);
  EXPECT_EQ(worker->DataBitsSerie(), 7);
  worker->SetParitySerie(4);
  worker->SetParitySerie(5);
  EXPECT_EQ(worker->ParitySerie(), 4);
  worker->SetPuertoSerie(kCom);
  worker->OpenPort();
  EXPECT_EQ(pty_.SlaveRate(), 4800);
  EXPECT_EQ(record_->data_bits.load(), Tsd7Bits);
  EXPECT_EQ(record_->stop_bits.load(), Tssb2);
  EXPECT_EQ(record_->parity.load(), TspSpace);
  // The open runs on this thread, so its events have run already.
  EXPECT_EQ(seen_.order, (std::vector<std::string>{"connect", "connected"}));
  EXPECT_TRUE(seen_.errors.empty());
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, ChangingThePortOfAnOpenPortClosesItBeforeTheNumberChanges) {
  TComunicacionSerie* worker = MakeWorker();
  Configure(worker);
  worker->OpenPort();
  int number_at_close = -1;
  worker->OnSerieClose = [&](TComunicacionSerie* sender) { number_at_close = sender->PuertoSerie(); };
  worker->SetPuertoSerie(7);
  EXPECT_EQ(number_at_close, kCom);
  EXPECT_EQ(worker->PuertoSerie(), 7);
  // Not reopened until OpenPort: bytes from the device are not read.
  pty_.WriteToSlave({1, 2, 3});
  test::RunEventsFor(50ms);
  EXPECT_TRUE(seen_.received.empty());
  EndWorker(worker);
}

TEST_F(SerialWorkerTest, AfterTerminateEveryCallIsIgnoredAndOnTerminateRunsLast) {
  TComunicacionSerie* worker = MakeWorker();
  Configure(worker);
  bool terminate_seen = false;
  // Left filled on purpose: the ended worker waits for this thread to run it,
  // which keeps the object alive for the calls below.
  worker->OnTerminate = [&](TComunicacionSerie*) { terminate_seen = true; };
  worker->Terminate();
  EXPECT_TRUE(worker->Terminated());
  worker->SetVelocidadSerie(9600);
  worker->SetPuertoSerie(3);
  worker->SetPauseAfterChar(20);
  worker->OpenPort();
  const uint8_t byte = 1;
  worker->SendBytes(&byte, 1);
  EXPECT_EQ(worker->VelocidadSerie(), 19200);
  EXPECT_EQ(worker->PuertoSerie(), kCom);
  EXPECT_EQ(worker->PauseAfterChar(), -1);
  EXPECT_TRUE(seen_.order.empty());  // the open did not happen
  ASSERT_TRUE(WaitUntil([&] { return terminate_seen; }));
  EXPECT_TRUE(pty_.ReadFromSlave(1, 20ms).empty());
}

TEST_F(SerialWorkerTest, TerminatingFromAHandlerInsideOpenPortIsSafe) {
  TComunicacionSerie* worker = MakeWorker();
  Configure(worker);
  worker->OnSerieConnected = [](TComunicacionSerie* sender) { EndWorker(sender); };
  // Open goes on with the line settings after the handler: the worker must
  // not free itself under it.
  worker->OpenPort();
}

TEST_F(SerialWorkerTest, TerminateLetsGoOfTheDeviceEvenWhileAnEventWaitsForTheUiThread) {
  TComunicacionSerie* worker = MakeWorker();
  Configure(worker);
  worker->OpenPort();
  pty_.WriteToSlave({0x42});
  // Give the worker time to read and block on its receive event, which this
  // thread does not run yet.
  std::this_thread::sleep_for(100ms);
  EndWorker(worker);
  auto next = CreateNativeSerialDevice();
  EXPECT_FALSE(next->Open(pty_.SlavePath()));
  EXPECT_TRUE(seen_.received.empty());  // handlers were cleared first
}

}  // namespace
}  // namespace quinterra
