#pragma once
// The office's recorder: one connection to the network's broker, with the
// office's identity, subscribed to the document and to every shop's state
// and presence, turning what changes the record's meaning into events
// (office_record.h) for a sink (in the service, THistoryRecorder's queue).
//
// - A shop's state is recorded when anything but its times, attempt and
//   retry says something new; a state republished unchanged (a
//   reconnection, a periodic check) is not.
// - Periodic checks: only their coming and going is kept. An online shop
//   whose last check is older than 2.5 intervals gets "unchecked" (looked
//   for every Sweep), a check after that "checked".
// - The retained messages sent at every (re)connection are compared with
//   what was last recorded, so that after a gap what changed meanwhile is
//   recorded and nothing else; after a start of the recorder they are all
//   recorded (the record then tells the state again).
// - The recorder's own start, synced, disconnection, stop and, after a
//   quiet while, alive: the report knows when nothing was watching.
//
// Runs on one thread, with its timers and its transport.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "network/office_record.h"
#include "platform/interval_timer.h"

namespace quinterra {

class IMqttTransport;

// The client id of the recorder's connection: fixed, so that the broker
// keeps its session between connections, and apart from the office's
// other connections (same certificate).
std::string RecorderClientId(const std::string& network);

struct TOfficeRecorderSettings {
  std::string Network;
  TVerifyKey OfficeKey{};
  std::chrono::milliseconds Sweep = std::chrono::seconds(5);
  std::chrono::milliseconds QuietAlive = std::chrono::minutes(10);
  // The office's clock; the system's unless replaced.
  std::function<TSystemTime()> Now;
};

class TOfficeRecorder {
 public:
  using TSink = std::function<void(std::vector<TRecordEntry> entries)>;

  TOfficeRecorder(TOfficeRecorderSettings settings, IMqttTransport& transport, ITimerFactory& timers,
                  TSink sink);
  ~TOfficeRecorder();
  TOfficeRecorder(const TOfficeRecorder&) = delete;
  TOfficeRecorder& operator=(const TOfficeRecorder&) = delete;

  // Records the start and connects in the background; false with the
  // reason when the transport cannot start.
  bool Start(std::string* failure);
  // Disconnects; what the transport had already received is recorded, then
  // the stop, then stopped is called.
  void Stop(std::function<void()> stopped);

  // Every retained message of the current connection is in.
  bool Synced() const { return synced_; }
  // Messages taken, events handed to the sink.
  int64_t Messages() const { return messages_; }
  int64_t Recorded() const { return recorded_; }

  std::function<void(const std::string& line)> OnLog;
  // What is recorded, before the sink takes it.
  std::function<void(const std::vector<TRecordEntry>& entries)> OnRecorded;

 private:
  struct Shop {
    std::optional<bool> Online;
    std::string ReportKey;  // what the last recorded report said
    bool HasState = false;
    int64_t CheckedAt = 0;  // seconds, the office's clock
    int CheckEvery = 0;
    bool Unchecked = false;
  };

  void Connected();
  void Disconnected(const std::string& why);
  void Subscribed(int mid, const std::vector<int>& granted);
  void Message(const std::string& topic, const std::string& payload, bool retained);
  void TakeState(const std::string& shop, const std::string& payload, bool retained);
  void JudgeChecks(const std::string& name, Shop& shop);
  void Sweep();
  void Record(std::vector<TRecordEntry> entries);
  void Log(const std::string& line);
  TSystemTime Now() const;
  int64_t Seconds() const;

  TOfficeRecorderSettings settings_;
  IMqttTransport& transport_;
  TSink sink_;
  std::unique_ptr<IIntervalTimer> sweep_;
  std::map<std::string, Shop> shops_;
  std::string document_hash_;
  std::string marker_;
  int subscription_ = -1;
  bool connected_ = false;
  bool synced_ = false;
  bool stopping_ = false;
  int64_t messages_ = 0, recorded_ = 0;
  TSystemTime last_recorded_{};
};

}  // namespace quinterra
