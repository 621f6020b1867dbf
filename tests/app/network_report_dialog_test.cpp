// "Informe de la red" over a record built by hand in a network's folder:
// the shops and their stretches as the report makes them, the one that
// needs a look opened, and the files it saves.

#include <gtest/gtest.h>

#include <QDateTimeEdit>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

#include "app/network_report_dialog.h"
#include "history/history_open.h"
#include "network/network_report_csv.h"
#include "platform/file_io.h"
#include "tests/network/record_fixture.h"

namespace quinterra::test {
namespace {

QDateTime Local(double minute) {
  return QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(Minute(minute).time_since_epoch()).count());
}

class NetworkReportDialogTest : public ::testing::Test {
 protected:
  NetworkReportDialogTest() : net_(folder_.File("red") + "/") {
    std::filesystem::create_directories(net_);
    WriteFileAtomically(net_ + "red.ini", "[Red]\r\nNombre=cadena\r\n");
  }
  // tienda-a verified throughout; tienda-b's results panel fails from 30.
  void Record() {
    const std::unique_ptr<THistoryStore> store = OpenHistory(net_ + "historial.db");
    RecordBuilder record(*store);
    const TKeyPair key = NewKeyPair();
    const TSignedDocument v1 = SignedDocument(key, 1);
    record.At(0, RecorderEntry(office_outcome::kStart, {}, {}));
    record.At(0, RecorderEntry(office_outcome::kSynced, {}, {}));
    record.At(1, PublicationEntries(v1.Message, key.Public, "cadena", {}));
    for (const char* shop : {"tienda-a", "tienda-b"}) {
      record.At(1, PresenceEntry(shop, true, {}));
      record.At(1, ReportEntries(shop, VerifiedState(shop, v1), {}));
    }
    TShopState failing = VerifiedState("tienda-b", v1);
    failing.Result = "failed";
    failing.Reason = "un equipo del panel Resultados no responde o su enlace no se abre";
    failing.Results.Status = TPanelStatus::Failed;
    record.At(30, ReportEntries("tienda-b", failing, {}));
  }

  TempFolder folder_;
  std::string net_;
};

TEST_F(NetworkReportDialogTest, ListsEveryShopsStretchesAndSavesWhatItShows) {
  Record();
  TNetworkReportDialog dialog(net_);
  dialog.FromEdit->setDateTime(Local(2));
  dialog.ToEdit->setDateTime(Local(59));
  std::optional<bool> generated;
  dialog.OnGenerated = [&](bool done) { generated = done; };
  dialog.Generate();
  EXPECT_TRUE(dialog.Generating()) << "read on a thread of its own";
  ASSERT_TRUE(QTest::qWaitFor([&] { return generated.has_value(); }, 10000));
  ASSERT_TRUE(*generated) << dialog.SummaryLabel->text().toStdString();
  EXPECT_NE(dialog.SummaryLabel->text().indexOf("2 tiendas, 1 con la versión vigente"), -1)
      << dialog.SummaryLabel->text().toStdString();
  ASSERT_EQ(dialog.ShopsTree->topLevelItemCount(), 2);
  QTreeWidgetItem* a = dialog.ShopsTree->topLevelItem(0);
  QTreeWidgetItem* b = dialog.ShopsTree->topLevelItem(1);
  EXPECT_EQ(a->text(0), "tienda-a");
  EXPECT_EQ(a->text(5), "100,0 %");
  EXPECT_FALSE(a->isExpanded());
  EXPECT_EQ(b->text(5), "48,2 %");
  EXPECT_TRUE(b->isExpanded()) << "a shop that needs a look is open";
  ASSERT_EQ(b->childCount(), 3);
  EXPECT_EQ(b->child(1)->text(1), "Resultados");
  EXPECT_EQ(b->child(1)->text(5), "con fallos");
  EXPECT_EQ(b->child(1)->text(7), "un equipo del panel Resultados no responde o su enlace no se abre");
  EXPECT_EQ(b->child(1)->text(2), QString::fromStdString(LocalText(Minute(30), false)));

  const std::string csv = folder_.File("informe.csv"), pdf = folder_.File("informe.pdf");
  ASSERT_TRUE(dialog.SaveCsv(QString::fromStdString(csv)));
  EXPECT_EQ(ReadWholeFile(csv), ReportCsv(dialog.Report()));
  ASSERT_TRUE(dialog.SavePdf(QString::fromStdString(pdf)));
  const std::string bytes = ReadWholeFile(pdf);
  EXPECT_EQ(bytes.rfind("%PDF", 0), 0u);
  EXPECT_FALSE(dialog.SavePdf(QString::fromStdString(folder_.File("no/existe/informe.pdf"))));
  EXPECT_NE(dialog.SummaryLabel->text().indexOf("No se pudo guardar"), -1);
}

}  // namespace
}  // namespace quinterra::test
