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
  void TearDown() override {
    form.reset();
    devices_.reset();
    searcher_.reset();
    WindowTest::TearDown();
  }
  // Both windows as the program makes them, the main one shown.
  void Start(const std::string& equipos = "") {
    if (!equipos.empty()) WriteFile(InFolder("equipos.ini"), equipos);
    WriteFile(InFolder("config.ini"), "[Config]\r\nPanelBotes=1\r\n");
    MakeForm();
    TFormDeviceSearcher::Environment environment;
    environment.StartFolder = Folder();
    environment.Dialogs = std::make_shared<QuietSearcherDialogs>();
    environment.PresentPorts = [] { return std::vector<std::string>(); };
    environment.RandomSeed = 1;
    searcher_ = std::make_unique<TFormDeviceSearcher>(clock, environment);
    devices_ = std::make_unique<TSearcherPanelDevices>(*searcher_);
    form->AttachDevices(devices_.get());
    form->show();
  }
  TDeviceSession& Session() { return searcher_->Session(); }

  std::unique_ptr<TFormDeviceSearcher> searcher_;
  std::unique_ptr<TSearcherPanelDevices> devices_;
};

TEST_F(DeviceSide, ADeviceFoundBySearchingIsTheMainWindowsAtOnce) {
  Start();
  EXPECT_FALSE(form->LabelSinEquipos->isHidden());
  clock.Advance(500ms);  // the start-up check ends: no device to ask
  ASSERT_FALSE(Session().Running());
  DeviceRow row;
  row.Number = "2";
  row.LinkAddress = "127.0.0.1";
  row.SpeedOrPort = "10001";
  row.Name = "Panel Botes (127.0.0.1)";
  row.Selected = "*";
  Session().Rows().push_back(row);
  Session().RowsChanged();  // as a search does, with its window still open
  EXPECT_TRUE(form->LabelSinEquipos->isHidden());
  ASSERT_EQ(form->EquiposActivos1->actions().size(), 1);
  EXPECT_EQ(form->EquiposActivos1->actions()[0]->text(), "Panel Botes (127.0.0.1)");
  EXPECT_EQ(form->LabelMotivoBotes->text(),
            "Sin comprobar: marque de nuevo Comunicaciones > Actualizar > Panel Botes");
}

TEST_F(DeviceSide, ADeliveryNamesTheDeviceThatFailedItsPanel) {
  // A port nobody listens on: the link is refused.
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const quint16 port = closed.serverPort();
  closed.close();
  Start("[0]\r\nNombre=Panel Botes (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=" +
        std::to_string(port) + "\r\nNumDispositivo=2\r\nSelected=*\r\n");
  for (int tick = 0; tick < 100 && Session().Running(); ++tick) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    clock.Advance(100ms);
  }
  ASSERT_FALSE(Session().Running());
  EXPECT_EQ(form->LabelMotivoBotes->text(), QString::fromUtf8(
      "Sin respuesta: revise la conexión y marque de nuevo Actualizar > Panel Botes"));

  // Only a delivery's devices are reported; make the panel active to send.
  form->PanelStateChanged(TPanel::Jackpots, true);
  form->SpeedButton3Click();
  for (int tick = 0; tick < 100 && Session().Running(); ++tick) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    clock.Advance(100ms);
  }
  ASSERT_FALSE(Session().Running());
  EXPECT_EQ(form->LabelErrorPanelBotes->text(), "Error enviando panel");
  EXPECT_EQ(form->LabelErrorPanelBotes->toolTip(),
            QString::fromUtf8("no se pudo abrir el enlace de «Panel Botes (127.0.0.1)»"));
  EXPECT_EQ(form->LabelEstado->text(), QString::fromUtf8(
      "Panel Botes: no se pudo abrir el enlace de «Panel Botes (127.0.0.1)»"));
}

}  // namespace
}  // namespace quinterra
