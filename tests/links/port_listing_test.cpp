// COM numbers, the COM list and the speed list, and the hex of traffic lines.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "links/com_port_map.h"
#include "links/format_bytes.h"
#include "links/port_listing.h"
#include "platform/profile_file.h"
#include "tests/links/link_test_support.h"

namespace quinterra {
namespace {

using test::PtyPair;
using test::TempConfig;
using Items = std::vector<std::string>;

SettableRatesOf OnThisMachine(const TComPortMap& map) {
  return [&map](int com_number) { return SettableRates(com_number, map); };
}

TEST(NumberInText, FindsTheKthRunOfDigits) {
  EXPECT_EQ(NumberInText("COM12 - USB Serial Port", 0), 12);
  EXPECT_EQ(NumberInText("a1b22c333", 2), 333);
  EXPECT_EQ(NumberInText("a1b22c333", 3), -1);
  EXPECT_EQ(NumberInText("no digits", 0), -1);
  EXPECT_EQ(NumberInText("", 0), -1);
  EXPECT_EQ(NumberInText("COM99999999999999999999", 0), 2147483647);  // saturates
}

TEST(ComPortEntries, SortsByComNumberNumerically) {
  EXPECT_EQ(ComPortEntries({"USB Serial Port (COM10)", "Communications Port (COM2)"}),
            (Items{"COM2 - Communications Port", "COM10 - USB Serial Port"}));
}

TEST(ComPortEntries, SkipsNamesWithoutAComNumberAndKeepsOddOnesWhole) {
  EXPECT_EQ(ComPortEntries({"Printer Port (LPT1)", "Modem (COM3)", "(COM4)", "Link (COM5"}),
            (Items{"COM3 - Modem", "COM4 - ", "COM5 - Link"}));
  EXPECT_TRUE(ComPortEntries({}).empty());
}

TEST(RateChoices, OffersAutoThenTheSettableRatesOfTheListAscending) {
  const TRateChoices choices =
      RateChoices("COM3 - Communications Port", {256000, 115200, 4800, 9600, 57600, 128000});
  EXPECT_EQ(choices.items, (Items{"Auto", "9600", "57600", "115200", "128000"}));
  EXPECT_EQ(choices.rate_list, (std::vector<int>{9600, 57600, 115200, 128000}));
}

TEST(RateChoices, ABluetoothPortInAnyLetterCaseOffers57600Alone) {
  for (const std::string entry : {"COM100 - Bluetooth link", "COM5 - Standard Serial over BLUETOOTH",
                                  "COM6 - blueTooth"}) {
    const TRateChoices choices = RateChoices(entry, OfferedRates());
    EXPECT_EQ(choices.items, Items{"57600"}) << entry;
    EXPECT_EQ(choices.rate_list, std::vector<int>{57600}) << entry;
  }
}

TEST(RateChoices, APortThatCannotBeOpenedOffersOnlyAuto) {
  const TRateChoices choices = RateChoices("COM7 - USB Serial Port", {});
  EXPECT_EQ(choices.items, Items{"Auto"});
  EXPECT_TRUE(choices.rate_list.empty());
  // No port at all: the window lists nothing and asks for the rates of "".
  EXPECT_EQ(RateChoices("", {}).items, Items{"Auto"});
}

TEST(ListRates, AsksTheSettableRatesOfTheEntrysComNumberBluetoothIncluded) {
  std::vector<int> asked;
  const SettableRatesOf settable = [&](int com_number) {
    asked.push_back(com_number);
    return std::vector<int>{9600, 256000};
  };
  EXPECT_EQ(ListRates("COM12 - USB Serial Port", settable).items, (Items{"Auto", "9600"}));
  EXPECT_EQ(ListRates("COM100 - Bluetooth link", settable).items, Items{"57600"});
  EXPECT_EQ(ListRates("", settable).items, Items{"Auto"});
  EXPECT_EQ(asked, (std::vector<int>{12, 100}));
}

TEST(ComPortMap, FixedRangesNameEachFamily) {
  const TComPortMap map;
  EXPECT_EQ(map.DevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(map.DevicePath(32), "/dev/ttyS31");
  EXPECT_EQ(map.DevicePath(33), "/dev/ttyUSB0");
  EXPECT_EQ(map.DevicePath(64), "/dev/ttyUSB31");
  EXPECT_EQ(map.DevicePath(65), "/dev/ttyACM0");
  EXPECT_EQ(map.DevicePath(96), "/dev/ttyACM31");
  EXPECT_EQ(map.DevicePath(97), "/dev/rfcomm0");
  EXPECT_EQ(map.DevicePath(127), "/dev/rfcomm30");
  EXPECT_EQ(map.DevicePath(0), "");
  EXPECT_EQ(map.DevicePath(128), "");
  for (int n = 1; n <= 127; ++n) EXPECT_EQ(map.ComNumber(map.DevicePath(n)), n) << n;
  EXPECT_EQ(map.ComNumber("/dev/ttyS32"), 0);
  EXPECT_EQ(map.ComNumber("/dev/ttyUSB007"), 0);
  EXPECT_EQ(map.ComNumber("/dev/ttyAMA0"), 0);
}

TEST(ComPortMap, ThePuertosSectionOverridesAndAddsNumbers) {
  TempConfig config;
  const TComPortMap map = config.MapPorts({{3, "/dev/pts/7"}, {200, "/dev/ttyUSB4"}});
  EXPECT_EQ(map.DevicePath(3), "/dev/pts/7");
  EXPECT_EQ(map.DevicePath(200), "/dev/ttyUSB4");
  EXPECT_EQ(map.ComNumber("/dev/pts/7"), 3);
  // The override wins the reverse lookup; an overridden number names its
  // old device no more.
  EXPECT_EQ(map.ComNumber("/dev/ttyUSB4"), 200);
  EXPECT_EQ(map.ComNumber("/dev/ttyS2"), 0);
  EXPECT_EQ(map.DevicePath(4), "/dev/ttyS3");
}

TEST(ComPortMap, AMissingFileOrSectionLeavesTheFixedRanges) {
  TempConfig config;
  TComPortMap map;
  map.ReadOverrides(TProfileFile(config.Folder() + "/absent.ini"));
  EXPECT_TRUE(map.Overrides().empty());
  EXPECT_EQ(map.DevicePath(2), "/dev/ttyS1");
}

TEST(ComPortMap, ASymbolicLinkIsFoundUnderTheNumberOfItsTarget) {
  TempConfig config;
  PtyPair pty;
  const std::string link = config.Folder() + "/by-id-panel";
  ASSERT_EQ(::symlink(pty.SlavePath().c_str(), link.c_str()), 0);
  const TComPortMap map = config.MapPorts({{9, link}});
  EXPECT_EQ(map.ComNumber(pty.SlavePath()), 9);
}

TEST(PresentPorts, AMappedPseudoTerminalIsListedAndOffersEveryRate) {
  TempConfig config;
  PtyPair pty;
  const TComPortMap map = config.MapPorts({{120, pty.SlavePath()}, {121, config.Folder() + "/gone"}});
  const Items entries = ListComPorts(map);
  const std::string entry = "COM120 - " + pty.SlavePath().substr(5);  // "pts/N"
  EXPECT_NE(std::find(entries.begin(), entries.end(), entry), entries.end());
  for (const std::string& e : entries) EXPECT_NE(NumberInText(e, 0), 121) << "absent device listed";

  const TRateChoices rates = ListRates(entry, OnThisMachine(map));
  EXPECT_EQ(rates.items.front(), "Auto");
  EXPECT_EQ(rates.rate_list, OfferedRates());
}

TEST(PresentPorts, APortThatCannotBeOpenedOrIsInUseOffersNoRate) {
  TempConfig config;
  PtyPair pty;
  const TComPortMap map = config.MapPorts({{120, pty.SlavePath()}, {121, config.Folder() + "/gone"}});
  EXPECT_TRUE(SettableRates(121, map).empty());
  EXPECT_TRUE(SettableRates(250, map).empty());  // no device for that number
  auto holder = CreateNativeSerialDevice();
  ASSERT_FALSE(holder->Open(pty.SlavePath()));
  EXPECT_EQ(ListRates("COM120 - pts", OnThisMachine(map)).items, Items{"Auto"});
}

TEST(FormatBytes, RendersEachFlagAndSeparatesGroups) {
  const uint8_t a = 0x41, lf = 0x0A;
  EXPECT_EQ(FormatBytes(&a, 1, 1 | 2 | 4), "065 0x41 A ");
  EXPECT_EQ(FormatBytes(&lf, 1, 1 | 2 | 4), "010 0x0A   ");
  const uint8_t frame[] = {0x01, 0x0F};
  EXPECT_EQ(FormatBytes(frame, 2, 2), "0x01   ,0x0F   ");
  const uint8_t text[] = {'h', 'i', 0x7F};
  EXPECT_EQ(FormatBytes(text, 3, 4), "h ,i ,  ");
  EXPECT_EQ(FormatBytes(frame, 0, 2), "");
}

}  // namespace
}  // namespace quinterra
