// The search window's controls: the TCP/serial choice, the log, log.txt and
// the COM and speed lists.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "platform/interval_timer.h"
#include "searcher_fixture.h"

using namespace std::chrono_literals;

namespace quinterra::testing {
namespace {

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// Exactly one pair of inputs is usable, the one of the checked kind.
void ExpectOnePairEnabled(TFormDeviceSearcher& window) {
  const bool tcp = window.RadioButton1->isChecked();
  EXPECT_NE(tcp, window.RadioButton2->isChecked());
  EXPECT_EQ(window.Edit1->isEnabled(), tcp);
  EXPECT_EQ(window.Edit2->isEnabled(), tcp);
  EXPECT_EQ(window.ComboBox1->isEnabled(), !tcp);
  EXPECT_EQ(window.ComboBox2->isEnabled(), !tcp);
}

using SearcherWindowTest = SearcherTest;

TEST_F(SearcherWindowTest, StartsOnSerialWithTheLogHiddenAndTheTimerOff) {
  TFormDeviceSearcher& window = Window();
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Buscador de dispositivos"));
  EXPECT_TRUE(window.RadioButton2->isChecked());
  ExpectOnePairEnabled(window);
  EXPECT_TRUE(window.Memo1->isHidden());
  EXPECT_EQ(window.ClientArea->width(), 605);
  EXPECT_EQ(window.ClientHeight(), 355);
  EXPECT_FALSE(window.Session().Timer1().Enabled());
  EXPECT_EQ(window.Session().Timer1().Interval(), 100ms);
}

TEST_F(SearcherWindowTest, ExactlyOnePairOfInputsIsEnabledAlsoAfterACycle) {
  TFormDeviceSearcher& window = Window();
  window.RadioButton1->click();
  ExpectOnePairEnabled(window);
  EXPECT_TRUE(window.Edit1->isEnabled());
  window.RadioButton2->click();
  ExpectOnePairEnabled(window);
  EXPECT_TRUE(window.ComboBox1->isEnabled());

  // A search disables everything; its end gives back the checked kind's pair.
  window.RadioButton1->click();
  window.SetControlsEnabled(false);
  for (QWidget* control : std::initializer_list<QWidget*>{
           window.RadioButton1, window.RadioButton2, window.Button1, window.Button2,
           window.Edit1, window.Edit2, window.ComboBox1, window.ComboBox2}) {
    EXPECT_FALSE(control->isEnabled());
  }
  window.SetControlsEnabled(true);
  EXPECT_TRUE(window.RadioButton2->isEnabled() && window.Button1->isEnabled() &&
              window.Button2->isEnabled());
  ExpectOnePairEnabled(window);
  EXPECT_TRUE(window.Edit1->isEnabled());
}

TEST_F(SearcherWindowTest, LogCheckBoxShowsTheLogBelowItAndHidesItAgain) {
  TFormDeviceSearcher& window = Window();
  window.CheckBox1->click();
  EXPECT_FALSE(window.Memo1->isHidden());
  EXPECT_EQ(window.ClientHeight(), 482);
  EXPECT_EQ(window.Memo1->y(), 355);
  window.CheckBox1->click();
  EXPECT_TRUE(window.Memo1->isHidden());
  EXPECT_EQ(window.ClientHeight(), 355);
}

TEST_F(SearcherWindowTest, SaveLogWritesTheHiddenLogWithCrLfAndAnEmptyLogAsAnEmptyFile) {
  WriteFile("log.txt", "an older log that is much longer than the new one\r\n");
  TFormDeviceSearcher& window = Window();
  for (const char* line : {"{19200}", "-> 0x01   ,0x0F   ", "", "[Pong 2]"}) {
    window.AddLog(std::string(line));
  }
  window.Savelog1->trigger();
  EXPECT_EQ(ReadFile("log.txt"), "{19200}\r\n-> 0x01   ,0x0F   \r\n\r\n[Pong 2]\r\n");

  window.Limpiarlog1->trigger();
  EXPECT_TRUE(LogLines().empty());
  window.Savelog1->trigger();
  EXPECT_EQ(ReadFile("log.txt"), "");
  EXPECT_TRUE(dialogs_->errors.empty());
}

TEST_F(SearcherWindowTest, SaveLogThatCannotWriteShowsAnErrorAndKeepsTheLog) {
  ASSERT_TRUE(QDir(folder_.path()).mkdir("log.txt"));  // a folder cannot be replaced by a file
  Window().AddLog(std::string("[ERROR]"));
  Window().Savelog1Click();
  ASSERT_EQ(dialogs_->errors.size(), 1u);
  EXPECT_TRUE(dialogs_->errors[0].contains("log.txt"));
  EXPECT_EQ(LogLines(), std::vector<std::string>{"[ERROR]"});
}

TEST_F(SearcherWindowTest, ComListIsSortedByNumberAndEachPortBringsItsOwnRates) {
  ports_ = {"USB Serial Port (COM10)", "Communications Port (COM2)",
            "Serial over BLUETOOTH link (COM40)", "LPT printer port"};
  rates_[2] = {115200, 9600, 2400, 19200, 256000, 57600};
  TFormDeviceSearcher& window = Window();
  EXPECT_EQ(Items(window.ComboBox1),
            (QStringList{"COM2 - Communications Port", "COM10 - USB Serial Port",
                         "COM40 - Serial over BLUETOOTH link"}));
  EXPECT_EQ(window.ComboBox1->currentIndex(), 0);
  EXPECT_EQ(Items(window.ComboBox2), (QStringList{"Auto", "9600", "19200", "57600", "115200"}));
  EXPECT_EQ(window.ComboBox2->currentText(), "Auto");
  EXPECT_EQ(window.RateList(), (std::vector<int>{9600, 19200, 57600, 115200}));

  window.ComboBox1->setCurrentIndex(2);
  window.ComboBox1Change();
  EXPECT_EQ(Items(window.ComboBox2), QStringList{"57600"});
  EXPECT_EQ(window.RateList(), std::vector<int>{57600});

  // COM10 could not be opened: nothing is known of its rates.
  window.ComboBox1->setCurrentIndex(1);
  window.ComboBox1Change();
  EXPECT_EQ(Items(window.ComboBox2), QStringList{"Auto"});
  EXPECT_TRUE(window.RateList().empty());
}

TEST_F(SearcherWindowTest, ComListFollowsPortsComingAndGoingWhileShownAndKeepsTheChoice) {
  ports_ = {"Communications Port (COM1)", "USB Serial Port (COM33)"};
  rates_[1] = {9600};
  rates_[33] = {9600, 19200, 115200};
  TFormDeviceSearcher& window = Window();
  window.show();
  window.ComboBox1->setCurrentIndex(1);
  window.ComboBox1Change();
  window.ComboBox2->setCurrentIndex(2);  // 19200

  // Plugged in: listed within one period; the chosen port and speed stay.
  ports_.push_back("USB Serial Port (COM34)");
  clock_.Advance(TFormDeviceSearcher::kPortPollPeriod);
  EXPECT_EQ(Items(window.ComboBox1), (QStringList{"COM1 - Communications Port",
                                                  "COM33 - USB Serial Port",
                                                  "COM34 - USB Serial Port"}));
  EXPECT_EQ(window.ComboBox1->currentText(), "COM33 - USB Serial Port");
  EXPECT_EQ(window.ComboBox2->currentText(), "19200");
  EXPECT_EQ(window.RateList(), (std::vector<int>{9600, 19200, 115200}));

  // Pulled out while a cycle runs: nothing changes under it; once it has
  // ended, the first port is chosen with its own speeds.
  ports_ = {"Communications Port (COM1)", "USB Serial Port (COM34)"};
  window.Session().CheckPanels(TPanelMode::Both);
  ASSERT_TRUE(window.Session().Running());
  window.RefreshComPorts();
  EXPECT_EQ(window.ComboBox1->count(), 3);
  clock_.Advance(TFormDeviceSearcher::kPortPollPeriod);
  ASSERT_FALSE(window.Session().Running());
  EXPECT_EQ(Items(window.ComboBox1),
            (QStringList{"COM1 - Communications Port", "COM34 - USB Serial Port"}));
  EXPECT_EQ(window.ComboBox1->currentText(), "COM1 - Communications Port");
  EXPECT_EQ(Items(window.ComboBox2), (QStringList{"Auto", "9600"}));
  EXPECT_EQ(window.RateList(), std::vector<int>{9600});

  // Hidden, the window stops asking; shown again, it is up to date at once.
  window.hide();
  ports_.clear();
  clock_.Advance(5 * TFormDeviceSearcher::kPortPollPeriod);
  EXPECT_EQ(window.ComboBox1->count(), 2);
  window.show();
  EXPECT_EQ(window.ComboBox1->count(), 0);
  EXPECT_EQ(Items(window.ComboBox2), QStringList{"Auto"});
  EXPECT_TRUE(window.RateList().empty());
}

TEST_F(SearcherWindowTest, AResizedWindowGivesItsRoomToTheListAndTheLogWhichFollowsItsNewestLine) {
  TFormDeviceSearcher& window = Window();
  window.show();
  for (int i = 0; i < 300; ++i) window.AddLog("[Ping] " + std::to_string(i));
  window.CheckBox1->click();
  window.resize(900, window.height() + 200);
  QCoreApplication::processEvents();
  QScrollBar* bar = window.Memo1->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum()) << "lines added while hidden";
  EXPECT_EQ(window.ListView1->width(), 900);
  EXPECT_EQ(window.Memo1->geometry(), QRect(0, 355, 900, window.ClientHeight() - 355));
  EXPECT_GT(window.Memo1->height(), 127);
  // Scrolled up to read, the operator stays where they are.
  bar->setValue(10);
  window.AddLog(std::string("[Pong 2]"));
  EXPECT_EQ(bar->value(), 10);
}

TEST_F(SearcherWindowTest, NoSerialPortLeavesTheComListEmptyAndOffersOnlyAuto) {
  EXPECT_EQ(Window().ComboBox1->count(), 0);
  EXPECT_EQ(Items(Window().ComboBox2), QStringList{"Auto"});
  EXPECT_TRUE(Window().RateList().empty());
}

}  // namespace
}  // namespace quinterra::testing
