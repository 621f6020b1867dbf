#pragma once
// One event of the record: what one device of a panel held after a
// delivery, check or read, as the program, quinterra-send or the shop's
// agent saw it (or, at the office, what a shop reported).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quinterra {

// Who recorded the event.
namespace history_source {
inline constexpr const char* kProgram = "program";
inline constexpr const char* kSend = "send";
inline constexpr const char* kAgent = "agent";
inline constexpr const char* kOffice = "office";
}  // namespace history_source

// What was done.
namespace history_kind {
inline constexpr const char* kDelivery = "delivery";
inline constexpr const char* kCheck = "check";
inline constexpr const char* kRead = "read";
// At the office (network/office_record.h): the network's publication, a
// shop's presence, its report, whether its checks keep coming (kCheck), and
// the office's recorder itself.
inline constexpr const char* kPublication = "publication";
inline constexpr const char* kPresence = "presence";
inline constexpr const char* kReport = "report";
inline constexpr const char* kRecorder = "recorder";
}  // namespace history_kind

// What came of it, and so where the image came from.
namespace history_outcome {
// The image is of the bytes read back from the device:
inline constexpr const char* kVerified = "verified";    // written, read back equal
inline constexpr const char* kDifferent = "different";  // written, read back other bytes
inline constexpr const char* kRead = "read";            // read (Leer paneles, a check that reads)
// The image is of the bytes written, which could not be read back:
inline constexpr const char* kWritten = "written";
// No image:
inline constexpr const char* kPresent = "present";         // answered the presence check
inline constexpr const char* kUnread = "unread";           // answered, but its display did not read
inline constexpr const char* kSilent = "silent";           // did not answer in time
inline constexpr const char* kLinkFailed = "link_failed";  // its link did not open
}  // namespace history_outcome

// What the office saw (network/office_record.h). A report's outcome is the
// shop's result (verified, sent, different, failed, no_device, refused) for
// the shop, the panel's state for a panel (also not_requested).
namespace office_outcome {
inline constexpr const char* kPublished = "published";
inline constexpr const char* kInvalid = "invalid";        // a publication that does not read
inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";
inline constexpr const char* kUnreadable = "unreadable";  // a report that does not read
inline constexpr const char* kChecked = "checked";        // its checks come again
inline constexpr const char* kUnchecked = "unchecked";    // none for too long
inline constexpr const char* kStart = "start";            // the recorder started
inline constexpr const char* kSynced = "synced";          // ... has every retained message
inline constexpr const char* kDisconnected = "disconnected";
inline constexpr const char* kAlive = "alive";            // nothing else to record for a while
inline constexpr const char* kStop = "stop";
}  // namespace office_outcome

// Whether the image of an event with this outcome was read from the device.
bool OutcomeReadsImage(const std::string& outcome);

struct THistoryEvent {
  int64_t Id = 0;        // numbered by the store, in the order of the chain
  std::string Time;      // UTC, see history_time.h
  std::string Source;    // history_source
  std::string Shop;      // empty at a shop; the shop's name at the office
  std::string Device;    // its link: "127.0.0.1:17001", "COM5"
  std::string DeviceName;
  std::string Panel;     // "results" or "jackpots"
  std::string Kind;      // history_kind
  std::string Outcome;   // history_outcome
  std::string ImageSha256;     // hexadecimal; empty: no image
  std::string DocumentSha256;  // hexadecimal; empty: no document
  std::optional<int64_t> Version;  // of the network's publication
  std::string Chain;     // hexadecimal; set by the store
  // What the columns do not hold, as the kind defines it (the office's
  // events: a compact JSON object); empty: nothing.
  std::string Detail;

  bool operator==(const THistoryEvent& other) const;
};

// An image's display bytes, kept once by their SHA-256.
struct THistoryImage {
  std::string Sha256;  // hexadecimal
  std::vector<uint8_t> Bytes;
};

inline constexpr const char* kResultsPanelName = "results";
inline constexpr const char* kJackpotsPanelName = "jackpots";

}  // namespace quinterra
