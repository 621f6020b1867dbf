// The bus engine against the emulated device, in process, over a byte pipe on
// a simulated clock: what the engine believes it wrote is what the device
// holds, and the engine's repetitions get through the device's faults.

#include <gtest/gtest.h>

#include <deque>

#include "bus/bus_engine.h"
#include "emulator/panel_device.h"
#include "platform/simulated_clock.h"
#include "tests/emulator/request_bytes.h"

using namespace std::chrono_literals;

namespace quinterra::test {
namespace {

// Bytes reach the other side after the sender's call has returned, as on a
// real line, and each answer after the device's delay.
class EngineWithDevice {
 public:
  explicit EngineWithDevice(const TPanelDeviceOptions& options) : Device(options) {
    Bus.OnSend = [this](TComVornBus*, const uint8_t* bytes, int, int count) {
      ++Sendings;
      ToDevice.insert(ToDevice.end(), bytes, bytes + count);
    };
    Device.OnAnswer = [this](TPanelDeviceEmulator& device, const uint8_t* bytes, size_t count) {
      const Bytes answer(bytes, bytes + count);
      LengthByteHit |= (size_t(answer[7]) << 8 | answer[8]) + 11 != count;
      ToEngine.push_back({Clock.Now().count() + device.Options().DelayMs, answer});
    };
    auto note = [this](const char* name) { return [this, name](TComVornBus*) { Events.push_back(name); }; };
    Bus.OnInfo = note("info");
    Bus.OnBuild = note("build");
    Bus.OnDirectoryWritten = note("directory");
    Bus.OnDisplayWritten = note("display");
    Bus.OnConfigRead = note("config");
    Bus.OnDisconnected = note("disconnected");
    Bus.OnCheckResult = [this](TComVornBus*, bool match) { Events.push_back(match ? "match" : "mismatch"); };
    Bus.OnTimeout = [this](TComVornBus*) {
      Events.push_back("timeout");
      TimeoutAt.push_back(Clock.Now().count());
    };
    Bus.SetTarget(options.Address);
  }

  void Pump() {
    for (bool moved = true; moved;) {
      moved = !ToDevice.empty();
      const Bytes bytes(ToDevice.begin(), ToDevice.end());
      ToDevice.clear();
      Device.ReceiveBytes(bytes.data(), bytes.size());
      while (!ToEngine.empty() && ToEngine.front().first <= Clock.Now().count()) {
        const Bytes answer = ToEngine.front().second;
        ToEngine.pop_front();
        for (uint8_t byte : answer) Bus.ReceiveByte(byte);
        moved = true;
      }
    }
  }
  // Runs simulated time in 10 ms steps until the event or the limit.
  bool RunUntil(const std::string& event, int64_t limit_ms = 60000) {
    Pump();
    for (int64_t waited = 0; Count(event) == 0; waited += 10) {
      if (waited >= limit_ms) return false;
      Clock.Advance(10ms);
      Pump();
    }
    return true;
  }
  long Count(const std::string& event) const { return std::count(Events.begin(), Events.end(), event); }

  SimulatedClock Clock;
  TComVornBus Bus{Clock};
  TPanelDeviceEmulator Device;
  std::deque<uint8_t> ToDevice;
  std::deque<std::pair<int64_t, Bytes>> ToEngine;
  std::vector<std::string> Events;
  std::vector<int64_t> TimeoutAt;
  int Sendings = 0;
  bool LengthByteHit = false;  // an answer's length field was damaged
};

TPanelDeviceOptions Options(int model, bool small, uint8_t address = 1) {
  TPanelDeviceOptions options;
  options.Model = model;
  options.SmallBlocks = small;
  options.Address = address;
  return options;
}

TEST(EngineAgainstDevice, InformationBuildCheckAndConfigurationAreTakenIn) {
  TPanelDeviceOptions options = Options(11, false, 2);
  options.BuildText = "B-42";
  EngineWithDevice link(options);
  link.Device.Config()[0] = 0x42;
  link.Bus.RequestInfo();
  ASSERT_TRUE(link.RunUntil("info"));
  EXPECT_EQ(link.Bus.VersionText(), "11.0.0.0.0.0.0.0.1");
  EXPECT_EQ(link.Bus.DisplaySize(), link.Device.Display().size());
  EXPECT_EQ(link.Bus.DirectorySize(), link.Device.Directory().size());
  link.Bus.RequestBuild();
  ASSERT_TRUE(link.RunUntil("build"));
  EXPECT_EQ(link.Bus.BuildText(), "B-42");
  const Bytes check = Pattern(37, 5);
  link.Bus.CheckLink(check.data(), int(check.size()));
  ASSERT_TRUE(link.RunUntil("match"));
  link.Bus.Connect();
  link.Bus.ReadConfig();
  ASSERT_TRUE(link.RunUntil("config"));
  EXPECT_EQ(link.Bus.ConfigImage(), link.Device.Config());
}

TEST(EngineAgainstDevice, DirectoryAndPanelImagesLandExactlyInEveryLayout) {
  struct Case {
    int model;
    bool small;
    size_t image_size;
  };
  for (const Case c : {Case{10, false, 320}, Case{10, false, 360}, Case{10, true, 320}, Case{10, true, 360},
                       Case{11, false, 360}}) {
    SCOPED_TRACE(std::to_string(c.model) + (c.small ? " small " : " ") + std::to_string(c.image_size));
    EngineWithDevice link(Options(c.model, c.small));
    link.Bus.RequestInfo();
    ASSERT_TRUE(link.RunUntil("info"));
    link.Bus.Connect();
    const Bytes record = Pattern(32, 90);
    link.Bus.WriteDirectory(0, record.data(), 32);
    ASSERT_TRUE(link.RunUntil("directory"));
    const Bytes image = Pattern(c.image_size, 1);
    link.Bus.WriteDisplay(0, image.data(), uint32_t(image.size()));
    ASSERT_TRUE(link.RunUntil("display"));
    EXPECT_EQ(link.Device.Directory(), Written(record, link.Device.Directory().size()));
    EXPECT_EQ(link.Device.Display(), Written(image, link.Device.Display().size()));
    EXPECT_EQ(link.Bus.DisplayImage(), link.Device.Display());
    const size_t block = c.small ? 128 : 256;
    EXPECT_EQ(link.Sendings, int(2 + (c.image_size + block - 1) / block));  // no repetition
  }
}

// Information, record and a 360-byte image, delivered to a faulty device.
void Deliver(EngineWithDevice& link) {
  link.Bus.Connect();
  link.Bus.RequestInfo();
  if (link.RunUntil("info")) {
    link.Bus.WriteDirectory(0, Pattern(32, 7).data(), 32);
    if (link.RunUntil("directory")) link.Bus.WriteDisplay(0, Pattern(360, 8).data(), 360);
  }
  link.RunUntil("display");
  link.RunUntil("never", 20000);  // whatever else may come
}

bool HoldsTheDelivery(const TPanelDeviceEmulator& device) {
  return device.Display() == Written(Pattern(360, 8), device.Display().size()) &&
         device.Directory() == Written(Pattern(32, 7), device.Directory().size());
}

// One delivery per seed through a device with the faults that seed sets up;
// each must arrive whole without a timeout. Counts the deliveries that needed
// repetitions and those whose length field was hit.
struct FaultyDeliveries {
  int repeated = 0;
  int length_hits = 0;
};
FaultyDeliveries DeliverThroughFaults(uint32_t seeds, void (*faults)(TPanelDeviceOptions&, uint32_t seed)) {
  FaultyDeliveries counts;
  for (uint32_t seed = 1; seed <= seeds; ++seed) {
    TPanelDeviceOptions options = Options(10, false);
    options.Seed = seed;
    faults(options, seed);
    EngineWithDevice link(options);
    Deliver(link);
    EXPECT_EQ(link.Count("display"), 1) << "seed " << seed;
    EXPECT_EQ(link.Count("timeout"), 0) << "seed " << seed;
    EXPECT_TRUE(HoldsTheDelivery(link.Device)) << "seed " << seed;
    counts.repeated += link.Sendings > 4;
    counts.length_hits += link.LengthByteHit;
  }
  return counts;
}

TEST(EngineAgainstDevice, RepetitionsGetThroughDroppedAndDelayedAnswers) {
  const FaultyDeliveries counts = DeliverThroughFaults(20, [](TPanelDeviceOptions& options, uint32_t seed) {
    options.DropPercent = 20;
    options.DelayMs = seed * 100;  // up to 2 s, within the response time
  });
  EXPECT_GT(counts.repeated, 10);  // the faults did strike
}

TEST(EngineAgainstDevice, RepetitionsGetThroughCorruptedAnswers) {
  const FaultyDeliveries counts =
      DeliverThroughFaults(30, [](TPanelDeviceOptions& options, uint32_t) { options.CorruptPercent = 20; });
  EXPECT_GT(counts.repeated, 10);
  EXPECT_GT(counts.length_hits, 5);  // damaged length fields among them
}

// A damaged low length byte announces up to 255 more bytes; the answers to
// the repetitions must not be taken as its payload.
TEST(EngineAgainstDevice, OneDamagedLengthByteDoesNotLoseAnAnsweringDevice) {
  EngineWithDevice link(Options(10, false));
  link.Bus.RequestInfo();
  ASSERT_TRUE(link.RunUntil("info"));
  link.Bus.Connect();
  const auto deliver = link.Device.OnAnswer;
  link.Device.OnAnswer = [&, damaged = false](TPanelDeviceEmulator& device, const uint8_t* bytes,
                                              size_t count) mutable {
    Bytes answer(bytes, bytes + count);
    if (!damaged) answer[8] ^= 0xFF;  // length 0 becomes 255
    damaged = true;
    deliver(device, answer.data(), answer.size());
  };
  link.Bus.WriteDirectory(0, Pattern(32, 7).data(), 32);
  EXPECT_TRUE(link.RunUntil("directory", 20000));
  EXPECT_EQ(link.Count("timeout"), 0);
}

TEST(EngineAgainstDevice, ADeviceThatFallsSilentEndsInExactlyOneTimeout) {
  // Busy: the information and the first display block are answered, the second never is.
  TPanelDeviceOptions options = Options(10, false);
  options.SilentAfter = 2;
  EngineWithDevice busy(options);
  busy.Bus.Connect();
  busy.Bus.RequestInfo();
  ASSERT_TRUE(busy.RunUntil("info"));
  const Bytes image = Pattern(360, 2);
  busy.Bus.WriteDisplay(0, image.data(), 360);
  const int64_t sent_at = busy.Clock.Now().count();
  busy.RunUntil("never", 60000);
  EXPECT_EQ(busy.Count("timeout"), 1);
  EXPECT_EQ(busy.Count("disconnected"), 1);
  EXPECT_EQ(busy.Count("display"), 0);
  EXPECT_EQ(busy.Sendings, 1 + 1 + 6);  // the second block sent six times
  ASSERT_EQ(busy.TimeoutAt.size(), 1u);
  EXPECT_EQ(busy.TimeoutAt[0] - sent_at, 15000);
  EXPECT_EQ(busy.Device.Display(), Written(Bytes(image.begin(), image.begin() + 256), busy.Device.Display().size()));

  // Idle: the keep-alive pings go unanswered.
  options.SilentAfter = 1;
  EngineWithDevice idle(options);
  idle.Bus.Connect();
  idle.Bus.RequestInfo();
  ASSERT_TRUE(idle.RunUntil("info"));
  const int64_t idle_from = idle.Clock.Now().count();
  idle.RunUntil("never", 60000);
  ASSERT_EQ(idle.TimeoutAt.size(), 1u);
  EXPECT_EQ(idle.TimeoutAt[0] - idle_from, 10800);
}

}  // namespace
}  // namespace quinterra::test
