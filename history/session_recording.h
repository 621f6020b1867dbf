#pragma once
// Joins a device session to the record: one event per device that a
// delivery, a check or a read served, with the display bytes it read back,
// or the bytes written when they could not be read back. The session's
// handlers already set are kept and called first; attach after them.
//
// Recording only queues (THistoryRecorder): a delivery never waits on it
// and never fails because of it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "devices/device_cycle.h"

namespace quinterra {

class TDeviceSession;
class THistoryRecorder;

// What the session itself does not know of its events.
struct TEventContext {
  std::string Source;          // history_source
  std::string DocumentSha256;  // hexadecimal; empty: none
  std::optional<int64_t> Version;
};

// Asked as each cycle starts.
using TEventContextSource = std::function<TEventContext(TCycleKind kind)>;

// The recorder is kept alive by the session's handlers.
void AttachRecorder(TDeviceSession& session, std::shared_ptr<THistoryRecorder> recorder,
                    TEventContextSource context);
void AttachRecorder(TDeviceSession& session, std::shared_ptr<THistoryRecorder> recorder,
                    TEventContext context);

// A device's link as the record names it: "127.0.0.1:17001", "COM5".
std::string DeviceLinkName(const DeviceRow& row);

// The document's hash as the record keeps it: of the document's text as
// saved (.ltr), so that the program and quinterra-send agree on a document.
std::string DocumentHash(const std::vector<std::string>& texts);

}  // namespace quinterra
