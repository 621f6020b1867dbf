// The bus engine talking to quinterra-emulator through the real links: TCP
// on 127.0.0.1 and the emulator's pseudo-terminal mapped to a COM number.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bus/bus_engine.h"
#include "links/comunicacion_serie.h"
#include "links/link_layer.h"
#include "platform/qt_interval_timer.h"
#include "tests/links/link_log.h"
#include "tests/links/link_test_support.h"
#include "tests/support/emulator_process.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;
using test::EmulatorProcess;
using test::LinkRecorder;
using test::TempConfig;
using test::WaitUntil;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// The engine wired to a link as the search window wires them.
class EngineOverLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder_.Attach(link_);
    link_.OnReceived = [this](const uint8_t* bytes, int count) {
      recorder_.pieces.emplace_back(bytes, bytes + count);
      for (int i = 0; i < count; ++i) engine_.ReceiveByte(bytes[i]);
    };
    engine_.OnSend = [this](TComVornBus*, const uint8_t* bytes, int, int count) {
      link_.SendToLink(bytes, count);
    };
    engine_.OnInfo = [this](TComVornBus*) { ++infos_; };
    engine_.OnBuild = [this](TComVornBus*) { ++builds_; };
    engine_.OnDisplayWritten = [this](TComVornBus*) { ++display_writes_; };
    engine_.OnTimeout = [this](TComVornBus*) { ++timeouts_; };
  }
  void TearDown() override {
    link_.CloseLink();
    EXPECT_TRUE(WaitUntil([] { return TComunicacionSerie::LiveCount() == 0; }));
  }

  // Information, build, then a whole results image into the display memory.
  void TalkToDevice(const std::string& dump_folder) {
    engine_.SetTarget(1);
    engine_.Connect();
    engine_.RequestInfo();
    ASSERT_TRUE(WaitUntil([&] { return infos_ == 1; }, 15s)) << Log();
    EXPECT_FALSE(engine_.VersionText().empty());
    engine_.RequestBuild();
    ASSERT_TRUE(WaitUntil([&] { return builds_ == 1; }, 15s)) << Log();
    EXPECT_EQ(engine_.BuildText(), "e2e-build");

    std::vector<uint8_t> image(320);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
    engine_.WriteDisplay(0, image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_TRUE(WaitUntil([&] { return display_writes_ == 1; }, 30s)) << Log();
    EXPECT_EQ(timeouts_, 0);
    // What the device now holds, as the emulator dumps it.
    const std::string dump = dump_folder + "/display.bin";
    ASSERT_TRUE(WaitUntil([&] {
      const std::vector<uint8_t> held = ReadFile(dump);
      return held.size() >= image.size() && std::equal(image.begin(), image.end(), held.begin());
    }, 5s));
    EXPECT_GT(recorder_.CountStartingWith("-> "), 0);
    EXPECT_GT(recorder_.CountStartingWith("<- "), 0);
  }

  std::string Log() const {
    std::string all;
    for (const std::string& line : recorder_.log) all += line.substr(0, 60) + "\n";
    return all;
  }

  QtTimerFactory timers_;
  TComVornBus engine_{timers_};
  TempConfig config_;
  TComPortMap ports_;
  TLinkLayer link_{ports_};
  LinkRecorder recorder_;
  EmulatorProcess emulator_;
  int infos_ = 0, builds_ = 0, display_writes_ = 0, timeouts_ = 0;
};

TEST_F(EngineOverLinkTest, InformationBuildAndADisplayWriteOverTcp) {
  const std::string dump = config_.Folder() + "/dump";
  // Port 0: the emulator takes a free port and prints it.
  ASSERT_TRUE(emulator_.StartAndAnnounce({"--tcp", "0", "--address", "1", "--build", "e2e-build", "--dump", dump}))
      << emulator_.FirstLine() << emulator_.Stderr();
  ASSERT_NE(emulator_.TcpPort(), 0) << emulator_.FirstLine();
  link_.OpenTcp("127.0.0.1", emulator_.TcpPort());
  ASSERT_TRUE(WaitUntil([&] { return recorder_.opened == 1; })) << Log();
  EXPECT_EQ(recorder_.log.front(), "[OK] 127.0.0.1");
  TalkToDevice(dump);
}

TEST_F(EngineOverLinkTest, InformationBuildAndADisplayWriteOverThePseudoTerminal) {
  const std::string dump = config_.Folder() + "/dump";
  ASSERT_TRUE(emulator_.StartAndAnnounce(
      {"--pty", "--address", "1", "--build", "e2e-build", "--dump", dump, "--baud", "57600"}))
      << emulator_.FirstLine() << emulator_.Stderr();
  ASSERT_NE(emulator_.PtyPath(), "") << emulator_.FirstLine();
  ports_ = config_.MapPorts({{126, emulator_.PtyPath()}});
  link_.OpenSerial(126, 57600);
  ASSERT_EQ(recorder_.opened, 1) << Log();
  EXPECT_EQ(recorder_.log.front(), "[OK] COM126");
  TalkToDevice(dump);
}

}  // namespace
}  // namespace quinterra
