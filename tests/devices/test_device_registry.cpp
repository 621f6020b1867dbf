// The device list and equipos.ini: loading once, saving exactly the list,
// "Eliminar", the name check on closing, and what the main window is told.

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <csignal>
#include <sys/resource.h>

#include "devices/device_names.h"
#include "platform/profile_file.h"
#include "searcher_fixture.h"

namespace quinterra::testing {
namespace {

DeviceRow Row(const std::string& number, const std::string& address, const std::string& speed,
              const std::string& name, const std::string& selected = "*") {
  DeviceRow row;
  row.Number = number;
  row.LinkAddress = address;
  row.SpeedOrPort = speed;
  row.Name = name;
  row.Selected = selected;
  return row;
}

class DeviceRegistryTest : public SearcherTest {
 protected:
  // What the main window hears, one text per event.
  std::vector<std::string>& Listen() {
    TDeviceSession& session = Session();
    session.OnDevicesCleared = [this](TDeviceSession* sender) {
      EXPECT_EQ(sender, &Session());
      heard_.push_back("cleared");
    };
    session.OnDeviceListed = [this](TDeviceSession*, int number, int row_index,
                                    const std::string& name, bool selected) {
      heard_.push_back(std::to_string(number) + " " + std::to_string(row_index) + " " + name +
                       (selected ? " *" : " -"));
    };
    session.OnDevicesListed = [this](TDeviceSession*) { heard_.push_back("listed"); };
    return heard_;
  }

  void AddRows(const std::vector<DeviceRow>& rows) {
    for (const DeviceRow& row : rows) Session().Rows().push_back(row);
    Session().RowsChanged();
  }

  void Highlight(int row_index) {
    Window().ListView1->topLevelItem(row_index)->setSelected(true);
  }

  // Asks the window to close the way the title bar's button does.
  bool Close() {
    QCloseEvent event;
    Window().show();
    QCoreApplication::sendEvent(&Window(), &event);
    return event.isAccepted() && Window().isHidden();
  }

  std::vector<std::string> Sections() const {
    return TProfileFile(PathOf("equipos.ini")).ReadSections();
  }
  std::string Value(const std::string& section, const std::string& key) const {
    return TProfileFile(PathOf("equipos.ini")).ReadString(section, key, "<none>");
  }

  std::vector<std::string> heard_;
};

TEST_F(DeviceRegistryTest, MissingOrEmptyFileGivesAnEmptyListButIsStillPublished) {
  std::vector<std::string>& heard = Listen();
  Session().LoadDevices();
  EXPECT_TRUE(Session().Devices().empty());
  EXPECT_EQ(Window().ListView1->topLevelItemCount(), 0);
  EXPECT_EQ(heard, (std::vector<std::string>{"cleared", "listed"}));

  TDeviceSession::ForgetDevicesLoaded();
  WriteFile("equipos.ini", "");
  heard.clear();
  Session().LoadDevices();
  EXPECT_EQ(heard, (std::vector<std::string>{"cleared", "listed"}));
}

TEST_F(DeviceRegistryTest, LoadingSkipsNamelessSectionsAndNumbersRowsWithoutGaps) {
  WriteFile("equipos.ini",
            "[0]\r\nNombre=Panel Resultados (COM3)\r\nCOMIP=COM3\r\nSpeedPort=19200\r\n"
            "Version=V1.2\r\nCompilacion=May 18 2011\r\nNumDispositivo=1\r\nSelected=*\r\n"
            "[1]\r\nCOMIP=COM4\r\nNumDispositivo=2\r\n"
            "[2]\r\nNombre=   \r\nNumDispositivo=2\r\n"
            "[7]\r\nNombre=Panel Botes (10.0.0.5)\r\nCOMIP=10.0.0.5\r\nSpeedPort=10001\r\n"
            "NumDispositivo=2\r\nSelected= \r\n"
            "[x]\r\nNombre=Odd one\r\nNumDispositivo=two\r\nSelected=x\r\n");
  std::vector<std::string>& heard = Listen();
  Session().LoadDevices();

  EXPECT_EQ(heard, (std::vector<std::string>{"cleared", "1 0 Panel Resultados (COM3) *",
                                             "2 1 Panel Botes (10.0.0.5) -", "0 2 Odd one *",
                                             "listed"}));
  const std::vector<DeviceRow>& rows = Session().Devices();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].LinkAddress, "COM3");
  EXPECT_EQ(rows[0].SpeedOrPort, "19200");
  EXPECT_EQ(rows[0].Version, "V1.2");
  EXPECT_EQ(rows[0].Build, "May 18 2011");
  EXPECT_EQ(rows[1].Selected, " ");
  EXPECT_EQ(rows[2].Number, "0");
  EXPECT_EQ(rows[2].Selected, "*");
  ASSERT_EQ(Window().ListView1->topLevelItemCount(), 3);
  EXPECT_EQ(Window().ListView1->topLevelItem(1)->text(5), "Panel Botes (10.0.0.5)");
}

TEST_F(DeviceRegistryTest, SecondLoadNeitherClearsNorRereads) {
  WriteFile("equipos.ini", "[0]\r\nNombre=A\r\nNumDispositivo=1\r\n");
  Session().LoadDevices();
  AddRows({Row("2", "COM5", "9600", "Found by a search")});
  WriteFile("equipos.ini", "[0]\r\nNombre=Changed meanwhile\r\nNumDispositivo=1\r\n");
  std::vector<std::string>& heard = Listen();

  Session().LoadDevices();
  EXPECT_TRUE(heard.empty());
  ASSERT_EQ(Session().Devices().size(), 2u);
  EXPECT_EQ(Session().Devices()[0].Name, "A");
}

TEST_F(DeviceRegistryTest, SaveWritesTheListOnlyKeyByKeyAndSelectionComesBackAsAStar) {
  WriteFile("equipos.ini",
            "[Puertos]\r\nCOM3=/dev/pts/3\r\n"
            "[0]\r\nNombre=Panel Resultados (COM3)\r\nCOMIP=COM3\r\nSpeedPort=19200\r\n"
            "NumDispositivo=1\r\nSelected=x\r\n"
            "[5]\r\nNombre=Panel Botes (COM4)\r\nCOMIP=COM4\r\nSpeedPort=9600\r\n"
            "NumDispositivo=2\r\nSelected= \r\nExtra=kept nowhere\r\n");
  Session().LoadDevices();
  ASSERT_TRUE(Window().SaveDevices());

  EXPECT_EQ(Sections(), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(Value("0", "Selected"), "*");
  EXPECT_EQ(Value("1", "Nombre"), "Panel Botes (COM4)");
  EXPECT_EQ(Value("1", "Selected"), "");
  EXPECT_EQ(Value("1", "Extra"), "<none>");
  EXPECT_EQ(Value("Puertos", "COM3"), "<none>");

  // The keys of a section, in the order they are written.
  const std::string text = ReadFile("equipos.ini");
  const size_t section = text.find("[1]");
  size_t last = section;
  for (const char* key : {"Nombre=", "COMIP=", "SpeedPort=", "Version=", "Compilacion=",
                          "NumDispositivo=", "Selected="}) {
    const size_t at = text.find(key, section);
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GT(at, last) << key;
    last = at;
  }
  EXPECT_NE(text.find("\r\n"), std::string::npos);
}

TEST_F(DeviceRegistryTest, EliminarRemovesTheHighlightedRowAndTheNextSaveRenumbers) {
  AddRows({Row("1", "COM3", "19200", "First"), Row("2", "COM3", "19200", "Second"),
           Row("1", "10.0.0.5", "10001", "Third")});
  Window().Button2Click();  // nothing highlighted: nothing removed
  EXPECT_EQ(Session().Devices().size(), 3u);

  Highlight(0);
  Window().Button2Click();
  ASSERT_EQ(Session().Devices().size(), 2u);
  EXPECT_EQ(Window().ListView1->topLevelItemCount(), 2);
  EXPECT_EQ(Window().ListView1->topLevelItem(0)->text(5), "Second");
  EXPECT_TRUE(Window().ListView1->selectedItems().isEmpty());

  ASSERT_TRUE(Close());
  EXPECT_EQ(Sections(), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(Value("0", "Nombre"), "Second");
  EXPECT_EQ(Value("1", "Nombre"), "Third");
}

// A delivery walks the rows by index: none may vanish under it, and the
// window shows that "Buscar" and "Eliminar" wait.
TEST_F(DeviceRegistryTest, SearchAndEliminarWaitVisiblyWhileADeliveryRuns) {
  AddRows({Row("1", "COMx", "9600", "Results")});  // a link that fails at once
  Session().SetPayloads(std::make_shared<std::vector<uint8_t>>(320, 0xFF), nullptr);
  ASSERT_TRUE(Session().SendPanels(TPanelMode::Results));
  EXPECT_FALSE(Window().Button1->isEnabled());
  EXPECT_FALSE(Window().Button2->isEnabled());
  EXPECT_TRUE(Window().RadioButton1->isEnabled());
  Highlight(0);
  Window().Button2Click();
  EXPECT_EQ(Session().Devices().size(), 1u);

  clock_.Advance(TDeviceCycle::kTick * 3);
  ASSERT_FALSE(Session().Running());
  EXPECT_TRUE(Window().Button1->isEnabled());
  EXPECT_TRUE(Window().Button2->isEnabled());
}

TEST_F(DeviceRegistryTest, NamesDifferingOnlyInCaseKeepTheWindowOpenUnsaved) {
  AddRows({Row("1", "COM1", "9600", "Panel Resultados (COM1)"),
           Row("1", "COM1", "19200", "panel resultados (com1)")});
  EXPECT_FALSE(Close());
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(dialogs_->infos, std::vector<QString>{"Nombres repetidos, cambielos"});
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(PathOf("equipos.ini"))));

  // Removing one of them lets the window close and save.
  Highlight(1);
  Window().Button2Click();
  EXPECT_TRUE(Close());
  EXPECT_EQ(Sections(), std::vector<std::string>{"0"});
}

TEST_F(DeviceRegistryTest, EscapeGoesThroughTheSameNameCheck) {
  AddRows({Row("1", "COM1", "9600", " \t")});
  Window().show();
  Window().reject();
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(dialogs_->infos, std::vector<QString>{"Dispositivo sin nombre"});
}

TEST(DeviceNamesTest, TheFirstRowThatBreaksTheRuleDecidesTheMessage) {
  auto named = [](std::vector<std::string> names) {
    std::vector<DeviceRow> rows;
    for (const std::string& name : names) rows.push_back(Row("1", "COM1", "9600", name));
    return DeviceNamesProblem(rows);
  };
  EXPECT_EQ(named({}), QString());
  EXPECT_EQ(named({"A", "B"}), QString());
  // Blanks count for equality: only letter case is ignored.
  EXPECT_EQ(named({"Panel", "Panel "}), QString());
  EXPECT_EQ(named({"Señal", "SEÑAL"}), "Nombres repetidos, cambielos");
  EXPECT_EQ(named({"A", "\t\r\n\x01 ", "a"}), "Nombres repetidos, cambielos");
  EXPECT_EQ(named({" \xC2\xA0", "A", "a"}), "Dispositivo sin nombre");
  EXPECT_EQ(named({"A", ""}), "Dispositivo sin nombre");
}

TEST_F(DeviceRegistryTest, SetDeviceSelectedChangesTheRowThenSavesAndRepublishes) {
  AddRows({Row("1", "COM3", "19200", "Results"), Row("2", "COM3", "19200", "Jackpots")});
  std::vector<std::string>& heard = Listen();
  Window().SetDeviceSelected(1, false);
  EXPECT_EQ(Session().Devices()[1].Selected, " ");
  EXPECT_EQ(Window().ListView1->topLevelItem(1)->text(6), " ");
  EXPECT_EQ(heard, (std::vector<std::string>{"cleared", "1 0 Results *", "2 1 Jackpots -",
                                             "listed"}));
  EXPECT_EQ(Value("1", "Selected"), "");

  // Beyond the last row (or below the first) no row changes, but the file is
  // still rewritten and the list published again.
  WriteFile("equipos.ini", "[Stale]\r\nNombre=x\r\n");
  heard.clear();
  Window().SetDeviceSelected(2, true);
  Window().SetDeviceSelected(-1, false);
  EXPECT_EQ(Session().Devices()[1].Selected, " ");
  EXPECT_EQ(Session().Devices()[0].Selected, "*");
  EXPECT_EQ(Sections(), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(heard.size(), 8u);
}

// A write that fails half-way (the disk is full) must leave the previous
// registry whole: the save replaces the file in one step, never section by
// section.
TEST_F(DeviceRegistryTest, ARowAddedBySearchingIsAnnouncedOnceTheListShowsIt) {
  int shown_then = -1;
  Window().OnRowsChanged = [&](TFormDeviceSearcher*) {
    shown_then = Window().ListView1->topLevelItemCount();
  };
  AddRows({Row("2", "127.0.0.1", "10001", "Panel Botes (127.0.0.1)")});
  EXPECT_EQ(shown_then, 1);
}

TEST_F(DeviceRegistryTest, SaveThatRunsOutOfSpaceLeavesThePreviousFileWhole) {
  const std::string before =
      "[0]\r\nNombre=Kept\r\nCOMIP=COM1\r\nSpeedPort=9600\r\nNumDispositivo=1\r\nSelected=*\r\n";
  WriteFile("equipos.ini", before);
  Session().LoadDevices();
  AddRows({Row("2", "10.0.0.7", "10001", std::string(300, 'n'))});
  std::vector<std::string>& heard = Listen();

  struct rlimit old_limit {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 200;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool closed = Close();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(closed);
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_TRUE(dialogs_->errors[0].contains("equipos.ini"));
  EXPECT_EQ(ReadFile("equipos.ini"), before);
  EXPECT_TRUE(Window().isVisible());
  // The menu still follows the list.
  EXPECT_EQ(heard.size(), 4u);
}

}  // namespace
}  // namespace quinterra::testing
