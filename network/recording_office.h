#pragma once
// The office's recorder wired as quinterra-network record runs it: the
// office's connection to the broker (a persistent session under
// RecorderClientId, so that the broker keeps what comes while it is away),
// the recorder, and the record written on a thread of its own. The service,
// its tests and its bench all take it from here.

#include <functional>
#include <memory>
#include <string>

#include "history/history_recorder.h"
#include "network/bundle.h"
#include "network/office_recorder.h"
#include "platform/qt_interval_timer.h"

namespace quinterra {

class TMqttClient;

class TRecordingOffice {
 public:
  TRecordingOffice(const TNetworkBundle& office, const TVerifyKey& office_key, THistoryRecorder::TOpenStore open,
                   THistoryRecorder::TFailure on_failure, THistoryRecorder::TLimits limits = {});
  ~TRecordingOffice();

  bool Start(std::string* failure) { return recorder_->Start(failure); }
  // Disconnects, records what had come and the stop, then calls stopped;
  // the record may still be writing (History().Flush).
  void Stop(std::function<void()> stopped) { recorder_->Stop(std::move(stopped)); }

  TOfficeRecorder& Recorder() { return *recorder_; }
  THistoryRecorder& History() { return *history_; }

 private:
  std::unique_ptr<THistoryRecorder> history_;
  std::unique_ptr<TMqttClient> mqtt_;
  QtTimerFactory timers_;
  std::unique_ptr<TOfficeRecorder> recorder_;
};

}  // namespace quinterra
