// The emulator's command line, parsed in process.

#include "emulator/emulator_options.h"

#include <gtest/gtest.h>

namespace quinterra {
namespace {

TEST(EmulatorCommandLine, WithoutOptionsItIsDeviceOneOnTheProgramsTcpPort) {
  const auto line = ParseEmulatorCommandLine({});
  ASSERT_EQ(line.Error, "");
  EXPECT_FALSE(line.Options.UsePty);
  EXPECT_EQ(line.Options.TcpPort, 10001);
  EXPECT_EQ(line.Options.Device.Address, 1);
  EXPECT_EQ(line.Options.Device.Model, 10);
  EXPECT_FALSE(line.Options.Device.SmallBlocks);
  EXPECT_EQ(line.Options.Device.SilentAfter, -1);
  EXPECT_FALSE(line.Options.Baud);
  EXPECT_TRUE(line.Options.DumpDir.empty());
}

TEST(EmulatorCommandLine, EveryOptionReachesItsSetting) {
  const auto line = ParseEmulatorCommandLine({"--pty", "--address", "2", "--model=10", "--small-blocks", "--build",
                                              "B 1", "--baud=57600", "--dump", "/tmp/d", "--log", "--silent-after",
                                              "7", "--drop", "10", "--corrupt=20", "--delay", "30", "--seed",
                                              "4294967295"});
  ASSERT_EQ(line.Error, "");
  const TEmulatorOptions& o = line.Options;
  EXPECT_TRUE(o.UsePty);
  EXPECT_EQ(o.Device.Address, 2);
  EXPECT_TRUE(o.Device.SmallBlocks);
  EXPECT_EQ(o.Device.BuildText, "B 1");
  EXPECT_EQ(o.Baud, 57600u);
  EXPECT_EQ(o.DumpDir, "/tmp/d");
  EXPECT_TRUE(o.Log);
  EXPECT_EQ(o.Device.SilentAfter, 7);
  EXPECT_EQ(o.Device.DropPercent, 10);
  EXPECT_EQ(o.Device.CorruptPercent, 20);
  EXPECT_EQ(o.Device.DelayMs, 30);
  EXPECT_EQ(o.Device.Seed, 4294967295u);

  EXPECT_EQ(ParseEmulatorCommandLine({"--tcp", "0"}).Options.TcpPort, 0);
  EXPECT_EQ(ParseEmulatorCommandLine({"--tcp", "65535"}).Options.TcpPort, 65535);
}

TEST(EmulatorCommandLine, MistakesAreNamed) {
  EXPECT_NE(ParseEmulatorCommandLine({"--tcp", "4000", "--pty"}).Error.find("exclude"), std::string::npos);
  EXPECT_NE(ParseEmulatorCommandLine({"--baud", "9600"}).Error.find("--pty"), std::string::npos);
  EXPECT_NE(ParseEmulatorCommandLine({"--address", "-1"}).Error.find("--address"), std::string::npos);
  EXPECT_NE(ParseEmulatorCommandLine({"--model", "11", "--small-blocks"}).Error.find("model 10"), std::string::npos);
  EXPECT_NE(ParseEmulatorCommandLine({"--drop"}).Error.find("needs a value"), std::string::npos);
  EXPECT_NE(ParseEmulatorCommandLine({"--dump", ""}).Error, "");
  EXPECT_NE(ParseEmulatorCommandLine({"--seed", "99999999999999999999"}).Error, "");
  // Help wins over anything else on the line.
  const auto help = ParseEmulatorCommandLine({"--model", "11", "--small-blocks", "--help"});
  EXPECT_TRUE(help.Help);
}

}  // namespace
}  // namespace quinterra
