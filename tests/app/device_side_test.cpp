// The main window joined to the device session through the search window,
// as the program joins them: what the session reports reaches the window.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTcpServer>

#include "app/searcher_panel_devices.h"
#include "devices/device_searcher.h"
#include "devices/searcher_dialogs.h"
#include "window_fixture.h"

using namespace std::chrono_literals;

namespace quinterra {
namespace {

class QuietSearcherDialogs : public ISearcherDialogs {
 public:
  void ShowInfo(QWidget*, const QString&) override {}
  void ShowError(QWidget*, const QString&) override {}
};

class DeviceSide : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    TDeviceSession::ForgetDevicesLoaded();
  }
  // Both windows as the program makes them, the main one shown.
  void Start() {
    WriteFile(InFolder("config.ini"), "[Config]\r\nPanelBotes=1\r\n");
    MakeForm();
    TFormDeviceSearcher::Environment environment;
    environment.StartFolder = Folder();
    environment.Dialogs = std::make_shared<QuietSearcherDialogs>();
    environment.PresentPorts = [] { return std::vector<std::string>(); };
    searcher_ = std::make_unique<TFormDeviceSearcher>(clock, environment);
    devices_ = std::make_unique<TSearcherPanelDevices>(*searcher_);
    form->AttachDevices(devices_.get());
    form->show();
  }
  void RunCycle() {
    for (int tick = 0; tick < 100 && Session().Running(); ++tick) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      clock.Advance(100ms);
    }
    ASSERT_FALSE(Session().Running());
  }
  TDeviceSession& Session() { return searcher_->Session(); }

  std::unique_ptr<TFormDeviceSearcher> searcher_;
  std::unique_ptr<TSearcherPanelDevices> devices_;
};

TEST_F(DeviceSide, FoundDevicesAndDeliveryFailuresReachTheMainWindow) {
  // A port nobody listens on: the link is refused.
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const std::string port = std::to_string(closed.serverPort());
  closed.close();
  Start();
  RunCycle();  // the start-up check: no device to ask
  EXPECT_FALSE(form->LabelSinEquipos->isHidden());
  Session().Rows().push_back({"2", "127.0.0.1", port, "", "", "Panel Botes (127.0.0.1)", "*"});
  Session().RowsChanged();  // as a search does, with its window still open
  EXPECT_TRUE(form->LabelSinEquipos->isHidden());

  form->PanelStateChanged(TPanel::Jackpots, true);
  form->SpeedButton3Click();
  RunCycle();
  EXPECT_EQ(form->LabelErrorPanelBotes->toolTip(),
            QString::fromUtf8("no se pudo abrir el enlace de «Panel Botes (127.0.0.1)»"));
}

}  // namespace
}  // namespace quinterra
