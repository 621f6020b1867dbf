// The office's window on a real network: the main window with its "Red"
// menu against the broker and two shops' agents with emulated panels.

#include <signal.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app/network_dialogs.h"
#include "app/network_menu.h"
#include "app/network_state_model.h"
#include "app/network_state_window.h"
#include "app/panel_picture.h"
#include "app/panels_view_window.h"
#include "network/office_client.h"
#include "panels/display_decode.h"
#include "tests/app/window_fixture.h"
#include "tests/e2e/sample_document.h"
#include "tests/network/network_fixture.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class OfficeWindowTest : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    office_ = folder_.File("oficina");
    std::filesystem::create_directories(office_);
    previous_ = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(office_));
    WriteFileAtomically(office_ + "/config.ini", "[Red]\r\nCarpeta=" + net_ + "\r\n");
  }
  void TearDown() override {
    form_.reset();
    QDir::setCurrent(previous_);
    NetworkTest::TearDown();
  }

  TForm1& Form() {
    TForm1Options options;
    options.admin_marker = office_ + "/no-marker";
    options.build_date = "May 18 2011";
    form_ = std::make_unique<TForm1>(dialogs_, timers_, options);
    form_->show();
    return *form_;
  }
  TNetworkMenu& Menu() { return *form_->NetworkMenu; }
  TShopsModel& Model() { return *Menu().Model(); }
  const TShopRow* ShopRow(const std::string& shop) {
    const int row = Model().RowOf(shop);
    return row < 0 ? nullptr : &Model().Row(row);
  }
  bool Looks(const std::string& shop, TShopLook look) {
    const TShopRow* row = ShopRow(shop);
    return row && LookOf(*row) == look;
  }
  QString Cell(const std::string& shop, int column, int role = Qt::DisplayRole) {
    return Model().index(Model().RowOf(shop), column).data(role).toString();
  }
  // The event loop runs until done holds or the time is up.
  bool Until(const std::function<bool()>& done, std::chrono::milliseconds wait = 20s) {
    const auto end = Clock::now() + wait;
    while (!done()) {
      if (Clock::now() > end) return false;
      Spin(20ms);
    }
    return true;
  }
  // Types the texts into the cells and publishes through the menu.
  void TypeAndPublish(const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) form_->CellSet.Cells[i].Text = texts[i];
    form_->DrawAllCells();
    Menu().PublishAction->trigger();
    ASSERT_TRUE(Menu().PublishDialog && Menu().PublishDialog->isVisible());
    Menu().PublishDialog->PublishButton->click();
  }
  QString PublishMessage() { return Menu().PublishDialog->MessageLabel->text(); }

  std::string office_;
  QString previous_;
  FakeDialogs dialogs_;
  // Real time: the office's client waits on the real broker.
  QtTimerFactory timers_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(OfficeWindowTest, PublishedFromTheWindowEveryRowTurnsGreenAndAKilledAgentsRowGrey) {
  for (const char* id : {"tienda-1", "tienda-2"}) StartAgent(AddShop(id));
  Form();
  ASSERT_TRUE(Menu().PublishAction->isEnabled());
  ASSERT_TRUE(Until([&] { return Menu().Client()->Link() == TOfficeLink::Ready; }));
  // The office has no panel devices, yet it types for the network.
  EXPECT_TRUE(form_->Image1->isVisible());
  EXPECT_TRUE(form_->Image2->isVisible());

  TypeAndPublish(DocumentA());
  EXPECT_NE(Menu().PublishDialog->FactsLabel->text().indexOf(QString::fromUtf8("Versión nueva: 1")), -1);
  EXPECT_NE(Menu().PublishDialog->FactsLabel->text().indexOf("Tiendas conocidas: 2"), -1);
  ASSERT_TRUE(Until([&] { return Model().VerifiedCount() == 2; })) << Model().Summary().toStdString();
  EXPECT_FALSE(Menu().PublishDialog->isVisible());
  for (const char* id : {"tienda-1", "tienda-2"}) {
    EXPECT_TRUE(Looks(id, TShopLook::Verified)) << id;
    EXPECT_EQ(Cell(id, TShopsModel::ConnectionColumn), QString::fromUtf8("en línea"));
    EXPECT_EQ(Cell(id, TShopsModel::VersionColumn), "1");
    EXPECT_EQ(Cell(id, TShopsModel::ResultsColumn), "verificado");
    EXPECT_EQ(Display(*shops_[id], TPanel::Results), e2e::ImagesOf(DocumentA()).results) << id;
  }
  Menu().StateAction->trigger();
  EXPECT_EQ(Menu().StateWindow->SummaryLabel->text(),
            QString::fromUtf8("2 de 2 tiendas muestran la versión 1 verificada"));
  // The bar followed the shops to the end, and the menu keeps the publication.
  ASSERT_TRUE(Until([&] { return form_->ProgressBar1->isHidden(); }, 2s));
  EXPECT_EQ(form_->ProgressBar1->value(), 100);
  EXPECT_TRUE(Menu().LastPublicationAction->text().startsWith(
      QString::fromUtf8("Última publicación: versión 1, ")))
      << Menu().LastPublicationAction->text().toStdString();

  shops_["tienda-1"]->Agent->Signal(SIGKILL);
  const auto killed = Clock::now();
  ASSERT_TRUE(Until([&] { return Looks("tienda-1", TShopLook::Offline); }, 10s));
  EXPECT_LT(Clock::now() - killed, 7500ms) << "within 1.5 x the 5 s keep-alive";
  EXPECT_TRUE(Cell("tienda-1", TShopsModel::ConnectionColumn).startsWith("desconectada desde "))
      << Cell("tienda-1", TShopsModel::ConnectionColumn).toStdString();
  EXPECT_TRUE(Looks("tienda-2", TShopLook::Verified));
  EXPECT_EQ(Menu().StateWindow->ShopAt(0), "tienda-1") << "the shop that needs a look first";
}

TEST_F(OfficeWindowTest, APanelStoringAWrongByteTurnsItsShopRedAndItsViewFramesTheCell) {
  StartAgent(AddShop("tienda-1"));
  StartAgent(AddShop("tienda-2", {"--corrupt-store", "65:4"}));
  Form();
  TypeAndPublish(DocumentA());
  ASSERT_TRUE(Until([&] {
    return Looks("tienda-2", TShopLook::Failed) && Looks("tienda-1", TShopLook::Verified);
  }));
  EXPECT_EQ(Cell("tienda-2", TShopsModel::ResultsColumn), "distinto");
  EXPECT_NE(Cell("tienda-2", TShopsModel::ShopColumn, Qt::ToolTipRole)
                .indexOf("el panel Resultados muestra otro contenido"),
            -1);

  // The cell that holds the wrong byte.
  const PanelImages sent = e2e::ImagesOf(DocumentA());
  Bytes stored = sent.results;
  stored[65] ^= 4;
  const std::vector<int> differing =
      DifferingCells(*DecodeResultsImage(stored), *DecodeResultsImage(sent.results));
  ASSERT_EQ(differing.size(), 1u);
  const TCasilla& cell = form_->CellSet.Cells[static_cast<size_t>(differing[0])];
  auto framed = [&] {
    return form_->PanelsView->Image1->Picture.pixel(cell.Left - 2, cell.Top + 12) ==
           qRgb(255, 255, 0);
  };

  Menu().StateAction->trigger();
  TNetworkStateWindow& state = *Menu().StateWindow;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&state));
  ASSERT_EQ(state.ShopAt(0), "tienda-2") << "red first";
  QTableView* table = state.ShopsTable;
  const QPoint first = table->visualRect(state.Proxy->index(0, 0)).center();
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, first);
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, first);
  ASSERT_TRUE(form_->PanelsView->isVisible());
  EXPECT_EQ(form_->PanelsView->ComboBox1->currentText(), "Tienda tienda-2");
  EXPECT_TRUE(framed());
  // The shop that is right shows no frame; nor does the typed document.
  Menu().ShowShopPanels("tienda-1");
  EXPECT_EQ(form_->PanelsView->ComboBox1->currentText(), "Tienda tienda-1");
  EXPECT_FALSE(framed());
}

TEST_F(OfficeWindowTest, APublicationThatCannotBeMadeSaysWhyAndPublishesNothing) {
  Form();
  ASSERT_TRUE(Until([&] { return Menu().Client()->Link() == TOfficeLink::Ready; }));
  const std::string key = net_ + "office-sign.key";
  std::filesystem::rename(key, key + ".aparte");
  TypeAndPublish(DocumentA());
  EXPECT_TRUE(PublishMessage().startsWith("No se ha publicado: ")) << PublishMessage().toStdString();
  EXPECT_NE(PublishMessage().indexOf("office-sign.key"), -1) << PublishMessage().toStdString();
  EXPECT_TRUE(Menu().PublishDialog->isVisible()) << "the operator reads why";
  std::filesystem::rename(key + ".aparte", key);

  // The folder's last version cannot be read: no version is guessed.
  const std::string kept = net_ + kPublishedVersionFile;
  std::filesystem::create_directory(kept);
  Menu().PublishDialog->PublishButton->click();
  ASSERT_TRUE(Until([&] { return !Menu().PublishDialog->Busy(); }, 5s));
  EXPECT_NE(PublishMessage().indexOf(QString::fromStdString(kept)), -1) << PublishMessage().toStdString();
  std::filesystem::remove(kept);

  StopBroker();
  ASSERT_TRUE(Until([&] { return Menu().Client()->Link() == TOfficeLink::Lost; }, 5s));
  Menu().Client()->PublishWait = 1500ms;
  Menu().PublishDialog->PublishButton->click();
  ASSERT_TRUE(Until([&] { return !Menu().PublishDialog->Busy(); }, 5s));
  EXPECT_NE(PublishMessage().indexOf(QString::fromStdString(
                "no se pudo conectar con el servidor 127.0.0.1:" + std::to_string(office_port_))),
            -1)
      << PublishMessage().toStdString();
  EXPECT_FALSE(ReadFileIfExists(net_ + kPublishedVersionFile)) << "no version was kept";
  EXPECT_FALSE(Menu().Client()->Fleet().HasDocument());
  // The server back, the old failure goes.
  StartBroker();
  ASSERT_TRUE(Until([&] { return Menu().Client()->Link() == TOfficeLink::Ready; }, 10s));
  EXPECT_EQ(PublishMessage(), "");
  EXPECT_TRUE(form_->ProgressBar1->isHidden());
}

}  // namespace
}  // namespace quinterra::test

int main(int argc, char** argv) {
  // Listed at build time too, where there is no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
