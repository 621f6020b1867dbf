// Requests on the wire and what the engine makes of each answer.

#include <gtest/gtest.h>

#include "bus_test_support.h"

namespace quinterra::testing {
namespace {

using Names = std::vector<std::string>;

TEST(BusCommands, RequestsOnTheWire) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Ping();
  EXPECT_EQ(e.Sends.back().Frame, (Bytes{1, 1, 0x0F, 0, 0, 0, 0, 0, 0, 0x39, 0xAC}));
  EXPECT_FALSE(e.Bus.RequestInfo());  // busy: dropped without a trace
  EXPECT_EQ(e.Sends.size(), 1u);
  e.Bus.Stop();
  e.Bus.RequestInfo();
  EXPECT_EQ(e.Sends.back().Frame, (Bytes{1, 2, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xB9}));
  e.Bus.Stop();
  e.Bus.RequestBuild();
  EXPECT_EQ(e.Sends.back().Frame, WireFrame(1, 0x04, {}));
  EXPECT_EQ(e.Bus.PendingCommand(), 0x04);
}

TEST(BusCommands, PongsComeFromListedRespondersAndNeverFromKeepAlive) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.Connect();
  e.Bus.Ping();
  e.Feed(WireFrame(1, 0x81, {0x0F, 0, 0, 0, 0x69}));  // the keep-alive echo
  e.Bus.Stop();
  e.Bus.Ping();
  e.Feed(WireFrame(5, 0x81, {}));  // not listed: nothing, though no longer busy
  EXPECT_FALSE(e.Bus.Busy());
  e.Feed(WireFrame(1, 0x81, {}));
  e.Bus.SetTarget(0);  // empty list: any device completes
  e.Bus.Ping();
  e.Feed(WireFrame(9, 0x81, {}));
  EXPECT_EQ(e.Events, (Names{"connected@0", "disconnected@0", "pong1@0", "pong9@0"}));
}

TEST(BusCommands, AnswerWithAnotherCodeIsIgnored) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.RequestInfo();
  EXPECT_EQ(e.Feed(WireFrame(1, 0x84, {}, {'V'})), 1);
  EXPECT_TRUE(e.Bus.Busy());
  EXPECT_TRUE(e.Events.empty());
}

TEST(BusCommands, InformationAnswerGivesVersionTextAndRecord) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.RequestInfo();
  e.Feed({0x01, 0x82, 0, 0, 0, 0, 0, 0x00, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x8F, 0xDF});
  EXPECT_EQ(e.Bus.VersionText(), "10.0.0.0.0.0.0.0.1");
  EXPECT_EQ(e.Bus.InfoRecord()[0], 10);
  EXPECT_EQ(e.Bus.InfoRecord()[8], 1);

  Bytes long_record(14, 255);
  e.Bus.RequestInfo();
  e.AnswerLast(long_record);
  EXPECT_EQ(e.Bus.VersionText().size(), 14 * 4 - 1u);
  EXPECT_EQ(e.Bus.VersionText().substr(0, 8), "255.255.");
  EXPECT_EQ(e.Bus.InfoRecord()[11], 255);

  // A shorter or empty record leaves nothing of the previous one behind.
  e.Bus.RequestInfo();
  e.AnswerLast({7});
  EXPECT_EQ(e.Bus.InfoRecord()[0], 7);
  EXPECT_EQ(e.Bus.InfoRecord()[8], 0);
  e.Bus.RequestInfo();
  e.AnswerLast();
  EXPECT_EQ(e.Bus.VersionText(), "");
  EXPECT_EQ(e.Events, (Names{"info@0", "info@0", "info@0", "info@0"}));
}

TEST(BusCommands, BuildTextEndsAtTheFirstZeroByte) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  e.Bus.RequestBuild();
  e.AnswerLast({'V', '1', 0, 'x', 'y'});
  EXPECT_EQ(e.Bus.BuildText(), "V1");
  e.Bus.RequestBuild();
  e.AnswerLast({'B', 0xE9, '2'});
  EXPECT_EQ(e.Bus.BuildText(), "B\xE9" "2");
  EXPECT_EQ(e.Events, (Names{"build@0", "build@0"}));
}

TEST(BusCommands, CheckLinkComparesTheDeviceCheckValue) {
  RecordingEngine e;
  e.Bus.SetTarget(1);
  const Bytes abc = {'a', 'b', 'c'};
  e.Bus.CheckLink(abc.data(), 3);
  EXPECT_EQ(e.Bus.CheckExpected(), 0x4957);
  EXPECT_EQ(e.Sends.back().Frame, WireFrame(1, 0x30, {}, abc));
  const Bytes other = {1, 2};
  e.Bus.CheckLink(other.data(), 2);  // busy: CheckExpected stays
  EXPECT_EQ(e.Bus.CheckExpected(), 0x4957);
  e.Feed(WireFrame(1, 0xB0, {0x49, 0x57, 0, 0, 0}));
  e.Bus.CheckLink(abc.data(), 3);
  e.Feed(WireFrame(1, 0xB0, {0x57, 0x49, 0, 0, 0}));

  // Over 512 bytes the payload is not attached, so the device cannot agree.
  const Bytes big(513, 1);
  e.Bus.CheckLink(big.data(), 513);
  EXPECT_EQ(e.Sends.back().Frame.size(), 11u);
  e.Feed(WireFrame(1, 0xB0, {0xFF, 0xFF, 0, 0, 0}));
  e.Bus.CheckLink(nullptr, 4);
  e.Bus.CheckLink(abc.data(), -1);
  EXPECT_EQ(e.Sends.size(), 3u);
  EXPECT_EQ(e.Events, (Names{"match@0", "mismatch@0", "mismatch@0"}));
}

}  // namespace
}  // namespace quinterra::testing
