#pragma once
// What the office keeps of its network (quinterra-network record), as events
// of the same record the shops keep (history/), source "office", timed by
// the office's clock when it saw them:
//
//   publication  shop "": one event per panel the document asks for, with
//                the image the document puts there, its hash and version;
//                detail {"expires":T,"published":T}. A document that does
//                not read: one event "invalid", detail {"reason":...}.
//   presence     a shop's online / offline.
//   report       a shop's state that says something new: one event for the
//                shop (its result, the version and document it is about;
//                detail what else the verdict reads) and one per panel (its
//                state, the version its bytes are of, the image read back).
//                A state that does not read: one event "unreadable".
//   check        "unchecked" when an online shop's last check grew older
//                than 2.5 intervals, "checked" when checks came again;
//                detail {"checked":T}. The periodic checks in between
//                change nothing and are not kept.
//   recorder     the recorder's own start, synced (every retained message
//                in), disconnected, alive (nothing else for a while), stop.
//
// T: seconds since 1970. Where the record is: DIR/red.ini [Historial]
// Base= (a postgresql:// address or a file), else DIR/historial.db; events
// older than Conservar= days (400; 0 keeps all) are pruned.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history_recorder.h"
#include "history/history_time.h"
#include "network/publication.h"
#include "network/shop_state.h"

namespace quinterra {

using TRecordEntry = THistoryRecorder::TEntry;

// The office's record and how long it keeps events.
struct TOfficeRecordPlace {
  std::string Where;  // a postgresql:// address or an SQLite file
  int RetentionDays = 400;
};
// folder: the network's, ending in a separator.
TOfficeRecordPlace OfficeRecordPlace(const std::string& folder);

// A check is overdue past this many intervals, as the fleet judges it.
constexpr double kOverdueIntervals = 2.5;

std::vector<TRecordEntry> PublicationEntries(const std::string& message, const TVerifyKey& office_key,
                                             const std::string& network, TSystemTime at);
TRecordEntry PresenceEntry(const std::string& shop, bool online, TSystemTime at);
// state: none when the shop's message did not read (or spoke for another).
std::vector<TRecordEntry> ReportEntries(const std::string& shop, const std::optional<TShopState>& state,
                                        TSystemTime at);
TRecordEntry CheckEntry(const std::string& shop, bool checked, int64_t checked_at, TSystemTime at);
TRecordEntry RecorderEntry(const char* outcome, const std::string& reason, TSystemTime at);

// Read back from the events.
struct TRecordedPublication {
  int64_t Version = 0;
  std::string DocumentHash;
  bool Valid = false;
  int64_t Published = 0, Expires = 0;
  std::string Reason;  // why it does not read
};
TRecordedPublication ReadPublicationDetail(const THistoryEvent& event);

// The shop's part of a report.
struct TRecordedReport {
  std::string Result;  // the shop's result, or office_outcome::kUnreadable
  int64_t Version = 0;
  std::string DocumentHash;
  std::string Reason, Refusal, Problem, Restored, Instance;
  int64_t AppliedVersion = 0;
  bool Expired = false;
  int CheckEvery = 0;
};
TRecordedReport ReadReportDetail(const THistoryEvent& event);

// The detail's seconds under key, 0 when missing.
int64_t DetailSeconds(const THistoryEvent& event, const char* key);

}  // namespace quinterra
