#pragma once
// One cycle over the device session, as the program's windows drive it:
// the registry of folder, its links (COM numbers mapped by config.ini's
// "Puertos"), real timers, and the event loop of the QCoreApplication until
// the cycle ends.

#include <functional>
#include <string>

#include "panels/display_image.h"
#include "send/send_options.h"
#include "send/send_report.h"

namespace quinterra {

class TStopSignals;

struct TSessionRun {
  TSendOptions Options;
  std::string Folder;        // ends in a separator
  PanelImages Images;        // of the document, for Send and Read
  std::string DocumentSha256;  // its hash as the record keeps it; empty: none
  bool Verify = true;        // Send: read back what was written
  // Every line of the session's log, as it is added.
  std::function<void(const std::string& line)> OnLog;
  // SIGINT, SIGTERM and SIGHUP; none: the run cannot be interrupted.
  TStopSignals* Stop = nullptr;
};

// Loads the registry and runs the command's cycle to its end. The cycle has
// its own bounds; should it still run after a generous watchdog, the run is
// abandoned and the report says so (TimedOut). A stop signal before the
// cycle ends abandons it at once, the link closed before this returns
// (Interrupted).
TSendReport RunSession(const TSessionRun& run);

}  // namespace quinterra
