// The emulator program over TCP loopback and over its pseudo-terminal, talked
// to with hand-built request frames.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "emulator/pty_rate.h"
#include "tests/emulator/emulator_process.h"
#include "tests/emulator/line_client.h"
#include "tests/emulator/request_bytes.h"

namespace quinterra::test {
namespace {

namespace fs = std::filesystem;

Bytes ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

class TemporaryFolder {
 public:
  TemporaryFolder() {
    char name[] = "/tmp/quinterra-emulator-test-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// --- TCP -------------------------------------------------------------------

TEST(EmulatorProgramTcp, AnswersPingInformationBuildAndCheck) {
  EmulatorProcess emulator;
  const auto port = StartOnFreeTcpPort(emulator, {"--address", "2", "--model", "11", "--build", "R-7 test"});
  ASSERT_TRUE(port);
  auto master = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(master);

  const auto pong = master->Ask(RequestFrame(2, 0x01, {0x0F}));
  ASSERT_TRUE(pong);
  EXPECT_EQ(pong->Address, 2);
  EXPECT_EQ(pong->Command, 0x81);
  EXPECT_EQ(pong->Param[0], 0x0F);

  const auto info = master->Ask(RequestFrame(2, 0x02));
  ASSERT_TRUE(info);
  ASSERT_EQ(info->Payload.size(), 9u);
  EXPECT_EQ(info->Payload[0], 11);
  EXPECT_EQ(info->Payload[8], 1);

  const auto build = master->Ask(RequestFrame(2, 0x04));
  ASSERT_TRUE(build);
  EXPECT_EQ(std::string(build->Payload.begin(), build->Payload.end()), std::string("R-7 test\0", 9));

  const auto check = master->Ask(RequestFrame(2, 0x30, {}, {'a', 'b', 'c'}));
  ASSERT_TRUE(check);
  EXPECT_EQ(check->Param[0], 0x49);
  EXPECT_EQ(check->Param[1], 0x57);

  // A request for device 1 is not this device's business.
  ASSERT_TRUE(master->Send(RequestFrame(1, 0x01)));
  EXPECT_TRUE(master->StaysQuiet(200ms));
}

TEST(EmulatorProgramTcp, WritesAreReadBackAndDumpedWhole) {
  TemporaryFolder folder;
  const fs::path dump = folder.Path() / "memory";  // created by the program
  EmulatorProcess emulator;
  const auto port = StartOnFreeTcpPort(emulator, {"--small-blocks", "--dump", dump.string()});
  ASSERT_TRUE(port);
  // The fresh memory is on disk before the first request.
  EXPECT_EQ(ReadFile(dump / "display.bin"), Bytes(49024, 0xFF));
  EXPECT_EQ(ReadFile(dump / "directory.bin").size(), 4096u);
  const Bytes config = ReadFile(dump / "config.bin");
  ASSERT_EQ(config.size(), 128u);
  EXPECT_EQ(config[81], 1);

  auto master = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(master);
  const Bytes image = Pattern(360, 11);  // a jackpots image in three 128-byte blocks
  for (uint32_t offset = 0; offset < 360; offset += 128) {
    Bytes block(128, 0xFF);
    std::copy(image.begin() + offset, image.begin() + std::min<uint32_t>(offset + 128, 360), block.begin());
    const auto written = master->Ask(WriteRequest(1, 0x100000 + offset, block));
    ASSERT_TRUE(written) << offset;
    EXPECT_EQ(written->Command, 0x90);
    EXPECT_EQ(written->MemoryAddress(), 0x100000 + offset);
  }
  const Bytes record = Pattern(32, 200);
  ASSERT_TRUE(master->Ask(WriteRequest(1, 0x200000, record)));

  const auto read = master->Ask(ReadRequest(1, 0x100080, 128));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Payload, Bytes(image.begin() + 128, image.begin() + 256));

  // The files were replaced before the last write's answer went out.
  const Bytes display = ReadFile(dump / "display.bin");
  ASSERT_EQ(display.size(), 49024u);
  EXPECT_EQ(Bytes(display.begin(), display.begin() + 360), image);
  EXPECT_EQ(display[384], 0xFF);
  const Bytes directory = ReadFile(dump / "directory.bin");
  EXPECT_EQ(Bytes(directory.begin(), directory.begin() + 32), record);
  // No temporary files are left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dump), fs::directory_iterator()), 3);

  // Past the display's end: no answer, nothing dumped.
  ASSERT_TRUE(master->Send(WriteRequest(1, 0x100000 + 49024 - 64, Bytes(128, 0))));
  EXPECT_TRUE(master->StaysQuiet(200ms));
  EXPECT_EQ(ReadFile(dump / "display.bin"), display);
}

TEST(EmulatorProgramTcp, ServesOneMasterAtATimeAndKeepsMemoryBetweenThem) {
  EmulatorProcess emulator;
  const auto port = StartOnFreeTcpPort(emulator, {});
  ASSERT_TRUE(port);
  auto first = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(first);
  ASSERT_TRUE(first->Ask(WriteRequest(1, 0x200000, {5, 6, 7})));

  // A second master waits while the first is connected.
  auto second = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(second);
  ASSERT_TRUE(second->Send(ReadRequest(1, 0x200000, 3)));
  EXPECT_TRUE(second->StaysQuiet(200ms));
  EXPECT_TRUE(first->Ask(RequestFrame(1, 0x01)));

  // Once the first leaves, the second is served, and the device remembers.
  first.reset();
  const auto frame = second->ReadFrame();
  ASSERT_TRUE(frame);
  const auto read = ParseAnswer(*frame);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Payload, (Bytes{5, 6, 7}));

  // A half-sent frame from a master that leaves does not spoil the next one.
  ASSERT_TRUE(second->Send(Bytes{0x01, 0x10, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01}));
  second.reset();
  auto third = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(third);
  EXPECT_TRUE(third->Ask(RequestFrame(1, 0x02)));
}

TEST(EmulatorProgramTcp, FaultsSilenceAndDelayAnswers) {
  {
    EmulatorProcess emulator;
    const auto port = StartOnFreeTcpPort(emulator, {"--silent-after", "2"});
    ASSERT_TRUE(port);
    auto master = LineClient::ConnectTcp(*port);
    ASSERT_TRUE(master);
    EXPECT_TRUE(master->Ask(RequestFrame(1, 0x01)));
    EXPECT_TRUE(master->Ask(RequestFrame(1, 0x02)));
    ASSERT_TRUE(master->Send(RequestFrame(1, 0x01)));
    EXPECT_TRUE(master->StaysQuiet(300ms));
  }
  {
    EmulatorProcess emulator;
    const auto port = StartOnFreeTcpPort(emulator, {"--delay", "1500"});
    ASSERT_TRUE(port);
    auto master = LineClient::ConnectTcp(*port);
    ASSERT_TRUE(master);
    ASSERT_TRUE(master->Send(RequestFrame(1, 0x01)));
    EXPECT_TRUE(master->StaysQuiet(500ms));  // held back, not lost
    EXPECT_TRUE(master->ReadFrame(5s));
  }
  {
    EmulatorProcess emulator;
    const auto port = StartOnFreeTcpPort(emulator, {"--corrupt", "100", "--seed", "3"});
    ASSERT_TRUE(port);
    auto master = LineClient::ConnectTcp(*port);
    ASSERT_TRUE(master);
    ASSERT_TRUE(master->Send(RequestFrame(1, 0x02)));
    const Bytes clean = {0x01, 0x82, 0, 0, 0, 0, 0, 0, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x8F, 0xDF};
    const auto received = master->ReadBytes(clean.size());
    ASSERT_TRUE(received);
    int differing = 0;
    for (size_t i = 0; i < clean.size(); ++i) differing += (*received)[i] != clean[i];
    EXPECT_EQ(differing, 1);
  }
}

TEST(EmulatorProgramTcp, LogsEachRequestAndAnswer) {
  EmulatorProcess emulator;
  const auto port = StartOnFreeTcpPort(emulator, {"--log", "--drop", "100"});
  ASSERT_TRUE(port);
  {
    auto master = LineClient::ConnectTcp(*port);
    ASSERT_TRUE(master);
    ASSERT_TRUE(master->Send(RequestFrame(1, 0x02)));
    EXPECT_TRUE(master->StaysQuiet(200ms));
  }
  emulator.Signal(SIGTERM);
  EXPECT_EQ(emulator.WaitExit(), 0);
  const std::string log = emulator.Stderr();
  EXPECT_NE(log.find("[rx] address 1 command 02"), std::string::npos) << log;
  EXPECT_NE(log.find("answer dropped"), std::string::npos) << log;
}

TEST(EmulatorProgramTcp, EndsWithStatusZeroOnSigtermAndSigint) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    EmulatorProcess emulator;
    const auto port = StartOnFreeTcpPort(emulator, {});
    ASSERT_TRUE(port);
    auto master = LineClient::ConnectTcp(*port);  // with a master connected
    ASSERT_TRUE(master);
    ASSERT_TRUE(master->Ask(RequestFrame(1, 0x01)));
    emulator.Signal(signal_number);
    EXPECT_EQ(emulator.WaitExit(), 0) << signal_number;
  }
}

TEST(EmulatorProgramTcp, APortInUseEndsWithStatusOne) {
  EmulatorProcess holder;
  const auto port = StartOnFreeTcpPort(holder, {});
  ASSERT_TRUE(port);
  const FinishedRun second = RunToEnd({"--tcp", std::to_string(*port)});
  EXPECT_EQ(second.Status, 1);
  EXPECT_NE(second.Err.find("bind"), std::string::npos);
}

// --- Command line ----------------------------------------------------------

TEST(EmulatorProgramCommandLine, BadOptionsEndWithStatusTwoAndAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},           {"--tcp"},          {"--tcp", "70000"},
      {"--tcp", "12x"},           {"--address", "0"}, {"--address", "128"},
      {"--model", "12"},          {"--model", "11", "--small-blocks"},
      {"--drop", "101"},          {"--corrupt", "-1"}, {"--delay", "soon"},
      {"--baud", "9600"},  // needs --pty
      {"--pty", "--tcp", "4000"}, {"--seed", "4294967296"}, {"--silent-after"},
      {"--pty=yes"},              {"stray"},
  };
  for (const auto& arguments : bad) {
    const FinishedRun run = RunToEnd(arguments);
    EXPECT_EQ(run.Status, 2) << arguments[0];
    EXPECT_NE(run.Err.find("quinterra-emulator: "), std::string::npos) << arguments[0];
    EXPECT_TRUE(run.Out.empty()) << arguments[0];
  }
}

TEST(EmulatorProgramCommandLine, HelpExplainsEveryOption) {
  const FinishedRun run = RunToEnd({"--help"});
  EXPECT_EQ(run.Status, 0);
  for (const char* option : {"--tcp", "--pty", "--address", "--model", "--small-blocks", "--build", "--baud",
                             "--dump", "--log", "--silent-after", "--drop", "--corrupt", "--delay", "--seed",
                             "--help"}) {
    EXPECT_NE(run.Out.find(option), std::string::npos) << option;
  }
}

// --- Pseudo-terminal -------------------------------------------------------

TEST(EmulatorProgramPty, AnswersOnItsTerminalAndSurvivesAClientReopening) {
  EmulatorProcess emulator;
  const auto path = StartOnPty(emulator, {"--address", "2"});
  ASSERT_TRUE(path);
  {
    auto master = LineClient::OpenTerminal(*path);
    ASSERT_TRUE(master);
    const auto info = master->Ask(RequestFrame(2, 0x02));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Payload[0], 10);
    const Bytes block = Pattern(256, 77);
    ASSERT_TRUE(master->Ask(WriteRequest(2, 0x100000, block)));
    const auto read = master->Ask(ReadRequest(2, 0x100000, 256));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Payload, block);
  }
  // The client closed the terminal; a new one is served as before.
  auto again = LineClient::OpenTerminal(*path);
  ASSERT_TRUE(again);
  const auto pong = again->Ask(RequestFrame(2, 0x01, {0x0F}));
  ASSERT_TRUE(pong);
  EXPECT_EQ(pong->Param[0], 0x0F);

  emulator.Signal(SIGTERM);
  EXPECT_EQ(emulator.WaitExit(), 0);
}

TEST(EmulatorProgramPty, AnswersOnlyAtItsOwnLineRate) {
  struct Case {
    uint32_t device_rate;
    uint32_t wrong_rate;
  };
  // A standard rate, and a rate that only termios2 can set.
  for (const Case c : {Case{57600, 9600}, Case{14400, 19200}}) {
    EmulatorProcess emulator;
    const auto path = StartOnPty(emulator, {"--baud", std::to_string(c.device_rate), "--log"});
    ASSERT_TRUE(path);
    auto master = LineClient::OpenTerminal(*path);
    ASSERT_TRUE(master);

    ASSERT_TRUE(SetTerminalRate(master->Fd(), c.wrong_rate));
    ASSERT_TRUE(master->Send(RequestFrame(1, 0x01)));
    EXPECT_TRUE(master->StaysQuiet(300ms)) << c.device_rate;

    ASSERT_TRUE(SetTerminalRate(master->Fd(), c.device_rate));
    EXPECT_TRUE(master->Ask(RequestFrame(1, 0x01))) << c.device_rate;

    ASSERT_TRUE(SetTerminalRate(master->Fd(), c.wrong_rate));
    ASSERT_TRUE(master->Send(RequestFrame(1, 0x02)));
    EXPECT_TRUE(master->StaysQuiet(300ms)) << c.device_rate;

    emulator.Signal(SIGINT);
    EXPECT_EQ(emulator.WaitExit(), 0);
    EXPECT_NE(emulator.Stderr().find("heard as noise"), std::string::npos);
  }
}

}  // namespace
}  // namespace quinterra::test
