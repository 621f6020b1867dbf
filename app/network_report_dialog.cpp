#include "app/network_report_dialog.h"

#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "app/network_report_pdf.h"
#include "history/history_database.h"
#include "history/history_store.h"
#include "history/sql_connection.h"
#include "network/bundle.h"
#include "network/network_report_csv.h"
#include "network/office_record.h"
#include "network/office_client.h"
#include "platform/file_io.h"
#include "platform/profile_file.h"

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString Local(TSystemTime time) { return Q(LocalText(time, false)); }

TSystemTime TimeOf(const QDateTime& moment) {
  return TSystemTime(std::chrono::milliseconds(moment.toMSecsSinceEpoch()));
}

enum Column { ShopColumn, PanelColumn, FromColumn, ToColumn, DurationColumn, StateColumn, VersionColumn,
              ReasonColumn, ColumnCount };

}  // namespace

TNetworkReportDialog::TNetworkReportDialog(std::string folder, QWidget* parent)
    : QDialog(parent), folder_(std::move(folder)) {
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  setWindowTitle("Informe de la red");
  auto* layout = new QVBoxLayout(this);
  auto* period = new QHBoxLayout;
  const QDateTime now = QDateTime::currentDateTime();
  FromEdit = new QDateTimeEdit(now.addDays(-7));
  ToEdit = new QDateTimeEdit(now);
  for (QDateTimeEdit* edit : {FromEdit, ToEdit}) {
    edit->setDisplayFormat("dd/MM/yyyy HH:mm");
    edit->setCalendarPopup(true);
  }
  FromEdit->setObjectName("FromEdit");
  ToEdit->setObjectName("ToEdit");
  GenerateButton = new QPushButton("Generar");
  GenerateButton->setObjectName("GenerateButton");
  period->addWidget(new QLabel("Desde"));
  period->addWidget(FromEdit);
  period->addWidget(new QLabel("Hasta"));
  period->addWidget(ToEdit);
  period->addWidget(GenerateButton);
  period->addStretch();
  layout->addLayout(period);

  SummaryLabel = new QLabel;
  SummaryLabel->setObjectName("SummaryLabel");
  SummaryLabel->setTextFormat(Qt::PlainText);
  SummaryLabel->setWordWrap(true);
  layout->addWidget(SummaryLabel);

  ShopsTree = new QTreeWidget;
  ShopsTree->setObjectName("ShopsTree");
  ShopsTree->setColumnCount(ColumnCount);
  ShopsTree->setHeaderLabels({"Tienda", "Panel", "Desde", "Hasta", "Duración", "Estado", "Versión", "Motivo"});
  ShopsTree->setUniformRowHeights(true);
  ShopsTree->header()->setStretchLastSection(true);
  const int widths[] = {130, 90, 120, 120, 80, 110, 60};
  for (int column = 0; column < ReasonColumn; ++column) ShopsTree->setColumnWidth(column, widths[column]);
  layout->addWidget(ShopsTree);

  auto* buttons = new QHBoxLayout;
  CsvButton = new QPushButton("Guardar CSV…");
  CsvButton->setObjectName("CsvButton");
  PdfButton = new QPushButton("Guardar PDF…");
  PdfButton->setObjectName("PdfButton");
  auto* close = new QPushButton("Cerrar");
  for (QPushButton* button : {CsvButton, PdfButton}) button->setEnabled(false);
  buttons->addWidget(CsvButton);
  buttons->addWidget(PdfButton);
  buttons->addStretch();
  buttons->addWidget(close);
  layout->addLayout(buttons);
  resize(1000, 560);

  connect(GenerateButton, &QPushButton::clicked, this, [this] { Generate(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(CsvButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Guardar el informe", "informe-red.csv",
                                                      "CSV (*.csv)");
    if (!path.isEmpty()) SaveCsv(path);
  });
  connect(PdfButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Guardar el informe", "informe-red.pdf",
                                                      "PDF (*.pdf)");
    if (!path.isEmpty()) SavePdf(path);
  });
}

TNetworkReportDialog::~TNetworkReportDialog() {
  // The reader stops after the shop it is on.
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void TNetworkReportDialog::Say(const QString& text, bool failure) {
  SummaryLabel->setText(text);
  SummaryLabel->setStyleSheet(failure ? "color: #a00000;" : "");
}

void TNetworkReportDialog::Generate() {
  if (Generating()) return;
  generated_ = false;
  CsvButton->setEnabled(false);
  PdfButton->setEnabled(false);
  ShopsTree->clear();
  const TOfficeRecordPlace place = OfficeRecordPlace(folder_);
  auto refuse = [this](const QString& why) {
    Say(why, true);
    if (OnGenerated) OnGenerated(false);
  };
  if (place.Where.rfind("postgres", 0) != 0 && !std::filesystem::exists(place.Where))
    return refuse(QString("No existe el registro de la red %1: ¿está en marcha quinterra-network record?")
                      .arg(Q(place.Where)));
  const TSystemTime from = TimeOf(FromEdit->dateTime());
  // The minute shown is taken in whole.
  const TSystemTime to = TimeOf(ToEdit->dateTime()) + std::chrono::minutes(1);
  if (to <= from) return refuse("«Hasta» es anterior a «Desde».");
  GenerateButton->setEnabled(false);
  Say("Leyendo el registro…", false);
  const std::string name = TProfileFile(folder_ + kBundleIni).ReadString("Red", "Nombre", "");
  const std::vector<std::string> known = ShopsOfFolder(folder_);
  cancel_ = false;
  worker_ = std::thread([this, where = place.Where, name, known, from, to] {
    TNetworkReport report;
    std::string failure;
    try {
      const std::unique_ptr<THistoryStore> store = OpenHistoryDatabase(where);
      report = ReadNetworkReport(*store, name, known, from, to, [this](size_t done, size_t total) {
        if (done % 50 == 0)
          QMetaObject::invokeMethod(this, [this, done, total] {
            Say(QString("Leyendo el registro: %1 de %2 tiendas…").arg(done).arg(total), false);
          }, Qt::QueuedConnection);
        return !cancel_;
      });
    } catch (const TSqlError& error) {
      failure = error.what();
    }
    QMetaObject::invokeMethod(this, [this, report = std::move(report), failure]() mutable {
      Generated(std::move(report), failure);
    }, Qt::QueuedConnection);
  });
}

void TNetworkReportDialog::Generated(TNetworkReport report, const std::string& failure) {
  if (worker_.joinable()) worker_.join();
  GenerateButton->setEnabled(true);
  if (!failure.empty()) {
    Say(QString("No se pudo leer el registro: %1").arg(Q(failure)), true);
    if (OnGenerated) OnGenerated(false);
    return;
  }
  report_ = std::move(report);
  generated_ = true;
  Fill();
  CsvButton->setEnabled(true);
  PdfButton->setEnabled(true);
  if (OnGenerated) OnGenerated(true);
}

void TNetworkReportDialog::Fill() {
  int fine = 0;
  for (const TShopReport& shop : report_.Shops) fine += shop.VerifiedShare() >= 0.99;
  Say(QString("Red «%1», del %2 al %3: %4 tiendas, %5 con la versión vigente verificada el 99 % del "
              "tiempo o más.")
          .arg(Q(report_.Network), Local(report_.From), Local(report_.To))
          .arg(report_.Shops.size())
          .arg(fine),
      false);
  ShopsTree->setUpdatesEnabled(false);
  for (const TShopReport& shop : report_.Shops) {
    auto* top = new QTreeWidgetItem(ShopsTree);
    top->setText(ShopColumn, Q(shop.Shop));
    top->setText(StateColumn, Q(ShareText(shop.VerifiedShare())));
    top->setText(ReasonColumn, Q(ShareSentence(shop.VerifiedShare())));
    for (const TPanelReport* panel : {&shop.Results, &shop.Jackpots}) {
      for (const TReportSegment& s : panel->Segments) {
        auto* item = new QTreeWidgetItem(top);
        item->setText(PanelColumn, PanelTitle(panel->Panel));
        item->setText(FromColumn, Local(s.From));
        item->setText(ToColumn, Local(s.To));
        item->setText(DurationColumn,
                      Q(DurationText(std::chrono::duration_cast<std::chrono::milliseconds>(s.To - s.From))));
        item->setText(StateColumn, ReportStateText(s.State));
        item->setBackground(StateColumn, ReportStateColour(s.State));
        if (s.Version) item->setText(VersionColumn, QString::number(s.Version));
        item->setText(ReasonColumn, Q(s.Reason));
        item->setToolTip(ReasonColumn, Q(s.Reason));
      }
    }
    // The shops that need a look open.
    top->setExpanded(shop.VerifiedShare() < 0.99);
  }
  ShopsTree->setUpdatesEnabled(true);
}

bool TNetworkReportDialog::SaveCsv(const QString& path) {
  if (!generated_) return false;
  try {
    WriteFileAtomically(path.toStdString(), ReportCsv(report_));
  } catch (const FileError& error) {
    Say(QString("No se pudo guardar el informe: %1").arg(error.what()), true);
    return false;
  }
  return true;
}

bool TNetworkReportDialog::SavePdf(const QString& path) {
  if (!generated_) return false;
  std::string failure;
  if (!WriteReportPdf(report_, path.toStdString(), &failure)) {
    Say(QString("No se pudo guardar el informe: %1").arg(Q(failure)), true);
    return false;
  }
  return true;
}

}  // namespace quinterra
