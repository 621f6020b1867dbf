// The request cycle over time: repetitions, keep-alive, Stop and Connect,
// and handlers that call back into the engine.

#include <gtest/gtest.h>

#include "bus_test_support.h"

using namespace std::chrono_literals;

namespace quinterra::testing {
namespace {

using Times = std::vector<int64_t>;
using Names = std::vector<std::string>;

const Bytes kKeepAliveTo1 = {1, 1, 0, 0, 0, 0, 0x69, 0, 0, 0x16, 0xB0};

TEST(BusEngineTiming, LostRequestIsRepeatedFiveTimesThenTheLinkIsLost) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  e.Bus.RequestInfo();
  e.Clock.Advance(30000ms);
  EXPECT_EQ(e.SendTimes(), (Times{0, 2500, 5000, 7500, 10000, 12500}));
  for (const Sent& s : e.Sends) {
    EXPECT_EQ(s.Frame, e.Sends.front().Frame);
    EXPECT_EQ(s.IsRequest, 1);
  }
  EXPECT_EQ(e.Events, (Names{"connected@0", "disconnected@15000", "timeout@15000"}));
  EXPECT_FALSE(e.Bus.Busy());
  EXPECT_FALSE(e.Bus.Connected());
}

TEST(BusEngineTiming, ARepetitionIsHeardThoughADamagedLengthSwallowedTheFirstAnswer) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  e.Bus.RequestInfo();
  Bytes damaged = WireFrame(1, 0x82, {}, InfoRecordOf(10, 1));
  damaged[8] = 0xFF;  // announces 255 payload bytes
  e.Clock.Advance(100ms);
  e.Feed(damaged);
  e.Clock.Advance(2400ms);
  ASSERT_EQ(e.Sends.size(), 2u);
  e.Feed(WireFrame(1, 0x82, {}, InfoRecordOf(10, 1)));
  EXPECT_EQ(e.Events, (Names{"connected@0", "info@2500"}));
}

TEST(BusEngineTiming, IdleConnectionPingsThenIsLost) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  e.Clock.Advance(1000ms);
  e.Bus.Connect();  // already connected: the keep-alive period is not restarted
  e.Clock.Advance(29000ms);
  EXPECT_EQ(e.SendTimes(), (Times{1800, 3600, 5400, 7200, 9000}));
  for (const Sent& s : e.Sends) {
    EXPECT_EQ(s.Frame, kKeepAliveTo1);
    EXPECT_EQ(s.IsRequest, 0);
  }
  EXPECT_EQ(e.Events, (Names{"connected@0", "disconnected@10800", "timeout@10800"}));
}

TEST(BusEngineTiming, AnsweredKeepAliveAndFinishedRequestsKeepTheLinkWithoutPongs) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  for (int i = 0; i < 30; ++i) {
    e.Clock.Advance(1800ms);
    ASSERT_EQ(e.Sends.size(), static_cast<size_t>(i + 1));
    e.Feed(WireFrame(1, 0x81, {0, 0, 0, 0, 0x69}));
  }
  e.Clock.Advance(1000ms);
  e.Bus.RequestBuild();
  e.Clock.Advance(1000ms);
  e.AnswerLast({'V'});
  e.Clock.Advance(1799ms);
  EXPECT_EQ(e.Sends.size(), 31u);  // a finished request restarts the keep-alive period
  EXPECT_EQ(e.Events, (Names{"connected@0", "build@56000"}));
  EXPECT_EQ(e.Bus.KeepAliveLeft(), 5);
}

TEST(BusEngineTiming, NothingIsRepeatedBeforeConnectAndBusyHoldsUntilStopOrConnect) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Ping();
  e.Clock.Advance(60000ms);
  e.Bus.RequestInfo();  // dropped: still busy
  EXPECT_EQ(e.SendTimes(), Times{0});
  EXPECT_TRUE(e.Bus.Busy());
  EXPECT_TRUE(e.Events.empty());
  e.Bus.Stop();
  e.Bus.RequestInfo();
  e.Bus.Connect();
  EXPECT_FALSE(e.Bus.Busy());
  e.Bus.Ping();
  EXPECT_EQ(e.Sends.size(), 3u);
}

TEST(BusEngineTiming, StopForgetsTheOutstandingRequest) {
  // The request belonged to the device being left: no repetition of it and
  // no time-out on its behalf may follow.
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  e.Bus.RequestInfo();
  e.Clock.Advance(1000ms);
  e.Bus.Stop();
  EXPECT_FALSE(e.Bus.Busy());
  e.Clock.Advance(29000ms);
  EXPECT_EQ(e.SendTimes(), (Times{0}));
  EXPECT_EQ(e.Events, (Names{"connected@0", "disconnected@1000"}));

  // A request after Stop retimes the timer, which stays off while disconnected.
  RecordingEngine f;
  f.Bus.Connect();
  f.Bus.RequestInfo();
  f.Bus.Stop();
  f.Bus.Ping();
  f.Clock.Advance(30000ms);
  EXPECT_EQ(f.Sends.size(), 2u);
}

TEST(BusEngineTiming, ConnectWhileConnectedOnlyClearsBusy) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  e.Bus.RequestInfo();
  e.Bus.Connect();
  EXPECT_FALSE(e.Bus.Busy());
  EXPECT_FALSE(e.Bus.KeepAliveTimer().Enabled());
  EXPECT_EQ(e.Events, Names{"connected@0"});
}

TEST(BusEngineReentrancy, HandlersMayAnswerStopOrSendTheNextRequest) {
  // An answer delivered from inside OnSend, and the next request from OnInfo.
  RecordingEngine e;
  e.Bus.SetTarget(1);
  auto record = e.Bus.OnSend;
  e.Bus.OnSend = [&](TComVornBus* bus, const uint8_t* bytes, int is_request, int count) {
    record(bus, bytes, is_request, count);
    if (bytes[1] == 0x02) e.AnswerLast(InfoRecordOf(10, 1));
  };
  e.Bus.OnInfo = [&](TComVornBus* bus) { bus->RequestBuild(); };
  e.Bus.RequestInfo();
  ASSERT_EQ(e.Sends.size(), 2u);
  EXPECT_EQ(e.Sends[1].Frame[1], 0x04);
  EXPECT_EQ(e.Bus.PendingFrame()->Command, 0x04);
  EXPECT_TRUE(e.Bus.Busy());

  // A handler that stops, reconnects and pings on the first sending: the
  // ping is the request repeated, and the keep-alive stays off while busy.
  RecordingEngine f;
  f.Bus.SetTarget(1);
  record = f.Bus.OnSend;
  f.Bus.OnSend = [&](TComVornBus* bus, const uint8_t* bytes, int is_request, int count) {
    record(bus, bytes, is_request, count);
    if (f.Sends.size() == 1) {
      bus->Stop();
      bus->Connect();
      bus->Ping();
    }
  };
  f.Bus.Connect();
  f.Bus.RequestInfo();
  f.Clock.Advance(2500ms);
  ASSERT_EQ(f.Sends.size(), 3u);
  EXPECT_EQ(f.Sends[2].Frame, f.Sends[1].Frame);
  EXPECT_EQ(f.Sends[2].Frame[1], 0x01);

  // A request from OnConnected keeps the keep-alive off until it is answered.
  RecordingEngine g;
  g.Bus.SetTarget(1);
  g.Bus.OnConnected = [](TComVornBus* bus) { bus->RequestInfo(); };
  g.Bus.Connect();
  g.Clock.Advance(2000ms);
  EXPECT_EQ(g.SendTimes(), Times{0});
  EXPECT_FALSE(g.Bus.KeepAliveTimer().Enabled());
}

}  // namespace
}  // namespace quinterra::testing
