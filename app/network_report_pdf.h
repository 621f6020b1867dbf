#pragma once
// The network's report as a printable PDF (QPdfWriter): a page per shop
// with the network, the period and the share of the time with the version
// in force verified, then per panel a bar of the period coloured by state
// and its stretches, as many as the page holds (the CSV has them all).
// Needs a QGuiApplication (fonts).

#include <QColor>

#include <string>

#include "network/network_report.h"

namespace quinterra {

// False, with the reason, when the file could not be written.
bool WriteReportPdf(const TNetworkReport& report, const std::string& path, std::string* failure);

// The colour of a state, as the network's window colours its shops.
QColor ReportStateColour(TReportState state);

}  // namespace quinterra
