#include "network/network_report_csv.h"

#include <chrono>
#include <ctime>

namespace quinterra {

std::string CsvField(const std::string& text) {
  std::string field = text;
  if (!field.empty() && (field[0] == '=' || field[0] == '+' || field[0] == '-' || field[0] == '@' ||
                         field[0] == '\t' || field[0] == '\r'))
    field.insert(0, 1, '\'');
  if (field.find_first_of(";\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvTime(TSystemTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::seconds>(time));
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string ReportCsv(const TNetworkReport& report) {
  std::string csv = "\xEF\xBB\xBFtienda;panel;desde;hasta;segundos;estado;versión;motivo\r\n";
  for (const TShopReport& shop : report.Shops) {
    for (const TPanelReport* panel : {&shop.Results, &shop.Jackpots}) {
      for (const TReportSegment& s : panel->Segments) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(s.To - s.From).count();
        csv += CsvField(shop.Shop) + ";" + PanelTitle(panel->Panel) + ";" + CsvTime(s.From) + ";" +
               CsvTime(s.To) + ";" + std::to_string(seconds) + ";" + ReportStateText(s.State) + ";" +
               (s.Version ? std::to_string(s.Version) : std::string()) + ";" + CsvField(s.Reason) +
               "\r\n";
      }
    }
  }
  return csv;
}

}  // namespace quinterra
