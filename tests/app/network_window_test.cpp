// The office's side of the network in the main window, on the simulated
// clock with a broker of the tests' own: the table of shops, the "Red" menu
// with its folder, publishing from the window, and an office that has no
// panel devices of its own.

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>

#include <ctime>
#include <filesystem>

#include "app/network_dialogs.h"
#include "app/network_menu.h"
#include "app/network_report_dialog.h"
#include "app/network_state_model.h"
#include "app/network_state_window.h"
#include "app/panel_picture.h"
#include "network/names.h"
#include "network/network_folder.h"
#include "network/office_client.h"
#include "panels/document.h"
#include "platform/file_io.h"
#include "tests/app/window_fixture.h"
#include "tests/e2e/sample_document.h"
#include "tests/network/test_broker.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;
using test::TestBroker;

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// A network's folder with three shops, made once (its certificates take a
// while); its broker is the tests' own.
class NetworkFolder {
 public:
  static const std::string& Path() {
    static NetworkFolder made;
    return made.path_;
  }
  // The office's key, to sign as the office does.
  static TSigningKey Key() {
    return SigningKeyFromText(ReadWholeFile(Path() + "office-sign.key")).value();
  }
  // What an earlier test left in the folder goes.
  static void Forget() {
    for (const char* kept : {kPublishedVersionFile, kPublishedDocumentFile})
      std::filesystem::remove(Path() + kept);
  }

 private:
  NetworkFolder() : path_(folder_.path().toStdString() + "/red/") {
    TNetworkInit init;
    init.Folder = path_;
    init.Name = "cadena";
    init.Port = 1;  // the office's listener is the next one
    EXPECT_EQ(InitNetwork(init), "");
    for (const char* shop : {"t1", "t2", "t3"}) EXPECT_EQ(AddShop(path_, shop), "");
  }
  QTemporaryDir folder_;
  std::string path_;
};

// What a shop reports, as its agent would, about the document the broker
// holds: both panels verified and read back as the document's images.
TShopState Verified(const std::string& shop, const TFleet& fleet) {
  TShopState s;
  s.Shop = shop;
  s.Network = "cadena";
  s.Time = s.Checked = Now();
  s.Version = s.AppliedVersion = fleet.Document()->Version;
  s.DocumentHash = fleet.DocumentHash();
  s.Result = "verified";
  const PanelImages images = PublicationImages(*fleet.Document());
  s.Results.Status = s.Jackpots.Status = TPanelStatus::Verified;
  s.Results.Version = s.Jackpots.Version = s.Version;
  s.Results.ReadBack = images.results;
  s.Jackpots.ReadBack = images.jackpots;
  return s;
}

// --- the table of shops, over the office's client ---

class ShopsModelTest : public ::testing::Test {
 protected:
  ShopsModelTest() {
    NetworkFolder::Forget();
    std::string failure;
    client_ = TOfficeClient::Open(NetworkFolder::Path(), clock_, &failure,
                                  [this](const TMqttSettings& s) { return broker_.NewClient(s.ClientId); });
    model_ = std::make_unique<TShopsModel>(*client_, clock_);
    client_->OnShopChanged = [this](const std::string& shop) { model_->ShopChanged(shop); };
    client_->OnDocumentChanged = [this] { model_->DocumentChanged(); };
    client_->OnLinkChanged = [this] { model_->LinkChanged(); };
    EXPECT_TRUE(client_->Start(&failure)) << failure;
    Run(200ms);
  }

  void Run(std::chrono::milliseconds time) { clock_.Advance(time); }
  // A document signed by the office, retained on the broker.
  void Publish(int64_t version, int64_t published = Now(), int64_t lifetime = kDefaultLifetimeSeconds) {
    TPublication p;
    p.Network = "cadena";
    p.Version = version;
    p.Published = published;
    p.Expires = published + lifetime;
    p.Items = e2e::VariedDocumentTexts(static_cast<int>(version));
    broker_.Publish(DocumentTopic("cadena"), SignPublication(p, NetworkFolder::Key()), true);
    Run(200ms);
  }
  void Say(const TShopState& state, bool online = true) {
    broker_.Publish(OnlineTopic("cadena", state.Shop), online ? "1" : "0", true);
    broker_.Publish(StateTopic("cadena", state.Shop), StateJson(state), true);
    Run(200ms);
  }
  TShopState Verified(const std::string& shop) { return quinterra::Verified(shop, client_->Fleet()); }
  QString Data(const std::string& shop, int column, int role = Qt::DisplayRole) {
    return model_->index(model_->RowOf(shop), column).data(role).toString();
  }
  TShopLook Look(const std::string& shop) {
    return static_cast<TShopLook>(
        model_->index(model_->RowOf(shop), 0).data(TShopsModel::kLookRole).toInt());
  }

  SimulatedClock clock_;
  TestBroker broker_{clock_};
  std::unique_ptr<TOfficeClient> client_;
  std::unique_ptr<TShopsModel> model_;
};

TEST_F(ShopsModelTest, EachPanelShowsTheVersionItHoldsAndEachStateItsWordsColourAndTip) {
  Publish(7);
  Say(Verified("t1"));
  Publish(8);
  // Its results failed at version 8 and still show 7; its jackpots took 8.
  TShopState half = Verified("t1");
  half.AppliedVersion = 7;
  half.Result = "failed";
  half.Reason = "sin respuesta de «R»";
  half.Results.Status = TPanelStatus::Failed;
  half.Results.Version = 7;
  half.Results.ReadBack.reset();
  Say(half);
  EXPECT_EQ(Data("t1", TShopsModel::VersionColumn), "7");
  EXPECT_EQ(Data("t1", TShopsModel::ResultsColumn), "fallido, muestra la v7");
  EXPECT_EQ(Data("t1", TShopsModel::JackpotsColumn), "verificado");
  EXPECT_EQ(Look("t1"), TShopLook::Failed);
  EXPECT_NE(Data("t1", TShopsModel::ShopColumn, Qt::ToolTipRole).indexOf(QString::fromUtf8("sin respuesta de «R»")), -1);

  const struct {
    const char* state;
    TShopLook look;
    const char* tip;
    std::function<void(TShopState&)> change;
  } cases[] = {
      {"bien", TShopLook::Verified, "releídos y verificados", [](TShopState&) {}},
      {"sin comprobar", TShopLook::OnItsWay, "no relee sus paneles",
       [](TShopState& s) { s.CheckEvery = 60, s.Checked = s.Time - 1000; }},
      {"sin equipo", TShopLook::OnItsWay, "no tiene equipo",
       [](TShopState& s) {
         s.Result = "no_device";
         s.Jackpots.Status = TPanelStatus::NoDevice;
         s.Jackpots.ReadBack.reset();
       }},
      {"no puede guardar", TShopLook::OnItsWay, "no puede guardar la versión",
       [](TShopState& s) { s.Problem = "red-version.txt: disco lleno"; }},
      {"bien, restaurado", TShopLook::Verified, "restaurado a las 10:00: el panel Resultados",
       [](TShopState& s) { s.Restored = "restaurado a las 10:00: el panel Resultados estaba en blanco"; }},
  };
  for (const auto& c : cases) {
    TShopState state = Verified("t2");
    c.change(state);
    Say(state);
    EXPECT_EQ(Data("t2", TShopsModel::StateColumn), QString::fromUtf8(c.state)) << c.state;
    EXPECT_EQ(Look("t2"), c.look) << c.state;
    EXPECT_NE(Data("t2", TShopsModel::StateColumn, Qt::ToolTipRole).indexOf(QString::fromUtf8(c.tip)), -1)
        << c.state << ": " << Data("t2", TShopsModel::StateColumn, Qt::ToolTipRole).toStdString();
  }
  // The last control is the shop's check, on the office's clock.
  TShopState checked = Verified("t2");
  checked.Checked = checked.Time - 90;
  Say(checked);
  EXPECT_EQ(Data("t2", TShopsModel::LastCheckColumn),
            QDateTime::fromSecsSinceEpoch(Now() - 90).toString("HH:mm:ss"));

  // Two agents with one identity take turns.
  for (const char* instance : {"aaaa", "bbbb", "aaaa"}) {
    TShopState s = Verified("t3");
    s.Instance = instance;
    Say(s);
  }
  EXPECT_EQ(Data("t3", TShopsModel::StateColumn), "dos agentes");
  EXPECT_EQ(Look("t3"), TShopLook::Failed);

  // A document that has expired stays on the panels.
  Publish(9, Now() - 8 * 24 * 3600, 7 * 24 * 3600);
  Say(Verified("t1"));
  EXPECT_EQ(Data("t1", TShopsModel::StateColumn), "caducado");
  EXPECT_EQ(Look("t1"), TShopLook::OnItsWay);
}

TEST_F(ShopsModelTest, WithoutTheOfficesOwnConnectionNoRowIsNewsAndTheHeaderSaysWhatToCheck) {
  Publish(1);
  Say(Verified("t1"));
  EXPECT_EQ(Data("t1", TShopsModel::ConnectionColumn), QString::fromUtf8("en línea"));
  EXPECT_TRUE(model_->ConnectionProblem().isEmpty());
  broker_.SetUp(false);
  Run(200ms);
  const QString since = QString::fromStdString(ClockText(client_->LinkSince()));
  for (const char* shop : {"t1", "t2", "t3"}) {
    EXPECT_EQ(Data(shop, TShopsModel::ConnectionColumn),
              QString::fromUtf8("sin datos (la oficina no tiene conexión desde %1)").arg(since)) << shop;
    EXPECT_EQ(Look(shop), TShopLook::Offline) << "not the shop's fault";
  }
  EXPECT_TRUE(model_->ConnectionProblem().startsWith(
      QString::fromUtf8("La oficina no tiene conexión con el servidor 127.0.0.1:2 desde las ") + since))
      << model_->ConnectionProblem().toStdString();
  EXPECT_NE(model_->ConnectionProblem().indexOf(QString::fromUtf8("compruebe la red de esta oficina")), -1);
  broker_.SetUp(true);
  Run(200ms);
  EXPECT_EQ(Data("t1", TShopsModel::ConnectionColumn), QString::fromUtf8("en línea"));
  EXPECT_EQ(Look("t1"), TShopLook::Verified);
  // A shop seen going away, live, says since when.
  broker_.Publish(OnlineTopic("cadena", "t1"), "0", true);
  Run(200ms);
  EXPECT_TRUE(Data("t1", TShopsModel::ConnectionColumn).startsWith("desconectada desde "));
}

TEST_F(ShopsModelTest, ReportsArrivingTogetherReachTheViewAsOneUpdateAndSortAndFilterByTheirText) {
  Publish(1);
  const int shops = 200;
  for (int i = 0; i < shops; ++i) broker_.Publish(OnlineTopic("cadena", "s" + std::to_string(i)), "1", true);
  Run(200ms);
  ASSERT_EQ(model_->rowCount(), shops + 3);
  QSignalSpy changed(model_.get(), &QAbstractItemModel::dataChanged);
  for (int i = 0; i < shops; ++i) broker_.Publish(StateTopic("cadena", "s" + std::to_string(i)), StateJson(Verified("s" + std::to_string(i))), true);
  Run(50ms);
  EXPECT_EQ(changed.count(), 0) << "nothing before the batch";
  Run(100ms);
  EXPECT_EQ(changed.count(), 1) << "one run of neighbouring rows";
  EXPECT_EQ(model_->VerifiedCount(), shops);

  TShopsProxy proxy;
  proxy.setSourceModel(model_.get());
  // The shops that need a look first: the three never heard of, by name.
  EXPECT_EQ(proxy.index(0, 0).data().toString(), "t1");
  EXPECT_EQ(proxy.index(3, 0).data().toString(), "s0");
  proxy.SortByColumn(TShopsModel::VersionColumn, Qt::DescendingOrder);
  EXPECT_EQ(proxy.index(0, TShopsModel::VersionColumn).data().toString(), "1");
  EXPECT_EQ(proxy.index(shops + 2, 0).data().toString(), "t1") << "no version sorts below any, ties by name";
  proxy.SetFilterText("S19");
  EXPECT_EQ(proxy.rowCount(), 11) << "s19, s190-s199";
  proxy.SetFilterText(QString::fromUtf8("SIN NOTICIAS"));
  EXPECT_EQ(proxy.rowCount(), 3);
}

TEST_F(ShopsModelTest, AShopsWordsAreShownAsTextNeverAsMarkup) {
  Publish(1);
  TShopState refused = Verified("t1");
  refused.Result = "refused";
  refused.Reason = "<b>" + std::string(300, 'x');
  Say(refused);
  const QString tip = Data("t1", TShopsModel::ShopColumn, Qt::ToolTipRole);
  EXPECT_NE(tip.indexOf("&lt;b&gt;xxx"), -1) << tip.toStdString();
  EXPECT_EQ(tip.indexOf("<b>"), -1);
  EXPECT_LT(tip.size(), 330);
}

// --- the "Red" menu in the main window ---

// A panel side that knows no device, as an office's.
class NoDevices : public IPanelDevices {
 public:
  void AttachReports(TForm1& form) override { form_ = &form; }
  void LoadDevices() override {
    form_->ClearActiveDevices();
    form_->UpdateActiveDevicesMenu();
  }
  void ShowSearchWindow() override {}
  void SetPayloads(PanelPayload, PanelPayload) override {}
  bool SendPanels(TPanelMode) override { return false; }
  void CheckPanels(TPanelMode) override {}
  void SetVerifyAfterWrite(bool) override {}
  bool ReadPanels(TPanelMode) override { return false; }
  void SetDeviceSelected(int, bool) override {}

 private:
  TForm1* form_ = nullptr;
};

class OfficeWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    NetworkFolder::Forget();
    WriteFileAtomically(InFolder("sorteo.ltr"), FormatDocument(e2e::FilledDocumentTexts()));
  }
  // The window of an office: the network set, the document reopened, no
  // device of its own.
  TForm1& Office(const std::string& more_settings = "") {
    WriteFile(InFolder("config.ini"), "[Config]\r\nFileName=" + InFolder("sorteo.ltr") +
                                          "\r\nPanelResultados=1\r\nPanelBotes=1\r\n" + more_settings);
    ShowForm(Options());
    form->AttachDevices(&devices_);
    Run(200ms);
    return *form;
  }
  TForm1Options Options() {
    TForm1Options options;
    options.network_transports = [this](const TMqttSettings& s) {
      std::unique_ptr<TestBroker::Client> client = broker_.NewClient(s.ClientId);
      office_transport_ = client.get();
      return client;
    };
    return options;
  }
  std::string NetworkSetting() const { return "[Red]\r\nCarpeta=" + NetworkFolder::Path() + "\r\n"; }
  void Run(std::chrono::milliseconds time) {
    clock.Advance(time);
    QCoreApplication::processEvents();
  }
  TNetworkMenu& Menu() { return *form->NetworkMenu; }
  TPublishDialog& Dialog() { return *Menu().PublishDialog; }
  QString Status() { return form->LabelEstado->text(); }
  QString NetworkLine() { return form->NetworkStatusLabel->text(); }
  void Report(const TShopState& state, bool online = true) {
    broker_.Publish(OnlineTopic("cadena", state.Shop), online ? "1" : "0", true);
    if (!state.Shop.empty()) broker_.Publish(StateTopic("cadena", state.Shop), StateJson(state), true);
    Run(200ms);
  }
  const TFleet& Fleet() { return Menu().Client()->Fleet(); }

  TestBroker broker_{clock};
  TestBroker::Client* office_transport_ = nullptr;
  NoDevices devices_;
};

TEST_F(OfficeWindowTest, AnOfficeWithoutDevicesTypesOnBothPicturesDrawnAsTheyAreWithDevices) {
  // What a shop's window shows once its devices answered.
  WriteFile(InFolder("config.ini"), "[Config]\r\nFileName=" + InFolder("sorteo.ltr") + "\r\n");
  TForm1 shop(dialogs, clock, Options());
  shop.SetResultsActive(true);
  shop.SetJackpotsActive(true);

  Office(NetworkSetting());
  for (TPanelPicture* picture : {form->Image1, form->Image2}) EXPECT_TRUE(picture->isVisible());
  EXPECT_TRUE(form->Image3->isHidden());
  EXPECT_EQ(form->Image1->Picture, shop.Image1->Picture) << "the reopened document drawn";
  EXPECT_EQ(form->Image2->Picture, shop.Image2->Picture);
  // Nothing says to look for devices.
  for (QLabel* label : {form->LabelMotivoResultados, form->LabelMotivoBotes, form->LabelSinEquipos})
    EXPECT_TRUE(label->isHidden()) << label->objectName().toStdString() << ": " << label->text().toStdString();

  // Typed values are drawn where they are typed.
  const QImage before = form->Image1->Picture;
  for (TForm1* window : {form.get(), &shop}) {
    window->SelectCell(&window->CellSet.Cells[1]);
    window->Edit1->setText("7");
    window->SelectCell(&window->CellSet.Cells[2]);
    window->Edit1->setText("");
    window->SelectCell(nullptr);
  }
  EXPECT_NE(form->Image1->Picture, before);
  EXPECT_EQ(form->Image1->Picture, shop.Image1->Picture);

  // "ENVIAR" points to publishing.
  form->SpeedButton3Click();
  EXPECT_EQ(Status(), QString::fromUtf8(
                          "Sin equipos en esta oficina: publique en la red con Red > Publicar en la red (F4)"));
  EXPECT_EQ(form->FontColor(form->SpeedButton3), 0xFFFFFF) << "nothing failed";

  // Without the network the pictures turn grey again and say why.
  EXPECT_EQ(Menu().SetFolder(""), "");
  EXPECT_TRUE(form->Image1->isHidden());
  EXPECT_FALSE(form->LabelSinEquipos->isVisible() && form->LabelMotivoResultados->isHidden());
  form->SpeedButton3Click();
  EXPECT_EQ(Status(), QString::fromUtf8("No se envió nada: ningún panel marcado está activo"));
}

TEST_F(OfficeWindowTest, PublishingNamesTheShopsAwayCanBeCalledOffAndKeepsALiveLine) {
  Office(NetworkSetting());
  ASSERT_EQ(Menu().Client()->Link(), TOfficeLink::Ready);
  broker_.Publish(OnlineTopic("cadena", "t2"), "0", true);
  broker_.Publish(OnlineTopic("cadena", "t3"), "1", true);
  Run(200ms);
  Menu().PublishAction->trigger();
  ASSERT_TRUE(Dialog().isVisible());
  EXPECT_EQ(Dialog().FactsLabel->text(), QString::fromUtf8("Red: cadena\nVersión nueva: 1\nTiendas conocidas: 3"));
  EXPECT_EQ(Dialog().OfflineLabel->text(),
            QString::fromUtf8("2 tiendas sin conexión: recibirán la versión al volver\nt1, t2"))
      << "t1 never heard of, t2 gone";

  // Waiting for a server that is away, it can be called off.
  broker_.SetUp(false);
  Run(100ms);
  Dialog().PublishButton->click();
  ASSERT_TRUE(Dialog().Busy());
  ASSERT_TRUE(Dialog().CancelButton->isEnabled());
  Dialog().CancelButton->click();
  EXPECT_FALSE(Dialog().Busy());
  EXPECT_EQ(Dialog().MessageLabel->text(), QString::fromUtf8("Publicación cancelada: no se ha publicado nada"));
  // Or it runs out of time; the failure goes once the server is back.
  Dialog().PublishButton->click();
  const std::string attempt = "sin conexión con el servidor 127.0.0.1:2: el servidor rechaza la conexión; nuevo intento en 4 s";
  office_transport_->OnLog(attempt);
  EXPECT_EQ(Dialog().MessageLabel->text(), QString::fromUtf8("Publicando… esperando al servidor: ") + QString::fromStdString(attempt));
  Run(61s);
  EXPECT_TRUE(Dialog().MessageLabel->text().startsWith(
      QString::fromUtf8("No se ha publicado: no se pudo conectar con el servidor 127.0.0.1:2")))
      << Dialog().MessageLabel->text().toStdString();
  broker_.SetUp(true);
  Run(200ms);
  EXPECT_EQ(Dialog().MessageLabel->text(), "");
  EXPECT_TRUE(broker_.LogOf(DocumentTopic("cadena")).empty()) << "nothing was published";

  Dialog().PublishButton->click();
  Run(200ms);
  EXPECT_FALSE(Dialog().isVisible());
  ASSERT_TRUE(Fleet().Document());
  const QString published = QString::fromStdString(ClockText(Fleet().Document()->Published));
  EXPECT_EQ(NetworkLine(),
            QString::fromUtf8("Versión 1 publicada a las %1 · 0 de 3 tiendas verificadas").arg(published));
  Report(Verified("t1", Fleet()));
  EXPECT_EQ(NetworkLine(),
            QString::fromUtf8("Versión 1 publicada a las %1 · 1 de 3 tiendas verificadas").arg(published));
  EXPECT_FALSE(form->ProgressBar1->isHidden());
  Report(Verified("t3", Fleet()));
  EXPECT_NE(NetworkLine().indexOf("2 de 3 tiendas verificadas"), -1);
  EXPECT_TRUE(form->ProgressBar1->isHidden()) << "every shop online has it; t2 takes it when back";
  Report(Verified("t2", Fleet()));
  EXPECT_NE(NetworkLine().indexOf("3 de 3 tiendas verificadas"), -1);

  // Opened again, the dialog starts clean and counts above what is there.
  Menu().PublishAction->trigger();
  EXPECT_EQ(Dialog().MessageLabel->text(), "");
  EXPECT_NE(Dialog().FactsLabel->text().indexOf(QString::fromUtf8("Versión nueva: 2")), -1);
  EXPECT_TRUE(Dialog().OfflineLabel->isHidden()) << Dialog().OfflineLabel->text().toStdString();
}

TEST_F(OfficeWindowTest, TheWindowGivesABrokerThatLostItTheKeptPublicationAndSaysWhatItCouldNotKeep) {
  Office(NetworkSetting());
  Menu().PublishAction->trigger();
  Dialog().PublishButton->click();
  Run(200ms);
  const std::string kept = ReadWholeFile(NetworkFolder::Path() + kPublishedDocumentFile);
  EXPECT_EQ(ReadWholeFile(NetworkFolder::Path() + kPublishedVersionFile), "1\n");
  // The broker loses its data; the office's connection comes back to it.
  broker_.Retained.clear();
  broker_.SetUp(false);
  Run(100ms);
  broker_.SetUp(true);
  Run(200ms);
  EXPECT_EQ(broker_.Retained[DocumentTopic("cadena")], kept) << "the same bytes";
  EXPECT_EQ(Status(), QString::fromUtf8("el servidor había perdido la versión 1: publicada de nuevo"));

  // A version the folder cannot keep is said, and the next counts up.
  std::filesystem::remove(NetworkFolder::Path() + kPublishedVersionFile);
  std::filesystem::create_symlink("/proc/version", NetworkFolder::Path() + kPublishedVersionFile);
  Menu().PublishAction->trigger();
  Dialog().PublishButton->click();
  Run(200ms);
  EXPECT_TRUE(Status().startsWith(QString::fromUtf8("publicada la versión 2, pero no se pudo guardar: ")))
      << Status().toStdString();
  EXPECT_TRUE(Dialog().isVisible()) << "it stays to be read";
  std::filesystem::remove(NetworkFolder::Path() + kPublishedVersionFile);
  EXPECT_EQ(Menu().Client()->NextVersion(), 3);
}

TEST_F(OfficeWindowTest, TheFolderIsChosenInTheMenuAndKeptBesideTheOtherSettings) {
  WriteFile(InFolder("config.ini"), "[Config]\r\nGuardado=1\r\n[Puertos]\r\nCOM1=/dev/pts/9\r\n");
  MakeForm(Options());
  QStringList menus;
  for (QAction* menu : form->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus.indexOf("Red"), menus.indexOf("Comunicaciones") + 1);
  for (QAction* item : {Menu().PublishAction, Menu().StateAction}) {
    EXPECT_FALSE(item->isEnabled());
    EXPECT_TRUE(item->toolTip().startsWith("Sin carpeta de la red")) << item->toolTip().toStdString();
  }
  EXPECT_FALSE(form->Image3->isHidden()) << "grey: no devices and no network";

  Menu().ConfigureAction->trigger();
  TConfigureNetworkDialog& dialog = *Menu().ConfigureDialog;
  ASSERT_TRUE(dialog.isVisible());
  dialog.FolderEdit->setText(QString::fromStdString(Folder()));
  dialog.AcceptButton->click();
  EXPECT_TRUE(dialog.isVisible()) << "not a network's folder";
  EXPECT_NE(dialog.MessageLabel->text().indexOf("red.ini"), -1);
  EXPECT_EQ(ReadFile(InFolder("config.ini")).find("[Red]"), std::string::npos);

  dialog.FolderEdit->setText(QString::fromStdString(NetworkFolder::Path()));
  dialog.AcceptButton->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(ReadFile(InFolder("config.ini")),
            "[Config]\r\nGuardado=1\r\n[Puertos]\r\nCOM1=/dev/pts/9\r\n[Red]\r\nCarpeta=" +
                NetworkFolder::Path() + "\r\n");
  EXPECT_TRUE(Menu().PublishAction->isEnabled());
  EXPECT_TRUE(Menu().LastPublicationAction->isVisible());
  // "Informe…" opens the report of the office's record.
  ASSERT_TRUE(Menu().ReportAction->isEnabled());
  Menu().ReportAction->trigger();
  EXPECT_TRUE(form->findChild<TNetworkReportDialog*>()) << "Red > Informe… opens the report";
  EXPECT_FALSE(form->Image1->isHidden()) << "the office types on the pictures at once";
  // The window's own settings leave the network's alone.
  form->SaveSettings();
  EXPECT_NE(ReadFile(InFolder("config.ini")).find("Carpeta=" + NetworkFolder::Path()), std::string::npos);

  // A kept folder that is no longer a network's says why.
  WriteFile(InFolder("config.ini"), "[Red]\r\nCarpeta=" + InFolder("gone") + "\r\n");
  MakeForm(Options());
  EXPECT_FALSE(Menu().PublishAction->isEnabled());
  EXPECT_NE(Menu().PublishAction->toolTip().indexOf("no existe"), -1)
      << Menu().PublishAction->toolTip().toStdString();
  EXPECT_TRUE(form->Image1->isHidden());
}

// A shop's bundle holds a network too, but no office may publish from it.
TEST_F(OfficeWindowTest, AShopsBundleIsNotTakenForTheOfficesFolder) {
  const std::string shop = NetworkFolder::Path() + "shops/t1";
  MakeForm(Options());
  const std::string why = Menu().SetFolder(shop);
  EXPECT_NE(why.find("es la carpeta de la tienda «t1», no la de la oficina"), std::string::npos) << why;
  EXPECT_EQ(ReadFileIfExists(InFolder("config.ini")).value_or("").find("[Red]"), std::string::npos);
  EXPECT_FALSE(Menu().PublishAction->isEnabled());
  // Kept from before, it is refused as well.
  WriteFile(InFolder("config.ini"), "[Red]\r\nCarpeta=" + shop + "\r\n");
  MakeForm(Options());
  EXPECT_FALSE(Menu().PublishAction->isEnabled());
  EXPECT_NE(Menu().PublishAction->toolTip().indexOf("no la de la oficina"), -1)
      << Menu().PublishAction->toolTip().toStdString();
}

}  // namespace
}  // namespace quinterra
