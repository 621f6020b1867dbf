// quinterra-network-report --network DIR [--from UTC] [--to UTC] (--csv FILE | --pdf FILE):
// the network's report from the office's record, as quinterra-send
// --network-report asks for it (the dates already in UTC). A program of its
// own, so that quinterra-send loads neither libpq nor Qt's graphics.

#include <QGuiApplication>

#include <filesystem>
#include <iostream>
#include <memory>

#include "app/network_report_pdf.h"
#include "history/history_database.h"
#include "history/history_store.h"
#include "history/sql_connection.h"
#include "network/bundle.h"
#include "network/network_report.h"
#include "network/network_report_csv.h"
#include "network/office_record.h"
#include "network/office_client.h"
#include "platform/file_io.h"
#include "platform/profile_file.h"

namespace {

using namespace quinterra;

const char kProgram[] = "quinterra-send";

int Fail(const std::string& why, int status) {
  std::cerr << kProgram << ": " << why << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string network, from, to, csv, pdf;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Fail("falta el valor de " + option, 2);
    const std::string value = argv[++i];
    if (option == "--network") network = value;
    else if (option == "--from") from = value;
    else if (option == "--to") to = value;
    else if (option == "--csv") csv = value;
    else if (option == "--pdf") pdf = value;
    else return Fail("opción desconocida: " + option, 2);
  }
  if (network.empty() || csv.empty() == pdf.empty())
    return Fail("uso: quinterra-network-report --network CARPETA [--from UTC] [--to UTC] "
                "(--csv ARCHIVO | --pdf ARCHIVO)",
                2);
  if (network.back() != '/') network += '/';
  const std::string ini = network + kBundleIni;
  if (!FileExists(ini)) return Fail("no existe " + ini + ": ¿es la carpeta de la red?", 2);
  const std::string name = TProfileFile(ini).ReadString("Red", "Nombre", "");
  const TOfficeRecordPlace place = OfficeRecordPlace(network);
  // Asking must not make a record where there was none.
  if (place.Where.rfind("postgres", 0) != 0 && !std::filesystem::exists(place.Where))
    return Fail("no existe el registro de la red " + place.Where + " (quinterra-network record)", 2);

  TNetworkReport report;
  try {
    const std::unique_ptr<THistoryStore> store = OpenHistoryDatabase(place.Where);
    const TSystemTime end = to.empty() ? std::chrono::system_clock::now()
                                       : ParseUtcText(to).value_or(std::chrono::system_clock::now());
    TSystemTime start = end;
    if (!from.empty()) {
      start = ParseUtcText(from).value_or(end);
    } else if (const std::optional<std::string> first = store->NextEventTime("")) {
      start = ParseUtcText(*first).value_or(end);
    }
    // --to names its last moment: the period runs to its end.
    report = ReadNetworkReport(*store, name, ShopsOfFolder(network), start,
                               to.empty() ? end : end + std::chrono::milliseconds(1));
  } catch (const TSqlError& error) {
    return Fail("registro " + place.Where + ": " + error.what(), 2);
  }
  if (!csv.empty()) {
    try {
      WriteFileAtomically(csv, ReportCsv(report));
    } catch (const FileError& error) {
      return Fail(error.what(), 1);
    }
  } else {
    // Fonts and painting need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    std::string failure;
    if (!WriteReportPdf(report, pdf, &failure)) return Fail(failure, 1);
  }
  std::cout << "Informe de la red «" << name << "»: " << report.Shops.size() << " tiendas, del "
            << LocalText(report.From, false) << " al " << LocalText(report.To, false) << ": "
            << (csv.empty() ? pdf : csv) << "\n";
  return 0;
}
