#pragma once
// The network's report as a spreadsheet's CSV: one row per stretch of a
// shop's panel (tienda;panel;desde;hasta;segundos;estado;versión;motivo),
// semicolons and local times as a Spanish spreadsheet reads them, UTF-8
// with its byte-order mark, CR LF.

#include <string>

#include "network/network_report.h"

namespace quinterra {

std::string ReportCsv(const TNetworkReport& report);

// One field as written: quoted when it holds a separator, a quote or a line
// break; a text that a spreadsheet would take for a formula (= + - @ at
// its start) is written after an apostrophe, since the reasons come from
// the shops.
std::string CsvField(const std::string& text);

// "2026-12-08 19:32:05", local time.
std::string CsvTime(TSystemTime time);

}  // namespace quinterra
