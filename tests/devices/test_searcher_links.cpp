// The search window's link side: how OpenLink reads the window, the traffic
// lines, and the whole road from "Buscar" or SendPanels through the real link
// layer to emulated panel devices on 127.0.0.1 and on a pseudo-terminal.

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>

#include "bus/bus_engine.h"
#include "emulator/panel_device.h"
#include "links/comunicacion_serie.h"
#include "links/format_bytes.h"
#include "links/link_layer.h"
#include "platform/interval_timer.h"
#include "searcher_fixture.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_pair.h"

using namespace std::chrono_literals;

namespace quinterra::testing {
namespace {

// Runs the event loop until done() holds; false after the deadline.
template <typename Done>
bool WaitFor(Done done, int milliseconds = 5000) {
  QDeadlineTimer deadline(milliseconds);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Panel devices behind one TCP connection on 127.0.0.1: every byte the
// window sends reaches each device, every answer goes back.
class EmulatedPanelsOnTcp {
 public:
  EmulatedPanelsOnTcp() {
    EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      socket_ = server_.nextPendingConnection();
      QObject::connect(socket_, &QTcpSocket::readyRead, [this] {
        const QByteArray bytes = socket_->readAll();
        heard_.insert(heard_.end(), bytes.begin(), bytes.end());
        for (auto& panel : panels_) {
          panel->ReceiveBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
        }
      });
    });
  }

  TPanelDeviceEmulator& AddPanel(uint8_t address, const std::string& build) {
    TPanelDeviceOptions options;
    options.Address = address;
    options.BuildText = build;
    panels_.push_back(std::make_unique<TPanelDeviceEmulator>(options));
    panels_.back()->OnAnswer = [this](TPanelDeviceEmulator&, const uint8_t* bytes, size_t count) {
      if (!socket_) return;
      socket_->write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(count));
      written_ += count;
    };
    return *panels_.back();
  }

  std::string Port() const { return std::to_string(server_.serverPort()); }
  bool Connected() const { return socket_ != nullptr; }
  const std::vector<uint8_t>& Heard() const { return heard_; }
  size_t Written() const { return written_; }

 private:
  QTcpServer server_;
  QTcpSocket* socket_ = nullptr;
  std::vector<std::unique_ptr<TPanelDeviceEmulator>> panels_;
  std::vector<uint8_t> heard_;
  size_t written_ = 0;
};

class SearcherLinkTest : public SearcherTest {
 protected:
  // "TCP/IP" with these texts; with panels, ticks wait until every byte sent
  // either way has arrived, so that no answer misses its wait on a busy machine.
  void UseTcp(const std::string& address, const std::string& port,
              EmulatedPanelsOnTcp* panels = nullptr) {
    Window().RadioButton1->click();
    Window().Edit1->setText(QString::fromStdString(address));
    Window().Edit2->setText(QString::fromStdString(port));
    if (!panels || panels_) return;
    panels_ = panels;
    auto send = Session().Engine().OnSend;
    Session().Engine().OnSend = [this, send](TComVornBus* engine, const uint8_t* bytes,
                                             int is_request, int count) {
      if (Link().HasTcpSocket()) sent_ += count;
      send(engine, bytes, is_request, count);
    };
    auto receive = Link().OnReceived;
    Link().OnReceived = [this, receive](const uint8_t* bytes, int count) {
      received_ += count;
      receive(bytes, count);
    };
  }

  // One Timer1 tick of simulated time, then the sockets get their turn.
  void Tick() {
    clock_.Advance(100ms);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (panels_) {
      WaitFor([&] { return panels_->Heard().size() == sent_ && panels_->Written() == received_; },
              2000);
    }
  }

  // Ticks until the cycle has ended (Timer1 off) or the bound is reached.
  bool RunCycle(int max_ticks = 400) {
    for (int i = 0; i < max_ticks; ++i) {
      if (!Session().Timer1().Enabled()) return true;
      Tick();
    }
    return !Session().Timer1().Enabled();
  }

  EmulatedPanelsOnTcp* panels_ = nullptr;
  size_t sent_ = 0;
  size_t received_ = 0;
};

TEST_F(SearcherLinkTest, TcpWithoutAnAddressOrWithABadPortOpensNothingAndSaysNothing) {
  Session().OpenLink(TLinkKind::Tcp, "", "10001");
  EXPECT_FALSE(Link().HasTcpSocket());
  Session().OpenLink(TLinkKind::Tcp, "127.0.0.1", "port");
  EXPECT_FALSE(Link().HasTcpSocket());
  Session().OpenLink(TLinkKind::Tcp, "127.0.0.1", "70000");
  EXPECT_FALSE(Link().HasTcpSocket());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(SearcherLinkTest, TrafficLinesShowTheBytesInHexadecimalBothWays) {
  EmulatedPanelsOnTcp panels;
  panels.AddPanel(1, "EMU 1.0");
  Session().OpenLink(TLinkKind::Tcp, " 127.0.0.1 ", panels.Port());
  ASSERT_TRUE(WaitFor([&] { return Contains(LogLines(), "[OK] 127.0.0.1"); }));

  // The engine's frames leave through the window, and the answers come back
  // to the engine byte by byte.
  int pongs = 0;
  Session().Engine().OnPong = [&](TComVornBus*, uint8_t address) { pongs += address; };
  Session().Engine().SetTarget(1);
  Session().Engine().Ping();
  ASSERT_TRUE(WaitFor([&] { return pongs == 1; }));

  const std::vector<uint8_t> ping{0x01, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x39, 0xAC};
  EXPECT_EQ(panels.Heard(), ping);
  const std::vector<std::string> lines = LogLines();
  EXPECT_TRUE(Contains(lines, "-> " + FormatBytes(ping.data(), 11, 2)));
  EXPECT_TRUE(Contains(lines, "-> 0x01   ,0x01   ,0x0F   ,0x00   ,0x00   ,0x00   ,0x00   ,"
                              "0x00   ,0x00   ,0x39   ,0xAC   "));
  const auto answer = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.rfind("<- ", 0) == 0; });
  ASSERT_NE(answer, lines.end());
  EXPECT_EQ(answer->substr(0, 15), "<- 0x01   ,0x81");
  Session().CloseLink();
  EXPECT_FALSE(Link().HasTcpSocket());
}

TEST_F(SearcherLinkTest, SearchOverTcpFindsBothPanelsThenADeliveryWritesOne) {
  EmulatedPanelsOnTcp panels;
  TPanelDeviceEmulator& results = panels.AddPanel(1, "RES 2.1");
  panels.AddPanel(2, "BOT 3.4");
  UseTcp("127.0.0.1", panels.Port(), &panels);
  // The bar beside "Log" shows each cycle from 0 to 100, never going back,
  // and goes away when the cycle ends.
  std::vector<int> shown;
  QObject::connect(Window().ProgressBar1, &QProgressBar::valueChanged,
                   [&](int value) { shown.push_back(value); });
  auto expect_bar_ran = [&] {
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << ::testing::PrintToString(shown);
    EXPECT_EQ(shown.front(), 0);
    EXPECT_EQ(shown.back(), 100);
    EXPECT_TRUE(Window().ProgressBar1->isHidden());
    shown.clear();
  };

  Window().Button1Click();
  EXPECT_FALSE(Window().Button1->isEnabled());
  EXPECT_FALSE(Window().ProgressBar1->isHidden());
  ASSERT_TRUE(WaitFor([&] { return Session().Timer1().Enabled(); }));
  ASSERT_TRUE(RunCycle());
  expect_bar_ran();

  const std::vector<DeviceRow>& rows = Session().Devices();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Name, "Panel Resultados (127.0.0.1)");
  EXPECT_EQ(rows[0].SpeedOrPort, panels.Port());
  EXPECT_EQ(rows[0].Build, "RES 2.1");
  EXPECT_FALSE(rows[0].Version.empty());
  EXPECT_EQ(rows[1].Name, "Panel Botes (127.0.0.1)");
  ASSERT_EQ(Window().ListView1->topLevelItemCount(), 2);
  EXPECT_EQ(Window().ListView1->topLevelItem(1)->text(4), "BOT 3.4");
  // The end of the cycle gives the controls back and closes the link.
  EXPECT_TRUE(Window().Button1->isEnabled());
  EXPECT_TRUE(Window().Edit1->isEnabled());
  EXPECT_FALSE(Link().HasTcpSocket());
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Ping]"), 2);
  EXPECT_TRUE(Contains(lines, "[Pong 1]") && Contains(lines, "[Pong 2]"));

  // "SERIE" chosen in the window: each row's own link kind decides.
  Window().RadioButton2->click();
  std::vector<std::string> reports;
  Session().OnPanelSent = [&](TDeviceSession* sender, TPanel panel, TPanelResult result) {
    EXPECT_EQ(sender, &Session());
    reports.push_back(std::to_string(static_cast<int>(panel)) +
                      (result == TPanelResult::Failed ? " failed" : " sent"));
  };
  auto image = std::make_shared<std::vector<uint8_t>>(320);
  for (size_t i = 0; i < image->size(); ++i) (*image)[i] = static_cast<uint8_t>(i * 7);
  Session().SetPayloads(image, nullptr);
  ASSERT_TRUE(Session().SendPanels(TPanelMode::Results));
  EXPECT_FALSE(Session().SendPanels(TPanelMode::Results));
  ASSERT_TRUE(RunCycle());
  EXPECT_EQ(reports, std::vector<std::string>{"1 sent"});
  expect_bar_ran();
  ASSERT_GE(results.Display().size(), image->size());
  EXPECT_TRUE(std::equal(image->begin(), image->end(), results.Display().begin()));
}

// A pseudo-terminal standing in for a serial port, named COM200 through the
// "Puertos" section of config.ini in the start folder.
class SearcherSerialTest : public SearcherLinkTest {
 protected:
  void SetUp() override {
    SearcherLinkTest::SetUp();
    WriteFile("config.ini", test::PuertosSection({{200, pty_.SlavePath()}}));
    ports_ = {"Emulated panel (COM200)"};
    rates_[200] = {9600, 19200, 38400};
  }
  void TearDown() override {
    if (window_) Session().CloseLink();
  }

  test::PtyPair pty_;
};

TEST_F(SearcherSerialTest, GivenPortAndRateOpenWithoutARateLine) {
  Session().OpenLink(TLinkKind::Serial, "200", "19200");
  const std::vector<std::string> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "[OK] COM200");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.rfind("{", 0) == 0; }),
            0);
  ASSERT_TRUE(Link().SerialLinkAlive());
  EXPECT_EQ(Link().SerialRate(), 19200);
  TComunicacionSerie* worker = Link().SerialWorker();
  EXPECT_EQ(worker->PuertoSerie(), 200);
  EXPECT_EQ(worker->DataBitsSerie(), 8);
  EXPECT_EQ(worker->ParitySerie(), 0);
  EXPECT_EQ(worker->StopBitsSerie(), 0);
}

TEST_F(SearcherSerialTest, TheSpeedListDecidesTheRateItsLogLineAndTheRateSearch) {
  EXPECT_EQ(Window().ComboBox1->currentText(), "COM200 - Emulated panel");
  Window().Button1Click();
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"{9600}", "[OK] COM200"}));
  EXPECT_EQ(Session().Cycle().Variables().RateIndex, 0);
  EXPECT_EQ(Link().SerialRate(), 9600);
  EXPECT_TRUE(Session().Timer1().Enabled());  // told at once that the link is open

  // A fixed rate opens at that rate alone.
  TLinkSettings settings = Window().LinkSettings();
  settings.Rate = "38400";
  TSearchRate rate = ChooseSearchRate(settings);
  EXPECT_EQ(rate.Rate, 38400);
  EXPECT_EQ(rate.RateIndex, -1);
  EXPECT_EQ(rate.LogLine, "{38400}");

  // "Auto" on a port of unknown rates tries one rate and steps no further.
  rates_.clear();
  Window().ListRates("COM200 - rates unknown");
  rate = ChooseSearchRate(Window().LinkSettings());
  EXPECT_EQ(rate.Rate, 9600);
  EXPECT_EQ(rate.RateIndex, -1);
  EXPECT_EQ(rate.LogLine, "{9600}");
}

}  // namespace
}  // namespace quinterra::testing
