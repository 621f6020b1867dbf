// The office's side of the network in the main window, without a broker:
// the table of shops fed by a fleet, and the "Red" menu with its folder.

#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "app/network_dialogs.h"
#include "app/network_menu.h"
#include "app/network_state_model.h"
#include "app/panel_picture.h"
#include "network/names.h"
#include "network/network_folder.h"
#include "platform/file_io.h"
#include "tests/app/window_fixture.h"
#include "tests/e2e/sample_document.h"

namespace quinterra {
namespace {

class ShopsModelTest : public ::testing::Test {
 protected:
  ShopsModelTest() : fleet_("cadena", keys_.Public), model_(fleet_, [this] { return live_; }) {
    fleet_.Clock = [] { return int64_t{1'700'000'100}; };
  }

  std::string Publish(int64_t version) {
    TPublication p;
    p.Network = "cadena";
    p.Version = version;
    p.Published = 1'700'000'000;
    p.Expires = p.Published + 60;
    p.Items = e2e::VariedDocumentTexts(static_cast<int>(version));
    const std::string message = SignPublication(p, keys_.Secret);
    Say(DocumentTopic("cadena"), message);
    images_ = PublicationImages(p);
    return message;
  }
  void Say(const std::string& topic, const std::string& payload) {
    fleet_.Message(topic, payload);
    model_.Changed(topic);
  }
  // A shop's report on a document, both panels read back as the document.
  void Report(const std::string& shop, const std::string& document, int64_t version,
              const std::string& result = "verified", const std::string& reason = "") {
    TShopState s;
    s.Shop = shop;
    s.Network = "cadena";
    s.Time = 1'700'000'100;
    s.Version = version;
    s.AppliedVersion = result == "verified" ? version : version - 1;
    s.DocumentHash = DocumentHashOf(document);
    s.Result = result;
    s.Reason = reason;
    for (TShopPanel* panel : {&s.Results, &s.Jackpots}) panel->Status = TPanelStatus::Verified;
    s.Results.ReadBack = images_.results;
    s.Jackpots.ReadBack = images_.jackpots;
    if (result == "different") s.Results.Status = TPanelStatus::Different;
    Say(StateTopic("cadena", shop), StateJson(s));
  }
  QVariant Data(const std::string& shop, int column, int role = Qt::DisplayRole) {
    return model_.index(model_.RowOf(shop), column).data(role);
  }
  TShopLook Look(const std::string& shop) { return LookOf(model_.Row(model_.RowOf(shop))); }

  // Six shops, one of each look and an offline one seen in the snapshot.
  void SixShops() {
    const std::string old = Publish(6);
    Report("t-old", old, 6);
    const std::string latest = latest_ = Publish(7);
    Report("t-fine", latest, 7);
    Report("t-diff", latest, 7, "different", "un equipo guarda otros datos que los enviados");
    Report("t-refused", latest, 7, "refused", "la firma no es válida");
    Report("t-off", latest, 7);
    for (const char* shop : {"t-old", "t-fine", "t-diff", "t-refused", "t-silent"})
      Say(OnlineTopic("cadena", shop), "1");
    Say(OnlineTopic("cadena", "t-off"), "0");
    model_.Refresh();
  }

  TKeyPair keys_ = NewKeyPair();
  TFleet fleet_;
  bool live_ = false;
  TShopsModel model_;
  PanelImages images_;
  std::string latest_;
};

TEST_F(ShopsModelTest, EachRowSaysAndColoursWhatItsShopLastReported) {
  SixShops();
  ASSERT_EQ(model_.rowCount(), 6);
  EXPECT_EQ(Look("t-fine"), TShopLook::Verified);
  EXPECT_EQ(Look("t-old"), TShopLook::OnItsWay) << "an older version, on its way";
  EXPECT_EQ(Look("t-silent"), TShopLook::OnItsWay) << "connected, no report yet";
  EXPECT_EQ(Look("t-diff"), TShopLook::Failed);
  EXPECT_EQ(Look("t-refused"), TShopLook::Failed);
  EXPECT_EQ(Look("t-off"), TShopLook::Offline) << "its last report said verified";
  EXPECT_EQ(Data("t-diff", TShopsModel::Botes, Qt::ToolTipRole).toString(),
            "<qt>un equipo guarda otros datos que los enviados</qt>");
  // A shop's words are text, never markup.
  Report("t-refused", latest_, 7, "refused", "<b>" + std::string(300, 'x'));
  model_.Refresh();
  const QString tip = Data("t-refused", TShopsModel::Tienda, Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.startsWith("<qt>&lt;b&gt;xxx")) << tip.toStdString();
  EXPECT_LT(tip.size(), 230);
  EXPECT_EQ(Data("t-diff", TShopsModel::Resultados).toString(), "distinto");
  EXPECT_EQ(Data("t-old", TShopsModel::Version).toString(), "6");
  EXPECT_EQ(Data("t-silent", TShopsModel::Version).toString(), "");
  EXPECT_NE(Data("t-fine", TShopsModel::Tienda, Qt::BackgroundRole),
            Data("t-old", TShopsModel::Tienda, Qt::BackgroundRole));
  EXPECT_EQ(model_.Summary(), QString::fromUtf8("1 de 6 tiendas muestran la versión 7 verificada"));

  // Offline in the broker's snapshot: since when is unknown. Seen live: known.
  EXPECT_EQ(Data("t-off", TShopsModel::Conexion).toString(), "desconectada");
  live_ = true;
  Say(OnlineTopic("cadena", "t-fine"), "0");
  model_.Refresh();
  EXPECT_TRUE(Data("t-fine", TShopsModel::Conexion).toString().startsWith("desconectada desde "));
  EXPECT_EQ(Look("t-fine"), TShopLook::Offline);
  Say(OnlineTopic("cadena", "t-fine"), "1");
  model_.Refresh();
  EXPECT_EQ(Data("t-fine", TShopsModel::Conexion).toString(), QString::fromUtf8("en línea"));
}

TEST_F(ShopsModelTest, ReportsArrivingTogetherReachTheViewAsOneUpdate) {
  const std::string latest = Publish(1);
  for (int i = 0; i < 50; ++i) Say(OnlineTopic("cadena", "t" + std::to_string(i)), "1");
  model_.Refresh();
  ASSERT_EQ(model_.rowCount(), 50);
  QSignalSpy changed(&model_, &QAbstractItemModel::dataChanged);
  for (int i = 0; i < 50; ++i) Report("t" + std::to_string(i), latest, 1);
  EXPECT_EQ(changed.count(), 0) << "nothing before the batch";
  EXPECT_EQ(Look("t7"), TShopLook::OnItsWay);
  model_.Refresh();
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(model_.VerifiedCount(), 50);
}

TEST_F(ShopsModelTest, TheShopsThatNeedALookComeFirstUntilAColumnIsChosen) {
  SixShops();
  TShopsProxy proxy;
  proxy.setSourceModel(&model_);
  auto order = [&] {
    std::vector<std::string> shops;
    for (int i = 0; i < proxy.rowCount(); ++i)
      shops.push_back(proxy.index(i, 0).data().toString().toStdString());
    return shops;
  };
  EXPECT_EQ(order(), (std::vector<std::string>{"t-diff", "t-refused", "t-off", "t-old", "t-silent",
                                               "t-fine"}));
  proxy.SortByColumn(TShopsModel::Version, Qt::DescendingOrder);
  EXPECT_EQ(proxy.index(0, TShopsModel::Version).data().toString(), "7");
  EXPECT_EQ(proxy.index(1, TShopsModel::Version).data().toString(), "7");
  EXPECT_EQ(order().back(), "t-silent") << "no version sorts below any";
  proxy.setFilterFixedString("DISTINTO");
  EXPECT_EQ(order(), (std::vector<std::string>{"t-diff"}));
  proxy.setFilterFixedString("T-OF");
  EXPECT_EQ(order(), (std::vector<std::string>{"t-off"}));
}

TEST_F(ShopsModelTest, WithoutAValidDocumentTheSummarySaysSo) {
  Say(OnlineTopic("cadena", "t1"), "1");
  model_.Refresh();
  EXPECT_EQ(model_.Summary(), QString::fromUtf8("Ningún documento publicado; tiendas conocidas: 1"));
  Say(DocumentTopic("cadena"), "{}");
  model_.Refresh();
  EXPECT_TRUE(model_.Summary().startsWith(QString::fromUtf8("El documento publicado no es válido: ")));
}

// A network's folder, made once (its certificates take a while); its
// broker would be on port 1, where nothing answers.
class NetworkMenuTest : public WindowTest {
 protected:
  static void SetUpTestSuite() {
    folder_ = new QTemporaryDir;
    TNetworkInit init;
    init.Folder = NetworkFolder();
    init.Name = "cadena";
    init.Port = 1;
    ASSERT_EQ(InitNetwork(init), "");
  }
  static void TearDownTestSuite() { delete folder_; }
  static std::string NetworkFolder() { return folder_->path().toStdString() + "/red/"; }

  TNetworkMenu& Menu() { return *form->NetworkMenu; }
  static QTemporaryDir* folder_;
};
QTemporaryDir* NetworkMenuTest::folder_ = nullptr;

TEST_F(NetworkMenuTest, TheFolderIsChosenInTheMenuAndKeptBesideTheOtherSettings) {
  WriteFile(InFolder("config.ini"), "[Config]\r\nGuardado=1\r\n[Puertos]\r\nCOM1=/dev/pts/9\r\n");
  MakeForm();
  QStringList menus;
  for (QAction* menu : form->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus.indexOf("Red"), menus.indexOf("Comunicaciones") + 1);
  for (QAction* item : {Menu().PublicarEnLaRed1, Menu().EstadoDeLaRed1}) {
    EXPECT_FALSE(item->isEnabled());
    EXPECT_TRUE(item->toolTip().startsWith("Sin carpeta de la red")) << item->toolTip().toStdString();
  }
  EXPECT_TRUE(Menu().ConfigurarRed1->isEnabled());
  EXPECT_FALSE(form->Image3->isHidden()) << "grey: no devices and no network";

  Menu().ConfigurarRed1->trigger();
  TConfigureNetworkDialog& dialog = *Menu().ConfigureDialog;
  ASSERT_TRUE(dialog.isVisible());
  dialog.EditCarpeta->setText(QString::fromStdString(Folder()));
  dialog.BotonAceptar->click();
  EXPECT_TRUE(dialog.isVisible()) << "not a network's folder";
  EXPECT_NE(dialog.LabelMensaje->text().indexOf("red.ini"), -1);
  EXPECT_EQ(ReadFile(InFolder("config.ini")).find("[Red]"), std::string::npos);

  dialog.EditCarpeta->setText(QString::fromStdString(NetworkFolder()));
  dialog.BotonAceptar->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(ReadFile(InFolder("config.ini")),
            "[Config]\r\nGuardado=1\r\n[Puertos]\r\nCOM1=/dev/pts/9\r\n[Red]\r\nCarpeta=" +
                NetworkFolder() + "\r\n");
  EXPECT_TRUE(Menu().PublicarEnLaRed1->isEnabled());
  EXPECT_TRUE(Menu().EstadoDeLaRed1->isEnabled());
  EXPECT_TRUE(Menu().UltimaPublicacion1->isVisible());

  // The window's own settings leave the network's alone.
  form->SaveSettings();
  EXPECT_NE(ReadFile(InFolder("config.ini")).find("Carpeta=" + NetworkFolder()), std::string::npos);

  EXPECT_EQ(Menu().SetFolder(""), "");
  EXPECT_FALSE(Menu().PublicarEnLaRed1->isEnabled());
  EXPECT_FALSE(form->Image3->isHidden());
}

TEST_F(NetworkMenuTest, WithANetworkBothPicturesAreEditedWhileEnviarKeepsItsRules) {
  WriteFile(InFolder("config.ini"), "[Red]\r\nCarpeta=" + NetworkFolder() + "\r\n");
  ShowForm();
  EXPECT_FALSE(form->ResultsActive);
  EXPECT_TRUE(form->Image1->isVisible());
  EXPECT_TRUE(form->Image2->isVisible());
  form->ScrollBox1MouseDown(Qt::LeftButton, Cell(0).Left + 5, Cell(0).Top + 5);
  EXPECT_EQ(form->SelectedCell, &Cell(0));
  form->FormKeyUp(Qt::Key_Backtab, Qt::NoModifier);
  EXPECT_EQ(form->SelectedCell, &Cell(133)) << "the jackpots panel too";
  // The device check still decides what the office's own devices get.
  form->SetResultsActive(false);
  EXPECT_TRUE(form->Image1->isVisible());
  form->SpeedButton3Click();
  EXPECT_EQ(form->FontColor(form->SpeedButton3), kColorRed) << "no active panel: nothing sent";

  // "Publicar" ends editing as "ENVIAR" does: a value out of range is emptied.
  form->SelectCell(&Cell(0));
  form->Edit1->setText("50");
  Menu().PublicarEnLaRed1->trigger();
  EXPECT_EQ(Cell(0).Text, "");
  ASSERT_TRUE(Menu().PublishDialog->isVisible());
  EXPECT_EQ(Menu().PublishDialog->LabelDatos->text(),
            QString::fromUtf8("Red: cadena\nVersión nueva: 1\nTiendas conocidas: 0"));
}

TEST_F(NetworkMenuTest, AKeptFolderThatIsNoLongerANetworksSaysWhy) {
  WriteFile(InFolder("config.ini"), "[Red]\r\nCarpeta=" + InFolder("gone") + "\r\n");
  MakeForm();
  EXPECT_FALSE(Menu().PublicarEnLaRed1->isEnabled());
  EXPECT_NE(Menu().PublicarEnLaRed1->toolTip().indexOf("no existe"), -1)
      << Menu().PublicarEnLaRed1->toolTip().toStdString();
  EXPECT_TRUE(form->Image1->isHidden());
}

// A shop's bundle holds a network too, but no office may publish from it.
TEST_F(NetworkMenuTest, AShopsBundleIsNotTakenForTheOfficesFolder) {
  ASSERT_EQ(AddShop(NetworkFolder(), "tienda-9"), "");
  MakeForm();
  const std::string shop = NetworkFolder() + "shops/tienda-9";
  const std::string why = Menu().SetFolder(shop);
  EXPECT_NE(why.find("es la carpeta de la tienda «tienda-9», no la de la oficina"), std::string::npos) << why;
  EXPECT_EQ(ReadFileIfExists(InFolder("config.ini")).value_or("").find("[Red]"), std::string::npos);
  EXPECT_FALSE(Menu().PublicarEnLaRed1->isEnabled());
  // Kept from before, it is refused as well.
  WriteFile(InFolder("config.ini"), "[Red]\r\nCarpeta=" + shop + "\r\n");
  MakeForm();
  EXPECT_FALSE(Menu().PublicarEnLaRed1->isEnabled());
  EXPECT_NE(Menu().PublicarEnLaRed1->toolTip().indexOf("no la de la oficina"), -1)
      << Menu().PublicarEnLaRed1->toolTip().toStdString();
}

}  // namespace
}  // namespace quinterra
