// The emulator program over TCP loopback and its pseudo-terminal, talked to
// with hand-built request frames.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "emulator/pty_rate.h"
#include "tests/emulator/line_client.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {
namespace {

namespace fs = std::filesystem;

Bytes ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

TEST(EmulatorProgram, ServesAMasterOverTcpAndDumpsEveryWrite) {
  TempFolder folder;
  const fs::path dump = folder.Path() / "memory";  // created by the program
  EmulatorProcess emulator;
  const auto port = StartOnTcp(emulator, {"--address", "2", "--small-blocks", "--build", "R-7", "--dump", dump});
  ASSERT_TRUE(port);
  EXPECT_EQ(ReadFile(dump / "display.bin"), Bytes(49024, 0xFF));  // fresh memory, before any request
  auto master = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(master);

  const auto pong = master->Ask(RequestFrame(2, 0x01, {0x0F}));
  ASSERT_TRUE(pong);
  EXPECT_EQ(pong->Param[0], 0x0F);
  const auto info = master->Ask(RequestFrame(2, 0x02));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Payload, (Bytes{10, 0, 0, 0, 0, 0, 0, 0, 0}));
  const auto build = master->Ask(RequestFrame(2, 0x04));
  ASSERT_TRUE(build);
  EXPECT_EQ(build->Payload, (Bytes{'R', '-', '7', 0}));
  const auto check = master->Ask(RequestFrame(2, 0x30, {}, {'a', 'b', 'c'}));
  ASSERT_TRUE(check);
  EXPECT_EQ(check->Param, (Bytes{0x49, 0x57, 0, 0, 0}));

  const Bytes image = Pattern(360, 11);  // a jackpots image, in 128-byte blocks
  for (uint32_t offset = 0; offset < 360; offset += 128) {
    const Bytes block = Written(Bytes(image.begin() + offset, image.begin() + std::min(offset + 128, 360u)), 128);
    const auto written = master->Ask(WriteRequest(2, 0x100000 + offset, block));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->MemoryAddress(), 0x100000 + offset);
  }
  const auto read = master->Ask(ReadRequest(2, 0x100080, 128));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Payload, Bytes(image.begin() + 128, image.begin() + 256));
  // Replaced before the last write's answer went out; no temporary files left.
  EXPECT_EQ(ReadFile(dump / "display.bin"), Written(image, 49024));
  EXPECT_EQ(ReadFile(dump / "config.bin").at(81), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator(dump), fs::directory_iterator()), 3);

  ASSERT_TRUE(master->Send(RequestFrame(1, 0x01)));  // another device's business
  ASSERT_TRUE(master->Send(WriteRequest(2, 0x100000 + 49024 - 64, Bytes(128, 0))));  // past the end
  EXPECT_TRUE(master->StaysQuiet(200ms));
  EXPECT_EQ(ReadFile(dump / "display.bin"), Written(image, 49024));
}

TEST(EmulatorProgram, ServesOneTcpMasterAtATimeAndRemembersBetweenThem) {
  EmulatorProcess emulator;
  const auto port = StartOnTcp(emulator, {});
  ASSERT_TRUE(port);
  auto first = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(first && first->Ask(WriteRequest(1, 0x200000, {5, 6, 7})));
  auto second = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(second && second->Send(ReadRequest(1, 0x200000, 3)));
  EXPECT_TRUE(second->StaysQuiet(200ms));  // waits while the first is connected
  first.reset();
  const auto frame = second->ReadFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(ParseAnswer(*frame)->Payload, (Bytes{5, 6, 7}));
  // A half frame from a master that leaves does not spoil the next master's first request.
  ASSERT_TRUE(second->Send(Bytes{0x01, 0x10, 0x10, 0, 0, 0, 0, 0x01}));
  second.reset();
  auto third = LineClient::ConnectTcp(*port);
  EXPECT_TRUE(third && third->Ask(RequestFrame(1, 0x02)));
}

TEST(EmulatorProgram, InjectsFaultsAndLogsThem) {
  EmulatorProcess silent;
  auto port = StartOnTcp(silent, {"--silent-after", "1", "--log"});
  ASSERT_TRUE(port);
  auto master = LineClient::ConnectTcp(*port);
  ASSERT_TRUE(master && master->Ask(RequestFrame(1, 0x01)));
  ASSERT_TRUE(master->Send(RequestFrame(1, 0x02)));
  EXPECT_TRUE(master->StaysQuiet(300ms));
  silent.Signal(SIGTERM);
  EXPECT_EQ(silent.WaitExit(), 0);
  EXPECT_NE(silent.Stderr().find("[rx] address 1 command 02 P 00 00 00 00 00 length 0: silent"), std::string::npos);

  EmulatorProcess delayed;
  port = StartOnTcp(delayed, {"--delay", "1500"});
  master = port ? LineClient::ConnectTcp(*port) : nullptr;
  ASSERT_TRUE(master && master->Send(RequestFrame(1, 0x01)));
  EXPECT_TRUE(master->StaysQuiet(500ms));  // held back, not lost
  EXPECT_TRUE(master->ReadFrame(5s));

  EmulatorProcess corrupting;
  port = StartOnTcp(corrupting, {"--corrupt", "100", "--seed", "3"});
  master = port ? LineClient::ConnectTcp(*port) : nullptr;
  ASSERT_TRUE(master && master->Send(RequestFrame(1, 0x02)));
  const Bytes clean = {0x01, 0x82, 0, 0, 0, 0, 0, 0, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x8F, 0xDF};
  const auto received = master->Read(clean.size());
  ASSERT_TRUE(received);
  int differing = 0;
  for (size_t i = 0; i < clean.size(); ++i) differing += (*received)[i] != clean[i];
  EXPECT_EQ(differing, 1);
}

TEST(EmulatorProgram, EndsCleanlyOnSignalsAndRefusesBadCommandLines) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    EmulatorProcess emulator;
    const auto port = StartOnTcp(emulator, {});
    auto master = port ? LineClient::ConnectTcp(*port) : nullptr;
    ASSERT_TRUE(master && master->Ask(RequestFrame(1, 0x01)));
    emulator.Signal(signal_number);
    EXPECT_EQ(emulator.WaitExit(), 0);
  }
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"}, {"--tcp"}, {"--tcp", "70000"}, {"--address", "0"}, {"--model", "11", "--small-blocks"},
      {"--drop", "101"}, {"--delay", "soon"}, {"--baud", "9600"}, {"--pty", "--tcp", "4000"}, {"--pty=yes"}};
  for (const auto& arguments : bad) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.Start(arguments));
    EXPECT_EQ(emulator.WaitExit(), 2) << arguments[0];
    EXPECT_EQ(emulator.Stderr().rfind("quinterra-emulator: ", 0), 0u) << arguments[0];
  }
  EmulatorProcess holder, second;
  const auto port = StartOnTcp(holder, {});
  ASSERT_TRUE(port && second.Start({"--tcp", std::to_string(*port)}));
  EXPECT_EQ(second.WaitExit(), 1);  // the port is taken

  EmulatorProcess help;
  ASSERT_TRUE(help.Start({"--help"}));
  std::string text;
  while (const auto line = help.ReadLine(2s)) text += *line + "\n";
  EXPECT_EQ(help.WaitExit(), 0);
  for (const char* option : {"--tcp", "--pty", "--address", "--model", "--small-blocks", "--build", "--baud", "--dump",
                             "--log", "--silent-after", "--drop", "--corrupt", "--delay", "--seed", "--help"})
    EXPECT_NE(text.find(option), std::string::npos) << option;
}

TEST(EmulatorProgram, ServesItsPseudoTerminalAcrossReopening) {
  EmulatorProcess emulator;
  const auto path = StartOnPty(emulator, {"--address", "2"});
  ASSERT_TRUE(path);
  const Bytes block = Pattern(256, 77);
  {
    auto master = LineClient::OpenTerminal(*path);
    ASSERT_TRUE(master);
    EXPECT_EQ(master->Ask(RequestFrame(2, 0x02))->Payload.at(0), 10);
    ASSERT_TRUE(master->Ask(WriteRequest(2, 0x100000, block)));
  }
  auto again = LineClient::OpenTerminal(*path);  // the first client closed its end
  ASSERT_TRUE(again);
  const auto read = again->Ask(ReadRequest(2, 0x100000, 256));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Payload, block);
  emulator.Signal(SIGTERM);
  EXPECT_EQ(emulator.WaitExit(), 0);
}

TEST(EmulatorProgram, AnswersOnlyAtItsOwnLineRate) {
  // A standard rate, and one that only termios2 can set.
  for (const auto& [right, wrong] : {std::pair{57600u, 9600u}, std::pair{14400u, 19200u}}) {
    EmulatorProcess emulator;
    const auto path = StartOnPty(emulator, {"--baud", std::to_string(right)});
    auto master = path ? LineClient::OpenTerminal(*path) : nullptr;
    ASSERT_TRUE(master);
    ASSERT_TRUE(SetTerminalRate(master->Fd(), wrong) && master->Send(RequestFrame(1, 0x01)));
    EXPECT_TRUE(master->StaysQuiet(300ms)) << right;
    ASSERT_TRUE(SetTerminalRate(master->Fd(), right));
    EXPECT_TRUE(master->Ask(RequestFrame(1, 0x01))) << right;
    ASSERT_TRUE(SetTerminalRate(master->Fd(), wrong) && master->Send(RequestFrame(1, 0x02)));
    EXPECT_TRUE(master->StaysQuiet(300ms)) << right;
  }
}

}  // namespace
}  // namespace quinterra::test
