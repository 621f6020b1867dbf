// Hundreds of deliveries to four emulated panels whose lines drop, damage or
// delay answers, or whose devices fall silent, under the simulated clock.
// Every cycle must end within its bound, every report must agree with what
// the devices did, and a device that acknowledged a panel must hold it.

#include <random>

#include "tests/devices_cycle/cycle_bench.h"

namespace quinterra {
namespace cycle_test {
namespace {

// The longest a device may hold a delivery up: its link, three steps and two
// read-backs, each waited for, and an engine still repeating a lost block.
constexpr auto kPerDeviceBound = 5100ms + 5 * 2600ms;
constexpr auto kEngineGiveUp = 15000ms;

enum class Fault { None, Drop, Corrupt, Delay, FallSilent };

struct Soaked {
  LineDevice* Line = nullptr;
  TPanel Panel = TPanel::Results;
  Fault Now = Fault::None;
};

class DeliverySoak : public CycleBench {
 protected:
  // Puts fault on a device's line for one delivery; counts what it did.
  void Arm(Soaked& device, Fault fault) {
    device.Now = fault;
    const int percent = 5 + static_cast<int>(random_() % 30);
    const uint32_t seed = random_();
    auto chance = std::make_shared<std::mt19937>(seed);
    int answers = 0;
    const int silent_after = 1 + static_cast<int>(random_() % 6);
    device.Line->Delay = nullptr;
    device.Line->Rewrite = nullptr;
    switch (fault) {
      case Fault::None:
        break;
      case Fault::Drop:
        device.Line->Rewrite = [=](const std::vector<uint8_t>& answer) {
          if (static_cast<int>((*chance)() % 100) >= percent) return answer;
          ++answers_touched;
          return std::vector<uint8_t>();
        };
        break;
      case Fault::Corrupt:
        device.Line->Rewrite = [=](std::vector<uint8_t> answer) {
          if (static_cast<int>((*chance)() % 100) >= percent) return answer;
          ++answers_touched;
          answer[(*chance)() % answer.size()] ^= 0x5A;
          return answer;
        };
        break;
      case Fault::Delay:
        device.Line->Delay = [=](const std::vector<uint8_t>&) {
          if (static_cast<int>((*chance)() % 100) >= percent) return 0;
          ++answers_touched;
          return static_cast<int>((*chance)() % 3200);
        };
        break;
      case Fault::FallSilent:
        device.Line->Rewrite = [=](const std::vector<uint8_t>& answer) mutable {
          if (++answers <= silent_after) return answer;
          ++answers_touched;
          return std::vector<uint8_t>();
        };
        break;
    }
  }

  TPanelPayload RandomPayload(size_t size) {
    auto bytes = std::make_shared<std::vector<uint8_t>>(size);
    for (uint8_t& b : *bytes) b = static_cast<uint8_t>(random_());
    return bytes;
  }

  // Every write answered: a read-back that failed does not undo that.
  static bool Acknowledged(TDeviceOutcome outcome) {
    return outcome == TDeviceOutcome::Done || outcome == TDeviceOutcome::Verified ||
           outcome == TDeviceOutcome::Unread;
  }

  static bool Holds(const TPanelDeviceEmulator& device, const std::vector<uint8_t>& payload) {
    const std::vector<uint8_t>& display = device.Memory().Area(TMemoryArea::Display);
    return std::equal(payload.begin(), payload.end(), display.begin());
  }

  std::mt19937 random_{20261207};
  inline static int answers_touched = 0;
};

TEST_F(DeliverySoak, TwoHundredFaultyDeliveriesEndInTimeAndReportWhatTheDevicesDid) {
  std::vector<Soaked> devices = {
      {&host.AddSerialDevice(3, 0, Device(1)), TPanel::Results},
      {&host.AddTcpDevice("127.0.0.1", 10001, Device(1)), TPanel::Results},
      {&host.AddSerialDevice(4, 0, Device(2)), TPanel::Jackpots},
      {&host.AddTcpDevice("127.0.0.1", 10002, Device(2)), TPanel::Jackpots}};
  Rows() = {Row("1", "COM3", "9600"), Row("1", "127.0.0.1", "10001"), Row("2", "COM4", "9600"),
            Row("2", "127.0.0.1", "10002")};
  std::vector<TDeviceOutcome> outcome(devices.size());
  std::vector<bool> served(devices.size());
  session.OnDeviceDone = [&](TDeviceSession*, int row, TPanel, TDeviceOutcome what) {
    served[static_cast<size_t>(row)] = true;
    outcome[static_cast<size_t>(row)] = what;
  };

  int deliveries = 0, faults = 0, reports_checked = 0, devices_checked = 0, lost = 0;
  std::chrono::milliseconds longest{0}, total_time{0};
  for (int round = 0; round < 240; ++round) {
    // Every eighth delivery is clean, so each device ends up written whole.
    const bool clean = round % 8 == 7;
    for (Soaked& device : devices) {
      const Fault fault = clean || random_() % 100 < 55 ? Fault::None
                                                        : static_cast<Fault>(1 + random_() % 4);
      faults += fault != Fault::None;
      Arm(device, fault);
    }
    session.SetVerifyAfterWrite(round % 2 == 1);
    results_payload = RandomPayload(320);
    jackpots_payload = RandomPayload(360);
    std::fill(served.begin(), served.end(), false);
    sent.clear();
    const int lost_before = links_lost;
    ASSERT_TRUE(SendPanels(TPanelMode::Both)) << "round " << round;
    const auto took = RunUntilIdle(4 * kPerDeviceBound + kEngineGiveUp);
    longest = std::max(longest, took);
    total_time += took;
    ++deliveries;

    // A device that acknowledged its panel holds it; a verified one too.
    for (size_t i = 0; i < devices.size(); ++i) {
      if (!served[i]) continue;
      ++devices_checked;
      EXPECT_NE(outcome[i], TDeviceOutcome::Different) << "round " << round << " device " << i;
      if (Acknowledged(outcome[i])) {
        const auto& payload = devices[i].Panel == TPanel::Results ? *results_payload : *jackpots_payload;
        EXPECT_TRUE(Holds(*devices[i].Line->Device, payload)) << "round " << round << " device " << i;
      }
    }
    if (links_lost != lost_before) {
      // The engine gave up on a device mid-cycle: no panel is reported.
      ++lost;
      EXPECT_TRUE(sent.empty()) << "round " << round;
      continue;
    }
    // A panel is reported done exactly when every device of it that was
    // served finished well, and at least one was.
    ASSERT_EQ(sent.size(), 2u) << "round " << round;
    for (const PanelReport& report : sent) {
      const TPanel panel = static_cast<TPanel>(report.Panel);
      bool any = false, all_well = true;
      for (size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].Panel != panel || !served[i]) continue;
        any = true;
        all_well = all_well && Acknowledged(outcome[i]);
      }
      EXPECT_EQ(report.Value, !(any && all_well)) << "round " << round << " panel " << report.Panel;
      if (clean) {
        EXPECT_FALSE(report.Value) << "clean round " << round;
      }
      ++reports_checked;
    }
  }
  // The last round was clean: every device holds the last panel it was sent.
  for (const Soaked& device : devices) {
    EXPECT_TRUE(Holds(*device.Line->Device,
                      device.Panel == TPanel::Results ? *results_payload : *jackpots_payload));
  }
  std::printf("soak: %d deliveries, %d faulty lines, %d answers touched, %d device turns and %d "
              "panel reports checked, %d ended by a lost device, longest %lld ms, %lld s in all\n",
              deliveries, faults, answers_touched, devices_checked, reports_checked, lost,
              static_cast<long long>(longest.count()), static_cast<long long>(total_time.count() / 1000));
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
