#include "history/session_recording.h"

#include <map>

#include "devices/device_session.h"
#include "history/history_event.h"
#include "history/history_recorder.h"
#include "history/sha256.h"
#include "panels/document.h"

namespace quinterra {
namespace {

// What one session's events gather before each device's turn ends.
struct TRecordingState {
  std::shared_ptr<THistoryRecorder> Recorder;
  TEventContextSource Context;
  TEventContext Current;
  bool HasCurrent = false;
  // Bytes read from a device in its turn, by row.
  std::map<int, std::vector<uint8_t>> ReadBytes;

  void Started(TCycleKind kind) {
    Current = Context(kind);
    HasCurrent = true;
    ReadBytes.clear();
  }
  void DeviceDone(TDeviceSession& session, int row_index, TPanel panel, TDeviceOutcome outcome);
};

const char* OutcomeName(TCycleKind kind, TDeviceOutcome outcome) {
  switch (outcome) {
    case TDeviceOutcome::Silent:
      return history_outcome::kSilent;
    case TDeviceOutcome::LinkFailed:
      return history_outcome::kLinkFailed;
    case TDeviceOutcome::Verified:
      return history_outcome::kVerified;
    case TDeviceOutcome::Different:
      return history_outcome::kDifferent;
    case TDeviceOutcome::Unread:
      return kind == TCycleKind::Delivery ? history_outcome::kWritten : history_outcome::kUnread;
    case TDeviceOutcome::Done:
      break;
  }
  if (kind == TCycleKind::Delivery) return history_outcome::kWritten;
  if (kind == TCycleKind::Read) return history_outcome::kRead;
  return history_outcome::kPresent;
}

const char* KindName(TCycleKind kind) {
  if (kind == TCycleKind::Delivery) return history_kind::kDelivery;
  if (kind == TCycleKind::Read) return history_kind::kRead;
  return history_kind::kCheck;
}

void TRecordingState::DeviceDone(TDeviceSession& session, int row_index, TPanel panel,
                                 TDeviceOutcome outcome) {
  const TCycleKind kind = session.Cycle().Kind();
  if (kind == TCycleKind::Search) return;
  if (!HasCurrent) Started(kind);
  THistoryEvent event;
  event.Source = Current.Source;
  event.DocumentSha256 = Current.DocumentSha256;
  event.Version = Current.Version;
  const std::vector<DeviceRow>& rows = session.Devices();
  if (row_index >= 0 && static_cast<size_t>(row_index) < rows.size()) {
    event.Device = DeviceLinkName(rows[static_cast<size_t>(row_index)]);
    event.DeviceName = rows[static_cast<size_t>(row_index)].Name;
  }
  event.Panel = panel == TPanel::Results ? kResultsPanelName : kJackpotsPanelName;
  event.Kind = KindName(kind);
  event.Outcome = OutcomeName(kind, outcome);
  std::vector<uint8_t> image;
  const auto read = ReadBytes.find(row_index);
  if (event.Outcome == history_outcome::kWritten) {
    // Not read back: what was written, and the outcome says so.
    if (const TPanelPayload payload = session.Cycle().DeliveryPayload(panel)) image = *payload;
  } else if (OutcomeReadsImage(event.Outcome) && read != ReadBytes.end()) {
    image = read->second;
  }
  if (read != ReadBytes.end()) ReadBytes.erase(read);
  Recorder->Record(std::move(event), std::move(image));
}

}  // namespace

std::string DeviceLinkName(const DeviceRow& row) {
  if (row.Kind() == TLinkKind::Serial) return row.LinkAddress;
  return row.LinkAddress + ":" + row.SpeedOrPort;
}

std::string DocumentHash(const std::vector<std::string>& texts) {
  return HexText(Sha256(FormatDocument(texts)));
}

void AttachRecorder(TDeviceSession& session, std::shared_ptr<THistoryRecorder> recorder,
                    TEventContext context) {
  AttachRecorder(session, std::move(recorder), [context](TCycleKind) { return context; });
}

void AttachRecorder(TDeviceSession& session, std::shared_ptr<THistoryRecorder> recorder,
                    TEventContextSource context) {
  auto state = std::make_shared<TRecordingState>();
  state->Recorder = std::move(recorder);
  state->Context = std::move(context);

  session.OnRunningChanged = [state, previous = session.OnRunningChanged](
                                 TDeviceSession* s, TCycleKind kind, bool running) {
    if (previous) previous(s, kind, running);
    if (running) state->Started(kind);
  };
  session.OnDisplayReadBack = [state, previous = session.OnDisplayReadBack](
                                  TDeviceSession* s, TPanel panel, int row,
                                  const std::vector<uint8_t>& bytes) {
    if (previous) previous(s, panel, row, bytes);
    state->ReadBytes[row] = bytes;
  };
  session.OnDeviceRead = [state, previous = session.OnDeviceRead](
                             TDeviceSession* s, TPanel panel, int row,
                             const std::vector<uint8_t>& bytes) {
    if (previous) previous(s, panel, row, bytes);
    state->ReadBytes[row] = bytes;
  };
  session.OnDeviceDone = [state, previous = session.OnDeviceDone](
                             TDeviceSession* s, int row, TPanel panel, TDeviceOutcome outcome) {
    if (previous) previous(s, row, panel, outcome);
    state->DeviceDone(*s, row, panel, outcome);
  };
}

}  // namespace quinterra
