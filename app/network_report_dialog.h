#pragma once
// "Informe de la red": the network's report (network/network_report.h) from
// the office's record for a period chosen here (the last seven days at
// first): one line per shop with the share of the time with the version in
// force verified, under it each stretch of each panel, coloured by state;
// saved as CSV or as a printable PDF. The record is read when "Generar" is
// pressed, never created, on a thread of its own: a thousand shops take
// seconds, and the window keeps answering (and says how far it got).

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "network/network_report.h"

class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace quinterra {

class TNetworkReportDialog : public QDialog {
  Q_OBJECT
 public:
  // folder: the network's (quinterra-network init), where red.ini says
  // where the record is.
  explicit TNetworkReportDialog(std::string folder, QWidget* parent = nullptr);
  ~TNetworkReportDialog() override;

  // Starts reading the record for the chosen period; OnGenerated says when
  // it is done (false, with the reason shown, when it could not be read).
  void Generate();
  bool Generating() const { return worker_.joinable(); }
  std::function<void(bool generated)> OnGenerated;
  const TNetworkReport& Report() const { return report_; }
  // False, with the reason shown, when the file could not be written.
  bool SaveCsv(const QString& path);
  bool SavePdf(const QString& path);

  QDateTimeEdit* FromEdit = nullptr;
  QDateTimeEdit* ToEdit = nullptr;
  QPushButton* GenerateButton = nullptr;
  QPushButton* CsvButton = nullptr;
  QPushButton* PdfButton = nullptr;
  QTreeWidget* ShopsTree = nullptr;
  QLabel* SummaryLabel = nullptr;

 private:
  void Generated(TNetworkReport report, const std::string& failure);
  void Fill();
  void Say(const QString& text, bool failure);

  std::string folder_;
  TNetworkReport report_;
  bool generated_ = false;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
};

}  // namespace quinterra
