// The bus engine against the emulated device, in process, over a byte pipe
// on a simulated clock: what the engine believes it wrote is what the device
// holds, and the engine's repetitions get through the device's faults.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "bus/bus_engine.h"
#include "emulator/panel_device.h"
#include "platform/simulated_clock.h"
#include "tests/emulator/request_bytes.h"

namespace quinterra {
namespace {

using test::Bytes;
using test::Pattern;

// The engine and the device joined by a link that delivers bytes after the
// sender's call has returned, as a real line does, and each answer after
// the device's delay.
class EngineWithDevice {
 public:
  explicit EngineWithDevice(const TPanelDeviceOptions& options) : Device(options) {
    Bus.OnSend = [this](TComVornBus*, const uint8_t* bytes, int, int count) {
      ++Sendings;
      ToDevice.insert(ToDevice.end(), bytes, bytes + count);
    };
    Device.OnAnswer = [this](TPanelDeviceEmulator& device, const uint8_t* bytes, size_t count) {
      ToEngine.push_back({Clock.Now() + device.Options().DelayMs, Bytes(bytes, bytes + count)});
    };
    Bus.OnInfo = [this](TComVornBus*) { Events.push_back("info"); };
    Bus.OnBuild = [this](TComVornBus*) { Events.push_back("build"); };
    Bus.OnDirectoryWritten = [this](TComVornBus*) { Events.push_back("directory"); };
    Bus.OnDisplayWritten = [this](TComVornBus*) { Events.push_back("display"); };
    Bus.OnConfigRead = [this](TComVornBus*) { Events.push_back("config"); };
    Bus.OnCheckResult = [this](TComVornBus*, bool match) { Events.push_back(match ? "match" : "mismatch"); };
    Bus.OnDisconnected = [this](TComVornBus*) { Events.push_back("disconnected"); };
    Bus.OnTimeout = [this](TComVornBus*) {
      Events.push_back("timeout");
      TimeoutAt.push_back(Clock.Now());
    };
    Bus.SetTarget(options.Address);
  }

  // Delivers everything that is due, in both directions, until nothing moves.
  void Pump() {
    bool moved = true;
    while (moved) {
      moved = false;
      if (!ToDevice.empty()) {
        const Bytes bytes(ToDevice.begin(), ToDevice.end());
        ToDevice.clear();
        Device.ReceiveBytes(bytes.data(), bytes.size());
        moved = true;
      }
      while (!ToEngine.empty() && ToEngine.front().Due <= Clock.Now()) {
        const Bytes answer = ToEngine.front().Frame;
        ToEngine.pop_front();
        for (uint8_t byte : answer) Bus.ReceiveByte(byte);
        moved = true;
      }
    }
  }

  // Runs simulated time in 10 ms steps until the event is seen or the limit passes.
  bool RunUntil(const std::string& event, int64_t limit_ms = 120000) {
    Pump();
    for (int64_t waited = 0;; waited += kStep) {
      if (Seen(event)) return true;
      if (waited >= limit_ms) return false;
      Clock.Advance(kStep);
      Pump();
    }
  }

  void RunFor(int64_t ms) {
    for (int64_t waited = 0; waited < ms; waited += kStep) {
      Clock.Advance(kStep);
      Pump();
    }
  }

  bool Seen(const std::string& event) const {
    return std::find(Events.begin(), Events.end(), event) != Events.end();
  }
  long Count(const std::string& event) const { return std::count(Events.begin(), Events.end(), event); }

  static constexpr int64_t kStep = 10;

  SimulatedClock Clock;
  TComVornBus Bus{Clock};
  TPanelDeviceEmulator Device;
  std::deque<uint8_t> ToDevice;
  struct InFlight {
    int64_t Due;
    Bytes Frame;
  };
  std::deque<InFlight> ToEngine;
  std::vector<std::string> Events;
  std::vector<int64_t> TimeoutAt;
  int Sendings = 0;
};

TPanelDeviceOptions Options(int model, bool small, uint8_t address = 1) {
  TPanelDeviceOptions options;
  options.Model = model;
  options.SmallBlocks = small;
  options.Address = address;
  return options;
}

// The device's area as the engine should have left it: bytes at offset 0,
// erased memory after them.
Bytes Written(const Bytes& bytes, size_t area_size) {
  Bytes area(area_size, 0xFF);
  std::copy(bytes.begin(), bytes.end(), area.begin());
  return area;
}

TEST(EngineAgainstDevice, InformationAndBuildAreTakenIn) {
  TPanelDeviceOptions options = Options(11, false, 2);
  options.BuildText = "B-42";
  EngineWithDevice link(options);
  link.Bus.RequestInfo();
  ASSERT_TRUE(link.RunUntil("info"));
  EXPECT_EQ(link.Bus.VersionText(), "11.0.0.0.0.0.0.0.1");
  EXPECT_EQ(link.Bus.BlockSize(), 256u);
  EXPECT_EQ(link.Bus.DisplaySize(), link.Device.Display().size());
  EXPECT_EQ(link.Bus.DirectorySize(), link.Device.Directory().size());
  EXPECT_EQ(link.Bus.ConfigImage(), link.Device.Config());  // byte 81 = 2 on both sides

  link.Bus.RequestBuild();
  ASSERT_TRUE(link.RunUntil("build"));
  EXPECT_EQ(link.Bus.BuildText(), "B-42");

  const Bytes check = Pattern(37, 5);
  link.Bus.CheckLink(check.data(), static_cast<int>(check.size()));
  ASSERT_TRUE(link.RunUntil("match"));
  EXPECT_FALSE(link.Seen("mismatch"));
}

TEST(EngineAgainstDevice, DirectoryAndPanelImagesLandExactlyInEveryLayout) {
  struct Case {
    int model;
    bool small;
    size_t image_size;
  };
  // Both panel images with both block sizes, and the larger model.
  for (const Case c : {Case{10, false, 320}, Case{10, false, 360}, Case{10, true, 320}, Case{10, true, 360},
                       Case{11, false, 360}}) {
    SCOPED_TRACE(std::to_string(c.model) + (c.small ? " small " : " ") + std::to_string(c.image_size));
    EngineWithDevice link(Options(c.model, c.small));
    link.Bus.RequestInfo();
    ASSERT_TRUE(link.RunUntil("info"));
    link.Bus.Connect();

    const Bytes record = Pattern(32, 90);
    link.Bus.WriteDirectory(0, record.data(), static_cast<uint32_t>(record.size()));
    ASSERT_TRUE(link.RunUntil("directory"));
    EXPECT_EQ(link.Device.Directory(), Written(record, link.Device.Directory().size()));

    const Bytes image = Pattern(c.image_size, 1);
    link.Bus.WriteDisplay(0, image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_TRUE(link.RunUntil("display"));
    EXPECT_EQ(link.Device.Display(), Written(image, link.Device.Display().size()));
    // The engine's images and the device's memory agree byte for byte.
    EXPECT_EQ(link.Bus.DisplayImage(), link.Device.Display());
    EXPECT_EQ(link.Bus.DirectoryImage(), link.Device.Directory());

    // Blocks sent: one for the record, then the image's blocks.
    const int block = c.small ? 128 : 256;
    const int blocks = (static_cast<int>(c.image_size) + block - 1) / block;
    EXPECT_EQ(link.Sendings, 1 + 1 + blocks);
  }
}

TEST(EngineAgainstDevice, ConfigurationReadBringsTheDevicesBlock) {
  EngineWithDevice link(Options(10, true, 1));
  link.Device.Config()[0] = 0x42;  // something the engine's fresh image lacks
  link.Bus.RequestInfo();
  ASSERT_TRUE(link.RunUntil("info"));
  link.Bus.Connect();
  link.Bus.ReadConfig();
  ASSERT_TRUE(link.RunUntil("config"));
  EXPECT_EQ(link.Bus.ConfigImage(), link.Device.Config());
}

TEST(EngineAgainstDevice, AnswersDelayedWithinTheResponseTimeNeedNoRepetition) {
  TPanelDeviceOptions options = Options(10, false);
  options.DelayMs = 400;
  EngineWithDevice link(options);
  link.Bus.Connect();
  link.Bus.RequestInfo();
  ASSERT_TRUE(link.RunUntil("info"));
  const Bytes image = Pattern(360, 3);
  link.Bus.WriteDisplay(0, image.data(), 360);
  ASSERT_TRUE(link.RunUntil("display"));
  EXPECT_EQ(link.Sendings, 3);
  EXPECT_EQ(link.Device.Display(), Written(image, link.Device.Display().size()));
}

// A whole delivery (information, record, 360-byte image) to a faulty device.
struct Delivery {
  bool Completed = false;
  bool TimedOut = false;
  bool ExactMemory = false;
  int Sendings = 0;
  // An answer reached the engine whose length field disagrees with its size.
  bool LengthByteHit = false;
};

Delivery DeliverThroughFaults(int drop, int corrupt, uint32_t seed) {
  TPanelDeviceOptions options = Options(10, false);
  options.DropPercent = drop;
  options.CorruptPercent = corrupt;
  options.Seed = seed;
  EngineWithDevice link(options);
  Delivery delivery;
  const auto deliver = link.Device.OnAnswer;
  link.Device.OnAnswer = [&](TPanelDeviceEmulator& device, const uint8_t* bytes, size_t count) {
    if ((size_t(bytes[7]) << 8 | bytes[8]) + 11 != count) delivery.LengthByteHit = true;
    deliver(device, bytes, count);
  };
  link.Bus.Connect();
  link.Bus.RequestInfo();
  const Bytes record = Pattern(32, 7);
  const Bytes image = Pattern(360, 8);
  if (link.RunUntil("info", 20000)) {
    link.Bus.WriteDirectory(0, record.data(), 32);
    if (link.RunUntil("directory", 20000)) {
      link.Bus.WriteDisplay(0, image.data(), 360);
      link.RunUntil("display", 40000);
    }
  }
  link.RunFor(20000);  // whatever else is coming
  delivery.Completed = link.Seen("display");
  delivery.TimedOut = link.Count("timeout") == 1;
  delivery.ExactMemory = link.Device.Display() == Written(image, link.Device.Display().size()) &&
                         link.Device.Directory() == Written(record, link.Device.Directory().size());
  delivery.Sendings = link.Sendings;
  EXPECT_LE(link.Count("timeout"), 1);
  return delivery;
}

TEST(EngineAgainstDevice, RepetitionsGetThroughDroppedAnswers) {
  int repeated = 0;
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const Delivery delivery = DeliverThroughFaults(20, 0, seed);
    EXPECT_TRUE(delivery.Completed) << "seed " << seed;
    EXPECT_FALSE(delivery.TimedOut) << "seed " << seed;
    EXPECT_TRUE(delivery.ExactMemory) << "seed " << seed;
    repeated += delivery.Sendings > 4;
  }
  EXPECT_GT(repeated, 10);  // the faults did strike
}

TEST(EngineAgainstDevice, RepetitionsGetThroughCorruptedAnswers) {
  int repeated = 0;
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    const Delivery delivery = DeliverThroughFaults(0, 20, seed);
    // Never a success that is not one.
    if (delivery.Completed) {
      EXPECT_TRUE(delivery.ExactMemory) << "seed " << seed;
    }
    EXPECT_NE(delivery.Completed, delivery.TimedOut) << "seed " << seed;
    // A corrupted length field can make the engine's receiver swallow the
    // answers to all its repetitions (see the disabled test below); any other
    // corruption must be repeated through.
    if (!delivery.LengthByteHit) {
      EXPECT_TRUE(delivery.Completed) << "seed " << seed;
    }
    repeated += delivery.Sendings > 4;
  }
  EXPECT_GT(repeated, 10);
}

// The engine keeps its receiver's state across repetitions. An answer whose
// low length byte is damaged announces up to 255 more bytes, and the answers
// to the following repetitions (11 bytes each) are taken as its payload: the
// device is declared lost although it answered every repetition. Enable once
// a repetition restarts the engine's receiver.
TEST(EngineAgainstDevice, DISABLED_OneDamagedLengthByteDoesNotLoseAnAnsweringDevice) {
  EngineWithDevice link(Options(10, false));
  link.Bus.RequestInfo();
  ASSERT_TRUE(link.RunUntil("info"));
  link.Bus.Connect();
  bool damaged = false;
  const auto deliver = link.Device.OnAnswer;
  link.Device.OnAnswer = [&](TPanelDeviceEmulator& device, const uint8_t* bytes, size_t count) {
    Bytes answer(bytes, bytes + count);
    if (!damaged) answer[8] ^= 0xFF;  // length 0 becomes 255
    damaged = true;
    deliver(device, answer.data(), answer.size());
  };
  const Bytes record = Pattern(32, 7);
  link.Bus.WriteDirectory(0, record.data(), 32);
  EXPECT_TRUE(link.RunUntil("directory", 20000));
  EXPECT_FALSE(link.Seen("timeout"));
}

TEST(EngineAgainstDevice, ADeviceThatFallsSilentEndsInExactlyOneTimeout) {
  // Busy: the information and the first display block are answered, the
  // second block never is.
  TPanelDeviceOptions options = Options(10, false);
  options.SilentAfter = 2;
  EngineWithDevice busy(options);
  busy.Bus.Connect();
  busy.Bus.RequestInfo();
  ASSERT_TRUE(busy.RunUntil("info"));
  const Bytes image = Pattern(360, 2);
  busy.Bus.WriteDisplay(0, image.data(), 360);
  const int64_t sent_at = busy.Clock.Now();
  ASSERT_TRUE(busy.RunUntil("timeout"));
  busy.RunFor(60000);
  EXPECT_EQ(busy.Count("timeout"), 1);
  EXPECT_EQ(busy.Count("disconnected"), 1);
  EXPECT_FALSE(busy.Seen("display"));
  // First block answered at once, the second sent 6 times, lost 15 s after its first sending.
  EXPECT_EQ(busy.Sendings, 1 + 1 + 6);
  EXPECT_EQ(busy.TimeoutAt[0] - sent_at, 15000);
  // What did arrive is in place; the unanswered block was never stored.
  EXPECT_EQ(Bytes(busy.Device.Display().begin(), busy.Device.Display().begin() + 256),
            Bytes(image.begin(), image.begin() + 256));
  EXPECT_EQ(busy.Device.Display()[256], 0xFF);

  // Idle: the keep-alive pings go unanswered.
  options.SilentAfter = 1;
  EngineWithDevice idle(options);
  idle.Bus.Connect();
  idle.Bus.RequestInfo();
  ASSERT_TRUE(idle.RunUntil("info"));
  const int64_t idle_from = idle.Clock.Now();
  ASSERT_TRUE(idle.RunUntil("timeout"));
  idle.RunFor(60000);
  EXPECT_EQ(idle.Count("timeout"), 1);
  EXPECT_EQ(idle.TimeoutAt[0] - idle_from, 10800);
}

}  // namespace
}  // namespace quinterra
