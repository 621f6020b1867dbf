#pragma once
// quinterra-send --network-report: the report is made by
// quinterra-network-report, a program of its own beside this one, so that
// quinterra-send loads neither libpq (the office's record may be on
// PostgreSQL) nor Qt's graphics (the PDF) at its every start.

#include <iosfwd>
#include <string>
#include <vector>

#include "send/send_options.h"

namespace quinterra {

// The report program's arguments for these options.
std::vector<std::string> NetworkReportArguments(const TSendOptions& options);

// Runs it in place of this process; returns only when it cannot (status 2,
// the reason on err).
int RunNetworkReport(const TSendOptions& options, std::ostream& err);

// quinterra-network-report as installed (../libexec/quinterra/ from this
// program), in the build's tools/ folder, or on the PATH.
std::string NetworkReportToolPath();

}  // namespace quinterra
