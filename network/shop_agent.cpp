#include "network/shop_agent.h"

#include <algorithm>
#include <ctime>

#include "network/mqtt_client.h"
#include "network/names.h"
#include "platform/file_io.h"

namespace quinterra {
namespace {

// The worst state among the requested panels, and why in Spanish.
void Summarise(TShopState& state, const std::string& no_panel_reason) {
  bool any = false, different = false, failed = false, sent = false;
  for (const TPanelState* panel : {&state.Results, &state.Jackpots}) {
    any |= panel->Status != TPanelStatus::NotRequested;
    different |= panel->Status == TPanelStatus::Different;
    failed |= panel->Status == TPanelStatus::Failed;
    sent |= panel->Status == TPanelStatus::Sent;
  }
  if (!any) {
    state.Result = "failed";
    state.Reason = no_panel_reason;
  } else if (different) {
    state.Result = "different";
    state.Reason = "un equipo guarda otros datos que los enviados";
  } else if (failed) {
    state.Result = "failed";
    state.Reason = "un equipo no responde o su enlace no se abre";
  } else if (sent) {
    state.Result = "sent";
    state.Reason = "escrito, pero un equipo no se deja leer para verificarlo";
  } else {
    state.Result = "verified";
  }
}

}  // namespace

std::chrono::milliseconds RetryDelay(int attempt, std::chrono::milliseconds first,
                                     std::chrono::milliseconds last) {
  std::chrono::milliseconds delay = first;
  for (int i = 1; i < attempt && delay < last; ++i) delay *= 2;
  return std::min(delay, last);
}

TShopAgent::TShopAgent(TAgentSettings settings, TPanelDelivery& delivery)
    : settings_(std::move(settings)), delivery_(delivery) {
  if (!settings_.Now) settings_.Now = [] { return static_cast<int64_t>(std::time(nullptr)); };
  retry_.setSingleShot(true);
  QObject::connect(&retry_, &QTimer::timeout, [this] { StartAttempt(); });
}

TShopAgent::~TShopAgent() = default;

int64_t TShopAgent::Now() const { return settings_.Now(); }

void TShopAgent::Log(const std::string& line) {
  if (OnLog) OnLog(line);
}

bool TShopAgent::Start(std::string* failure) {
  std::string problem;
  applied_ = LoadAppliedVersion(settings_.Folder, &problem);
  if (!problem.empty()) Log(problem + "; se toma como ninguna versión aplicada");
  const TNetworkBundle& bundle = settings_.Bundle;
  TMqttSettings mqtt = bundle.Mqtt();
  mqtt.WillTopic = OnlineTopic(bundle.Network, bundle.Identity);
  mqtt.WillPayload = "0";
  mqtt_ = std::make_unique<TMqttClient>(mqtt);
  mqtt_->OnConnected = [this] { Connected(); };
  mqtt_->OnDisconnected = [this](const std::string& why) {
    subscribed_ = false;
    Log("desconectado del servidor: " + why);
  };
  mqtt_->OnMessage = [this](const std::string& topic, const std::string& payload, bool) {
    if (topic == DocumentTopic(settings_.Bundle.Network)) Consider(payload);
  };
  mqtt_->OnSubscribed = [this](int mid) {
    if (mid != subscription_) return;
    subscribed_ = true;
    StartAttempt();
  };
  mqtt_->OnLog = [this](const std::string& line) { Log(line); };
  Log("tienda " + bundle.Identity + " de la red " + bundle.Network + ", servidor " + bundle.Host +
      ":" + std::to_string(bundle.Port) + ", versión aplicada " + std::to_string(applied_.Version));
  return mqtt_->Start(failure);
}

void TShopAgent::Connected() {
  const TNetworkBundle& bundle = settings_.Bundle;
  Log("conectado al servidor");
  mqtt_->Publish(OnlineTopic(bundle.Network, bundle.Identity), "1", true);
  subscribed_ = false;
  subscription_ = mqtt_->Subscribe(DocumentTopic(bundle.Network));
  // The broker may have lost it (a crash between two snapshots).
  if (last_) mqtt_->Publish(StateTopic(bundle.Network, bundle.Identity), StateJson(*last_), true);
}

void TShopAgent::Consider(const std::string& payload) {
  const std::string hash = Sha256Hex(payload);
  // QoS 1 may bring a message twice.
  if ((running_ && running_->Hash == hash) || (target_ && target_->Hash == hash)) return;
  TReadResult read = ReadPublication(payload, settings_.OfficeKey, settings_.Bundle.Network, Now());
  if (read.Refusal != TRefusal::None) {
    Refuse(read.Refusal, hash, read.Publication ? read.Publication->Version : 0);
    return;
  }
  const TPublication& publication = *read.Publication;
  if (publication.Version == applied_.Version && hash == applied_.DocumentHash) {
    // Applied before: nothing is written again. Fresh from a start, read
    // back what the panels hold, so the report says what they show now.
    if (!last_ && !running_ && !target_) {
      target_ = Candidate{publication, hash};
      check_pending_ = true;
      StartAttempt();
    }
    return;
  }
  const int64_t newest = std::max({applied_.Version, running_ ? running_->Publication.Version : 0,
                                   target_ && !check_pending_ ? target_->Publication.Version : 0});
  if (publication.Version <= newest) {
    Refuse(TRefusal::OldVersion, hash, publication.Version);
    return;
  }
  Log("documento de la versión " + std::to_string(publication.Version) + " recibido");
  target_ = Candidate{publication, hash};
  check_pending_ = false;
  attempt_ = 0;
  retry_.stop();
  StartAttempt();
}

void TShopAgent::StartAttempt() {
  if (!subscribed_ || running_ || stopping_ || !target_ || delivery_.Running()) return;
  retry_.stop();
  const TPublication& publication = target_->Publication;
  if (!check_pending_ && publication.Expires < Now() - kClockToleranceSeconds) {
    Refuse(TRefusal::Expired, target_->Hash, publication.Version);
    target_.reset();
    return;
  }
  running_ = target_;
  const bool check = check_pending_;
  if (!check) ++attempt_;
  Log((check ? "leyendo los paneles de la versión " : "entregando la versión ") +
      std::to_string(publication.Version) +
      (check ? std::string() : " (intento " + std::to_string(attempt_) + ")"));
  auto done = [this, candidate = *running_, check](const TDeliveryReport& report) {
    Delivered(candidate, check, report);
  };
  const PanelImages images = PublicationImages(publication);
  if (check) {
    delivery_.Check(images, publication.Results, publication.Jackpots, done);
  } else {
    delivery_.Deliver(images, publication.Results, publication.Jackpots, done);
  }
}

void TShopAgent::Delivered(const Candidate& candidate, bool check, const TDeliveryReport& report) {
  running_.reset();
  const bool still_wanted = target_ && target_->Hash == candidate.Hash;
  TShopState state;
  state.Shop = settings_.Bundle.Identity;
  state.Network = settings_.Bundle.Network;
  state.Time = Now();
  state.Version = candidate.Publication.Version;
  state.DocumentHash = candidate.Hash;
  state.Results = report.Results;
  state.Jackpots = report.Jackpots;
  state.Attempt = attempt_;
  Summarise(state, report.Reason);
  if (check) {
    if (still_wanted) target_.reset();
    check_pending_ = false;
  } else if (state.Result == "verified" || state.Result == "sent") {
    applied_ = TAppliedVersion{candidate.Publication.Version, candidate.Hash};
    try {
      SaveAppliedVersion(settings_.Folder, applied_);
    } catch (const FileError& error) {
      Log(std::string(error.what()) + "; la versión aplicada no sobrevivirá a un reinicio");
    }
    if (still_wanted) target_.reset();
    attempt_ = 0;
  } else if (still_wanted) {
    const std::chrono::milliseconds delay =
        RetryDelay(attempt_, settings_.FirstRetry, settings_.LastRetry);
    state.RetryIn = static_cast<int>((delay.count() + 999) / 1000);
    if (!stopping_) retry_.start(delay);
  }
  state.AppliedVersion = applied_.Version;
  Report(state);
  if (stopping_) {
    FinishStop();
    return;
  }
  StartAttempt();  // a newer document came meanwhile
}

void TShopAgent::Refuse(TRefusal refusal, const std::string& hash, int64_t version) {
  TShopState state = last_.value_or(TShopState());
  state.Shop = settings_.Bundle.Identity;
  state.Network = settings_.Bundle.Network;
  state.Time = Now();
  state.Version = version;
  state.DocumentHash = hash;
  state.Result = "refused";
  state.Refusal = RefusalCode(refusal);
  state.Reason = RefusalText(refusal);
  state.AppliedVersion = applied_.Version;
  state.Attempt = 0;
  state.RetryIn = 0;
  Report(state);
}

void TShopAgent::Report(TShopState state) {
  if (state.Result != "refused") state.Refusal.clear();
  last_ = state;
  mqtt_->Publish(StateTopic(state.Network, state.Shop), StateJson(state), true);
  std::string line = "versión " + std::to_string(state.Version) + ": " + state.Result;
  if (!state.Reason.empty()) line += " (" + state.Reason + ")";
  if (state.RetryIn) line += "; nuevo intento en " + std::to_string(state.RetryIn) + " s";
  Log(line);
  if (OnReport) OnReport(state);
}

void TShopAgent::Stop(std::function<void()> stopped) {
  stopped_ = std::move(stopped);
  stopping_ = true;
  retry_.stop();
  if (!running_) FinishStop();
}

void TShopAgent::FinishStop() {
  const TNetworkBundle& bundle = settings_.Bundle;
  if (mqtt_) mqtt_->Stop(OnlineTopic(bundle.Network, bundle.Identity), "0");
  if (stopped_) {
    std::function<void()> stopped = std::move(stopped_);
    stopped();
  }
}

}  // namespace quinterra
