// "Buscar" in the search window of the running program: devices found over
// TCP and over a pseudo-terminal (with the automatic rate search), named,
// identified and listed; and searches whose link never comes up.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "devices/device_searcher.h"
#include "tests/e2e/program_fixture.h"
#include "tests/e2e/stalled_listener.h"

namespace quinterra::e2e {
namespace {

class SearchTest : public ProgramTest {
 protected:
  // A program with no devices and no ticked panel: nothing runs until Buscar.
  void StartEmptyProgram(const std::map<int, std::string>& ports = {}) {
    ProgramSettings settings;
    settings.tick_results = settings.tick_jackpots = false;
    settings.ports = ports;
    WriteSettings(settings);
    StartProgram();
    ASSERT_FALSE(CycleRunning());
  }

  void SearchTcp(int port) {
    Searcher().RadioButton1->click();  // "TCP/IP"
    Searcher().Edit1->setText("127.0.0.1");
    Searcher().Edit2->setText(QString::number(port));
    Searcher().Button1->click();
  }

  bool ControlsBack() {
    TFormDeviceSearcher& s = Searcher();
    return s.Button1->isEnabled() && s.Button2->isEnabled() && s.RadioButton1->isEnabled() &&
           s.RadioButton2->isEnabled();
  }

  // The row as the list view shows it: N, COM/IP, Veloc./Puerto, Version,
  // Compilación, Nombre, S.
  std::vector<std::string> ShownRow(int index) {
    std::vector<std::string> columns;
    const QTreeWidgetItem* item = Searcher().ListView1->topLevelItem(index);
    if (item == nullptr) return columns;
    for (int c = 0; c < item->columnCount(); ++c) columns.push_back(item->text(c).toStdString());
    return columns;
  }
};

TEST_F(SearchTest, BuscarOverTcpListsAndIdentifiesAResultsAndAJackpotsPanel) {
  EmulatorProcess* results = StartTcpPanel(1, {"--build", "R-2011"});
  EmulatorProcess* jackpots = StartTcpPanel(2, {"--model", "11", "--build", "B-2011"});
  ASSERT_TRUE(results && jackpots);
  StartEmptyProgram();

  SearchTcp(results->TcpPort());
  EXPECT_FALSE(Searcher().Button1->isEnabled()) << "controls stay off while searching";
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_TRUE(ControlsBack());
  SearchTcp(jackpots->TcpPort());
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_TRUE(ControlsBack());

  const std::string port1 = std::to_string(results->TcpPort());
  const std::string port2 = std::to_string(jackpots->TcpPort());
  ASSERT_EQ(Searcher().ListView1->topLevelItemCount(), 2) << Diagnostics();
  EXPECT_EQ(ShownRow(0), (std::vector<std::string>{"1", "127.0.0.1", port1, "10.0.0.0.0.0.0.0.1",
                                                   "R-2011", "Panel Resultados (127.0.0.1)", "*"}));
  EXPECT_EQ(ShownRow(1), (std::vector<std::string>{"2", "127.0.0.1", port2, "11.0.0.0.0.0.0.0.1",
                                                   "B-2011", "Panel Botes (127.0.0.1)", "*"}));
  // Each search pinged both addresses once, and heard only its own device.
  EXPECT_EQ(FindLogLine("[OK] 127.0.0.1"), 0) << LogText();
  const int pong1 = FindLogLine("[Pong 1]");
  const int pong2 = FindLogLine("[Pong 2]");
  EXPECT_GE(pong1, 0) << LogText();
  EXPECT_GT(pong2, pong1) << LogText();
  EXPECT_EQ(FindLogLine("[Pong 1]", pong1 + 1), -1) << LogText();
  EXPECT_EQ(FindLogLine("[ERROR]"), -1) << LogText();

  // A third search of the first device finds it again and adds no row.
  SearchTcp(results->TcpPort());
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_EQ(Searcher().Session().Devices().size(), 2u);
  EXPECT_GE(FindLogLine("[Pong 1]", pong2), 0) << LogText();
}

TEST_F(SearchTest, AutomaticRateSearchTriesFourRatesAndFindsThePanelAtItsOwn) {
  EmulatorProcess* panel = StartPtyPanel(1, 38400, {"--build", "serie"});
  ASSERT_TRUE(panel);
  present_ports = {"pts (COM120)"};
  settable_rates[120] = {9600, 19200, 38400, 57600, 115200};
  StartEmptyProgram({{120, panel->PtyPath()}});
  ASSERT_EQ(Searcher().ComboBox2->currentText(), "Auto");

  Searcher().RadioButton2->click();  // "SERIE"
  Searcher().Button1->click();
  // Four rates, twelve ticks per address at each, plus the identification.
  ASSERT_TRUE(WaitForCycleEnd(20s)) << Diagnostics();
  EXPECT_TRUE(ControlsBack());

  const int r9600 = FindLogLine("{9600}");
  const int opened = FindLogLine("[OK] COM120");
  const int ping = FindLogLine("[Ping]");
  const int r19200 = FindLogLine("{19200}");
  const int r38400 = FindLogLine("{38400}");
  const int pong = FindLogLine("[Pong 1]");
  const int r57600 = FindLogLine("{57600}");
  EXPECT_EQ(r9600, 0) << LogText();
  EXPECT_GT(opened, r9600) << LogText();
  EXPECT_GT(ping, opened) << LogText();
  EXPECT_GT(r19200, ping) << LogText();
  EXPECT_GE(FindLogLine("[Ping]", r19200), 0) << LogText();
  EXPECT_GT(r38400, r19200) << LogText();
  EXPECT_GT(pong, r38400) << LogText();
  EXPECT_GT(r57600, pong) << LogText();
  EXPECT_GE(FindLogLine("[Ping]", r57600), 0) << LogText();
  EXPECT_EQ(FindLogLine("{115200}"), -1) << LogText();
  EXPECT_EQ(FindLogLine("[Pong 1]", pong + 1), -1) << "heard at one rate only\n" << LogText();

  ASSERT_EQ(Searcher().ListView1->topLevelItemCount(), 1) << Diagnostics();
  EXPECT_EQ(ShownRow(0), (std::vector<std::string>{"1", "COM120", "38400", "10.0.0.0.0.0.0.0.1",
                                                   "serie", "Panel Resultados (COM120)", "*"}));
}

TEST_F(SearchTest, ASearchWhoseTcpLinkNeverComesUpGivesTheControlsBack) {
  // Refused at once, and never established (the listener's backlog is full).
  const int refusing = RefusingPort();
  StalledListener stalled;
  ASSERT_GT(refusing, 0);
  ASSERT_GT(stalled.Port(), 0);
  StartEmptyProgram();

  Stopwatch refused_watch;
  SearchTcp(refusing);
  ASSERT_TRUE(WaitForCycleEnd(3s)) << Diagnostics();
  EXPECT_LT(refused_watch.Elapsed(), 3s);
  EXPECT_TRUE(ControlsBack());
  EXPECT_GE(FindLogLine("[ERROR]"), 0) << LogText();
  EXPECT_EQ(FindLogLine("[Ping]"), -1) << "nothing is sent without a link\n" << LogText();

  const int errors_before = static_cast<int>(LogLines().size());
  SearchTcp(stalled.Port());
  EXPECT_FALSE(Searcher().Button1->isEnabled());
  // The wait for the link is bounded (about 5 s), then the search gives up.
  ASSERT_TRUE(WaitForCycleEnd(9s)) << Diagnostics();
  EXPECT_TRUE(ControlsBack());
  EXPECT_GE(FindLogLine("[ERROR]", errors_before), 0) << LogText();
  EXPECT_EQ(FindLogLine("[Ping]"), -1) << LogText();
  EXPECT_TRUE(Searcher().Session().Devices().empty());
}

TEST_F(SearchTest, ASerialPortThatCannotBeOpenedEndsTheSearch) {
  // COM121 names a device path that does not exist.
  present_ports = {"ghost (COM121)"};
  settable_rates[121] = {9600, 19200};
  StartEmptyProgram({{121, InFolder("no-such-port")}});

  Stopwatch watch;
  Searcher().RadioButton2->click();
  // The open is tried for about 5 s (inside the click) before it fails.
  Searcher().Button1->click();
  ASSERT_TRUE(WaitForCycleEnd(3s)) << Diagnostics();
  EXPECT_LT(watch.Elapsed(), 9s);
  EXPECT_TRUE(ControlsBack());
  EXPECT_GE(FindLogLine("[ERROR]"), 0) << LogText();
  EXPECT_EQ(FindLogLine("[Ping]"), -1) << LogText();
  EXPECT_EQ(FindLogLine("{19200}"), -1) << "no further rate is tried\n" << LogText();
}

}  // namespace
}  // namespace quinterra::e2e
