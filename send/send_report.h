#pragma once
// What one run of quinterra-send found: a state per requested panel, the
// outcome of every device the cycle served, and the exit status they give.
// Filled from the device session's events; written as lines or as JSON.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devices/device_row.h"
#include "devices/panel_types.h"
#include "send/send_options.h"

namespace quinterra {

enum class TPanelState {
  Sent,
  Unverified,  // sent with verification on, but not read back
  Verified,
  Failed,
  Active,
  Inactive,
  Matches,     // read back equal to the document
  Differs,     // read back, not equal
  Unread,      // a device of the panel could not be read
  Lost,        // the link was lost: the cycle ended without its report
  Unfinished,  // the run was abandoned or interrupted before the cycle ended
};

// The state's word in the JSON report ("sent", "link_lost" ...) and in the
// lines ("enviado", "enlace perdido" ...).
const char* PanelStateName(TPanelState state);
const char* PanelStateText(TPanelState state);
// A device's outcome in the JSON report: "done", "link_failed" ...
const char* DeviceOutcomeName(TDeviceOutcome outcome);

struct TPanelReport {
  TPanelReport(TPanel panel, TPanelState state, std::string detail = {})
      : Panel(panel), State(state), Detail(std::move(detail)) {}
  TPanel Panel;
  TPanelState State;
  std::string Detail;      // why it failed, for a person
  int DifferentBytes = 0;  // Differs
};

struct TDeviceReport {
  TDeviceReport(int row, DeviceRow device) : Row(row), Device(std::move(device)) {}
  int Row;
  DeviceRow Device;
  std::optional<TDeviceOutcome> Outcome;  // none: listed, or not yet reported
  bool Read = false;                      // ReadPanels reported it
  std::optional<int> DifferentBytes;      // none when Read found it unreadable
};

struct TSendReport {
  TSendCommand Command = TSendCommand::Send;
  std::optional<bool> Verify;
  // --verify was on the command line: a panel left unverified fails.
  bool VerifyAsked = false;
  std::vector<TPanelReport> Panels;
  std::vector<TDeviceReport> Devices;
  bool LinkLost = false;
  bool TimedOut = false;
  // SIGINT or SIGTERM stopped the cycle.
  bool Interrupted = false;
  // From the start of the cycle to its end.
  std::optional<int64_t> Milliseconds;
  // Why nothing was done (exit status 2), in Spanish.
  std::string Error;
};

// 2 for an error before any cycle; 3 when the link was lost, a device's link
// could not be opened or the run was abandoned or interrupted; 1 when a
// requested panel is not done (an unverified one is done unless verification
// was asked for); 0 otherwise.
int ExitStatus(const TSendReport& report);

// A delivery's panel result as reported: with verification on, a panel the
// session calls sent was written but not read back.
TPanelState SentState(TPanelResult result, bool verify);

// Bytes that differ between what a device holds and the document's image,
// a difference of length counting as differing bytes.
int CountDifferentBytes(const std::vector<uint8_t>& held, const std::vector<uint8_t>& image);

// After the cycle: a report for every requested panel that got none (the
// link was lost, or the run was abandoned or interrupted), the panels of a
// read from the selected devices of rows, and the reason of every failed or
// unverified panel, from its devices' outcomes or, when none of its devices
// was served, from the registry.
void CompleteReport(TSendReport& report, TPanelMode mode, const std::vector<DeviceRow>& rows);

// "Panel Resultados: enviado y verificado".
std::string PanelLine(const TPanelReport& panel);
// The panel lines of a cycle, or the registry table of --list.
std::string ReportLines(const TSendReport& report);
// The registry as the search window lists it: N, COM/IP, Veloc./Puerto,
// Version, Compilación, Nombre, S.
std::string DeviceTable(const std::vector<DeviceRow>& rows);
// One JSON object, with a line end.
std::string ReportJson(const TSendReport& report);

}  // namespace quinterra
