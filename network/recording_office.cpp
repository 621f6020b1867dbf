#include "network/recording_office.h"

#include "network/mqtt_client.h"

namespace quinterra {

TRecordingOffice::TRecordingOffice(const TNetworkBundle& office, const TVerifyKey& office_key,
                                   THistoryRecorder::TOpenStore open, THistoryRecorder::TFailure on_failure,
                                   THistoryRecorder::TLimits limits)
    : history_(std::make_unique<THistoryRecorder>(std::move(open), std::move(on_failure), limits)) {
  TMqttSettings settings = office.Mqtt(RecorderClientId(office.Network));
  settings.CleanSession = false;
  mqtt_ = std::make_unique<TMqttClient>(settings);
  TOfficeRecorderSettings recorder;
  recorder.Network = office.Network;
  recorder.OfficeKey = office_key;
  recorder_ = std::make_unique<TOfficeRecorder>(recorder, *mqtt_, timers_, [this](std::vector<TRecordEntry> entries) {
    history_->Record(std::move(entries));
  });
}

TRecordingOffice::~TRecordingOffice() {
  // The recorder lets go of the connection first; the record is written last.
  recorder_.reset();
  mqtt_.reset();
  history_.reset();
}

}  // namespace quinterra
