#include "network/shop_agent.h"

#include <algorithm>
#include <ctime>
#include <random>

#include "network/fleet.h"
#include "network/mqtt_transport.h"
#include "network/names.h"
#include "platform/file_io.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kTick = 2s;
constexpr std::chrono::milliseconds kRest = 500ms;
// A connection that ends sooner than this, several times in a row, is
// another copy of the agent taking the identity over.
constexpr int64_t kQuickDropSeconds = 10;
constexpr int kQuickDropsForTwoAgents = 3;
constexpr std::chrono::seconds kLastHoldOff = 5min;

const char* PanelName(bool results) { return results ? "Resultados" : "Botes"; }

// The result of a report as the shop's log says it.
const struct {
  const char* result;
  const char* word;
} kResultWords[] = {
    {"verified", "verificada"}, {"sent", "enviada sin verificar"}, {"different", "distinta"},
    {"failed", "fallida"},      {"no_device", "sin equipo"},       {"refused", "rechazada"},
};

std::string ResultWord(const std::string& result) {
  for (const auto& entry : kResultWords)
    if (result == entry.result) return entry.word;
  return result;
}

std::string RandomHex(size_t digits) {
  std::random_device device;
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < digits; ++i) text += kHex[device() & 0xF];
  return text;
}

}  // namespace

const char* AgentPhaseName(TAgentPhase phase) {
  switch (phase) {
    case TAgentPhase::WaitingSubscription: return "esperando la suscripción";
    case TAgentPhase::Idle: return "en reposo";
    case TAgentPhase::Delivering: return "entregando";
    case TAgentPhase::Checking: return "comprobando";
    case TAgentPhase::WaitingRetry: return "esperando para reintentar";
    case TAgentPhase::Stopping: return "parando";
    case TAgentPhase::Stopped: return "parado";
  }
  return "";
}

std::chrono::milliseconds RetryDelay(int attempt, std::chrono::milliseconds first,
                                     std::chrono::milliseconds last) {
  std::chrono::milliseconds delay = first;
  for (int i = 1; i < attempt && delay < last; ++i) delay *= 2;
  return std::min(delay, last);
}

// A document to write, and the panels still to write it to. A restore is
// the applied document written back after a check found it gone.
struct TShopAgent::Target {
  Offer Document;
  bool Results = false, Jackpots = false;
  std::string Restoring;  // what the check found, for the report
};

TShopAgent::TShopAgent(TAgentSettings settings, IMqttTransport& transport,
                       IPanelDelivery& delivery, ITimerFactory& timers)
    : settings_(std::move(settings)),
      transport_(transport),
      delivery_(delivery),
      retry_timer_(timers.CreateTimer()),
      check_timer_(timers.CreateTimer()),
      tick_timer_(timers.CreateTimer()),
      rest_timer_(timers.CreateTimer()) {
  if (!settings_.Now) settings_.Now = [] { return static_cast<int64_t>(std::time(nullptr)); };
  if (settings_.Instance.empty()) settings_.Instance = RandomHex(8);
  retry_timer_->OnTimer = [this] { RetryTime(); };
  check_timer_->OnTimer = [this] { CheckTime(); };
  tick_timer_->SetInterval(kTick);
  tick_timer_->OnTimer = [this] { Tick(); };
  rest_timer_->SetInterval(kRest);
  rest_timer_->OnTimer = [this] {
    rest_timer_->SetEnabled(false);
    resting_ = false;
    Decide();
  };
}

TShopAgent::~TShopAgent() {
  transport_.OnConnected = nullptr;
  transport_.OnDisconnected = nullptr;
  transport_.OnMessage = nullptr;
  transport_.OnSubscribed = nullptr;
  transport_.OnLog = nullptr;
}

int64_t TShopAgent::Now() const { return settings_.Now(); }

void TShopAgent::Log(const std::string& line) {
  if (OnLog) OnLog(line);
}

const TPublication* TShopAgent::RunningDocument() const {
  if (running_) return &running_->Document.Publication;
  if (phase_ == TAgentPhase::Checking && applied_document_) return &applied_document_->Publication;
  return nullptr;
}

bool TShopAgent::Wants(const TPublication& publication, bool results) const {
  return results ? publication.Results && settings_.HasResults
                 : publication.Jackpots && settings_.HasJackpots;
}

std::string TShopAgent::RegistrySignature() const {
  try {
    return ReadFileIfExists(settings_.Folder + "equipos.ini").value_or(std::string(1, '\0'));
  } catch (const FileError&) {
    return {};
  }
}

bool TShopAgent::Start(std::string* failure) {
  std::string problem;
  applied_ = LoadAppliedVersion(settings_.Folder, &problem);
  if (!problem.empty())
    Log(problem + "; se toma la versión aplicada que guarda el servidor en el estado de esta tienda");
  problem.clear();
  trusted_ = LoadTrustedKey(settings_.OfficeKey, settings_.Bundle.Network, settings_.Folder, &problem);
  if (!problem.empty()) Log(problem);
  const TNetworkBundle& bundle = settings_.Bundle;
  transport_.OnConnected = [this] { Connected(); };
  transport_.OnDisconnected = [this](const std::string&) { Disconnected(); };
  transport_.OnSubscribed = [this](int mid, const std::vector<int>& granted) { Subscribed(mid, granted); };
  transport_.OnMessage = [this](const std::string& topic, const std::string& payload, bool retained) {
    Message(topic, payload, retained);
  };
  transport_.OnLog = [this](const std::string& line) { Log(line); };
  Log("tienda " + bundle.Identity + " de la red " + bundle.Network + ", servidor " + bundle.Host +
      ":" + std::to_string(bundle.Port) + ", versión aplicada " + std::to_string(applied_.Version) +
      ", comprobación cada " + std::to_string(settings_.CheckEvery.count()) + " s");
  if (!transport_.Start(failure)) return false;
  tick_timer_->SetEnabled(true);
  if (settings_.CheckEvery.count() > 0) {
    check_timer_->SetInterval(settings_.CheckEvery);
    check_timer_->SetEnabled(true);
  }
  return true;
}

// --- the broker ---

void TShopAgent::Connected() {
  const TNetworkBundle& b = settings_.Bundle;
  connected_at_ = Now();
  transport_.Publish(OnlineTopic(b.Network, b.Identity), "1", true);
  synced_ = false;
  marker_ = RandomHex(16);
  // The key's changes before the document they may be needed for.
  subscription_ = transport_.Subscribe({KeysTopic(b.Network), DocumentTopic(b.Network),
                                        StateTopic(b.Network, b.Identity),
                                        ShopSyncTopic(b.Network, b.Identity)});
  // The broker may have lost it (a crash between two snapshots).
  if (last_) transport_.Publish(StateTopic(b.Network, b.Identity), StateJson(*last_), true);
}

void TShopAgent::Disconnected() {
  synced_ = false;
  if (Now() - connected_at_ >= kQuickDropSeconds) {
    quick_drops_ = 0;
    hold_off_ = 60s;
    return;
  }
  if (++quick_drops_ < kQuickDropsForTwoAgents) return;
  quick_drops_ = 0;
  Log("otra copia de esta tienda está conectada con la misma identidad; no se vuelve a conectar en " +
      std::to_string(hold_off_.count()) + " s");
  transport_.HoldOff(hold_off_);
  hold_off_ = std::min(hold_off_ * 2, kLastHoldOff);
}

void TShopAgent::Subscribed(int mid, const std::vector<int>& granted) {
  if (mid != subscription_) return;
  // A broker whose rules predate the marker refuses its topic: what it had
  // retained came with the acknowledgement's turn, and is taken as it is.
  if (granted.size() >= 4 && granted[3] != 0x80) {
    const TNetworkBundle& b = settings_.Bundle;
    transport_.Publish(ShopSyncTopic(b.Network, b.Identity), marker_, false);
  } else {
    Synced();
  }
}

void TShopAgent::Message(const std::string& topic, const std::string& payload, bool) {
  const TNetworkBundle& b = settings_.Bundle;
  if (topic == DocumentTopic(b.Network)) {
    last_payload_ = payload;
    TakeDocument(payload);
    Decide();
  } else if (topic == KeysTopic(b.Network)) {
    TakeKeyChain(payload);
  } else if (topic == StateTopic(b.Network, b.Identity)) {
    if (!synced_once_) TakeOwnState(payload);
  } else if (topic == ShopSyncTopic(b.Network, b.Identity) && payload == marker_) {
    Synced();
  }
}

void TShopAgent::TakeOwnState(const std::string& payload) {
  const std::optional<TShopState> state = ParseStateJson(payload);
  if (!state || state->AppliedVersion <= 0) return;
  TAppliedVersion applied;
  applied.Version = state->AppliedVersion;
  const bool about_applied = state->Version == state->AppliedVersion && state->Result != "refused";
  if (about_applied) applied.DocumentHash = state->DocumentHash;
  broker_applied_ = applied;
}

void TShopAgent::Synced() {
  if (synced_) return;
  synced_ = true;
  if (!synced_once_) {
    synced_once_ = true;
    if (broker_applied_ && broker_applied_->Version > applied_.Version) {
      Log("versión aplicada " + std::to_string(broker_applied_->Version) +
          ", según el último estado de esta tienda en el servidor (" + kAppliedVersionFile + ": " +
          std::to_string(applied_.Version) + ")");
      applied_ = *broker_applied_;
      SaveApplied();
    }
    // What came before this moment is judged now that the applied version
    // is known.
    if (last_document_) {
      const std::string payload = std::move(*last_document_);
      last_document_.reset();
      TakeDocument(payload);
    }
  }
  if (phase_ == TAgentPhase::WaitingSubscription) phase_ = TAgentPhase::Idle;
  Decide();
}

// --- documents ---

void TShopAgent::TakeDocument(const std::string& payload) {
  if (!synced_once_) {
    last_document_ = payload;
    return;
  }
  const std::string hash = DocumentHashOf(payload);
  // QoS 1 may bring a message twice, and every reconnection brings the
  // retained one again.
  if ((target_ && target_->Document.Hash == hash) || (running_ && running_->Document.Hash == hash) ||
      (applied_document_ && applied_document_->Hash == hash) || hash == refused_hash_ ||
      (future_ && future_->Hash == hash))
    return;
  const TReadResult read = ReadWithTrustedKey(payload, trusted_, settings_.Bundle.Network, Now());
  if (read.Refusal == TRefusal::NotYetValid) future_ = Offer{payload, *read.Publication, hash};
  // The applied document past its time is still what the panels show (a
  // broker that lost it is given it again): expired, not refused.
  const bool applied_but_expired = read.Refusal == TRefusal::Expired && read.Publication &&
                                   read.Publication->Version == applied_.Version;
  if (read.Refusal != TRefusal::None && !applied_but_expired) return Refuse(read, hash);
  Offer offer{payload, *read.Publication, hash};
  const int64_t version = offer.Publication.Version;
  // Agents before this one named a document by the hash of its envelope.
  const bool applied_one = version == applied_.Version &&
                           (applied_.DocumentHash == hash || applied_.DocumentHash.empty() ||
                            applied_.DocumentHash == Sha256Hex(payload));
  if (applied_one) {
    // Nothing is written again; a check tells what the panels hold now.
    if (applied_.DocumentHash != hash) {
      applied_.DocumentHash = hash;
      SaveApplied();
    }
    expired_ = ValidityAt(offer.Publication, Now()) == TValidity::Expired;
    applied_document_ = std::move(offer);
    if (!checked_) check_due_ = true;
    return;
  }
  const int64_t newest = std::max(applied_.Version,
                                  target_ ? target_->Document.Publication.Version : int64_t{0});
  if (version <= newest) {
    TReadResult old;
    old.Refusal = TRefusal::OldVersion;
    old.Publication = offer.Publication;
    return Refuse(old, hash);
  }
  Log("documento de la versión " + std::to_string(version) + " recibido");
  target_ = std::make_unique<Target>();
  target_->Results = Wants(offer.Publication, true);
  target_->Jackpots = Wants(offer.Publication, false);
  target_->Document = std::move(offer);
  attempt_ = 0;
  if (phase_ == TAgentPhase::WaitingRetry) {
    retry_timer_->SetEnabled(false);
    retry_in_ = 0;
    phase_ = TAgentPhase::Idle;
  }
}

void TShopAgent::TakeKeyChain(const std::string& payload) {
  const TKeyChainResult result = FollowKeyChain(payload, trusted_, settings_.Bundle.Network);
  if (result.Refusal != TKeyChainRefusal::None) {
    Log(std::string("cambio de clave rechazado: ") + KeyChainRefusalText(result.Refusal));
    return;
  }
  if (result.Taken == 0) return;
  try {
    SaveKeyChain(settings_.Folder, payload);
  } catch (const FileError& error) {
    Log(std::string("no se puede guardar el cambio de clave: ") + error.what());
  }
  trusted_ = result.Trusted;
  Log("clave de firma de la oficina nueva, desde la versión " + std::to_string(trusted_.FromVersion));
  // The document refused a moment ago may be of the new key.
  if (!last_payload_.empty() && synced_once_) {
    refused_hash_.clear();
    TakeDocument(last_payload_);
    Decide();
  }
}

void TShopAgent::Refuse(const TReadResult& read, const std::string& hash) {
  refused_hash_ = hash;
  const int64_t version = read.Publication ? read.Publication->Version : 0;
  Report(version, hash, "refused", RefusalReason(read), RefusalCode(read.Refusal), nullptr);
}

// --- what happens next ---

void TShopAgent::Decide() {
  if (phase_ != TAgentPhase::Idle || !synced_ || resting_) return;
  if (target_) {
    const TPublication& p = target_->Document.Publication;
    if (target_->Restoring.empty() && ValidityAt(p, Now()) == TValidity::Expired) {
      // Expired before it could be written: the panels keep what they show.
      TReadResult expired;
      expired.Refusal = TRefusal::Expired;
      expired.Publication = p;
      const std::string hash = target_->Document.Hash;
      target_.reset();
      attempt_ = 0;
      Refuse(expired, hash);
      return Decide();
    }
    return StartDelivery();
  }
  if (check_due_ && applied_document_) StartCheck();
}

void TShopAgent::StartDelivery() {
  phase_ = TAgentPhase::Delivering;
  ++attempt_;
  registry_signature_ = RegistrySignature();
  running_ = std::make_unique<Target>(*target_);
  const TPublication& p = running_->Document.Publication;
  Log((running_->Restoring.empty() ? "entregando la versión " : "restaurando la versión ") +
      std::to_string(p.Version) + " (intento " + std::to_string(attempt_) + ")");
  delivery_.Deliver(PublicationImages(p), running_->Results, running_->Jackpots,
                    [this](const TDeliveryReport& report) { Delivered(report); });
}

void TShopAgent::StartCheck() {
  check_due_ = false;
  const TPublication& p = applied_document_->Publication;
  const bool results = Wants(p, true), jackpots = Wants(p, false);
  if (!results && !jackpots) return;
  check_timer_->SetEnabled(false);
  phase_ = TAgentPhase::Checking;
  registry_signature_ = RegistrySignature();
  Log("comprobando los paneles de la versión " + std::to_string(p.Version));
  delivery_.Check(PublicationImages(p), results, jackpots,
                  [this](const TDeliveryReport& report) { Checked(report); });
}

void TShopAgent::Rest() {
  resting_ = true;
  rest_timer_->SetEnabled(true);
}

void TShopAgent::Delivered(const TDeliveryReport& report) {
  Rest();
  const std::unique_ptr<Target> ran = std::move(running_);
  if (phase_ != TAgentPhase::Stopping) phase_ = TAgentPhase::Idle;
  const int64_t version = ran->Document.Publication.Version;
  const bool current = target_ && target_->Document.Hash == ran->Document.Hash;
  bool failed = false, missing = false, written = false;
  for (const bool results : {true, false}) {
    if (!(results ? ran->Results : ran->Jackpots)) continue;
    const TShopPanel& got = results ? report.Results : report.Jackpots;
    TShopPanel& panel = Panel(results);
    panel.Status = got.Status;
    panel.ReadBack = got.ReadBack;
    switch (got.Status) {
      case TPanelStatus::Verified:
      case TPanelStatus::Sent:
        panel.Version = version;
        written = true;
        if (current) (results ? target_->Results : target_->Jackpots) = false;
        break;
      case TPanelStatus::Different: panel.Version = 0; failed = true; break;
      case TPanelStatus::NoDevice: missing = true; break;
      default: failed = true; break;
    }
  }
  checked_ = Now();
  // The version is applied once every panel that has a device took it.
  if (!failed && written && version > applied_.Version) Apply(ran->Document);
  if (!failed && !ran->Restoring.empty())
    restored_ = "restaurado a las " + ClockText(Now()) + ": " + ran->Restoring;
  if (current && !failed && !missing) {
    target_.reset();
    attempt_ = 0;
    check_due_ = false;  // what was just verified needs no check now
  }
  // A newer document came meanwhile: its own attempt reports.
  const bool superseded = target_ && !current;
  if (!superseded || phase_ == TAgentPhase::Stopping) {
    if (current && (failed || missing) && phase_ != TAgentPhase::Stopping) WaitRetry(false);
    ReportPanels(ran->Document, report.Reason);
  }
  if (phase_ == TAgentPhase::Stopping) return FinishStop();
  Decide();
}

void TShopAgent::Checked(const TDeliveryReport& report) {
  Rest();
  // The next check comes a whole interval after this one.
  if (settings_.CheckEvery.count() > 0 && phase_ != TAgentPhase::Stopping) {
    check_timer_->SetEnabled(false);
    check_timer_->SetEnabled(true);
  }
  if (phase_ != TAgentPhase::Stopping) phase_ = TAgentPhase::Idle;
  checked_ = Now();
  const Offer& applied = *applied_document_;
  bool restore_results = false, restore_jackpots = false, failed = false;
  std::string finding;
  for (const bool results : {true, false}) {
    if (!Wants(applied.Publication, results)) continue;
    const TShopPanel& got = results ? report.Results : report.Jackpots;
    TShopPanel& panel = Panel(results);
    panel.Status = got.Status;
    panel.ReadBack = got.ReadBack;
    if (got.Status == TPanelStatus::Verified) panel.Version = applied.Publication.Version;
    if (got.Status == TPanelStatus::Failed || got.Status == TPanelStatus::NoDevice) failed = true;
    if (got.Status != TPanelStatus::Different) continue;
    panel.Version = 0;
    const bool blank = results ? report.ResultsBlank : report.JackpotsBlank;
    finding += std::string(finding.empty() ? "" : "; ") + "Panel " + PanelName(results) +
               (blank ? " estaba en blanco" : " mostraba otro contenido");
    (results ? restore_results : restore_jackpots) = settings_.Correct;
  }
  if ((restore_results || restore_jackpots) && phase_ != TAgentPhase::Stopping && !target_) {
    Log("los paneles no muestran la versión " + std::to_string(applied.Publication.Version) + ": " +
        finding + "; se escriben de nuevo");
    target_ = std::make_unique<Target>();
    target_->Document = applied;
    target_->Results = restore_results;
    target_->Jackpots = restore_jackpots;
    target_->Restoring = finding;
    attempt_ = 0;
    return Decide();  // its report says what was found and restored
  }
  if (failed && phase_ != TAgentPhase::Stopping) WaitRetry(true);
  ReportPanels(applied, report.Reason);
  if (phase_ == TAgentPhase::Stopping) return FinishStop();
  Decide();
}

void TShopAgent::WaitRetry(bool check) {
  phase_ = TAgentPhase::WaitingRetry;
  retry_is_check_ = check;
  const std::chrono::milliseconds delay =
      RetryDelay(std::max(attempt_, 1), settings_.FirstRetry, settings_.LastRetry);
  retry_in_ = static_cast<int>((delay.count() + 999) / 1000);
  retry_timer_->SetInterval(delay);
  retry_timer_->SetEnabled(true);
}

void TShopAgent::RetryTime() {
  retry_timer_->SetEnabled(false);
  if (phase_ != TAgentPhase::WaitingRetry) return;
  phase_ = TAgentPhase::Idle;
  retry_in_ = 0;
  if (retry_is_check_ && !target_) check_due_ = true;
  Decide();
}

void TShopAgent::CheckTime() {
  check_due_ = true;
  Decide();
}

void TShopAgent::Tick() {
  const int64_t now = Now();
  if (future_ && ValidityAt(future_->Publication, now) == TValidity::Valid) {
    const Offer offer = std::move(*future_);
    future_.reset();
    if (refused_hash_ == offer.Hash) refused_hash_.clear();
    Log("la versión " + std::to_string(offer.Publication.Version) + " ya es válida en esta tienda");
    TakeDocument(offer.Payload);
    Decide();
  }
  if (applied_document_ && !expired_ &&
      ValidityAt(applied_document_->Publication, now) == TValidity::Expired) {
    expired_ = true;
    Log("la versión " + std::to_string(applied_.Version) + " ha caducado; sigue en los paneles");
    if (last_) Republish();
  }
  if (phase_ == TAgentPhase::WaitingRetry) {
    const bool target_expired = target_ && target_->Restoring.empty() &&
                                ValidityAt(target_->Document.Publication, now) == TValidity::Expired;
    if (target_expired || RegistrySignature() != registry_signature_) {
      if (!target_expired) Log("equipos.ini ha cambiado: nuevo intento");
      retry_timer_->SetEnabled(false);
      phase_ = TAgentPhase::WaitingRetry;
      RetryTime();
    }
  }
  if (!saved_) {
    const bool had_problem = !problem_.empty();
    SaveApplied();
    if (had_problem && problem_.empty() && last_) Republish();
  }
}

// --- the applied version ---

void TShopAgent::Apply(const Offer& offer) {
  applied_.Version = offer.Publication.Version;
  applied_.DocumentHash = offer.Hash;
  applied_document_ = offer;
  expired_ = ValidityAt(offer.Publication, Now()) == TValidity::Expired;
  SaveApplied();
}

void TShopAgent::SaveApplied() {
  try {
    SaveAppliedVersion(settings_.Folder, applied_);
    saved_ = true;
    problem_.clear();
  } catch (const FileError& error) {
    saved_ = false;
    if (problem_.empty()) {
      problem_ = std::string("no se puede guardar la versión aplicada: ") + error.what();
      Log(problem_);
    }
  }
}

// --- reports ---

void TShopAgent::ReportPanels(const Offer& about, const std::string& no_device_reason) {
  const TPublication& p = about.Publication;
  bool any = false, different = false, failed = false, missing = false, sent = false;
  std::string different_panels, failed_panels, missing_panels;
  auto add = [](std::string& list, bool results) {
    list += std::string(list.empty() ? "" : " y ") + PanelName(results);
  };
  for (const bool results : {true, false}) {
    if (!Wants(p, results)) continue;
    any = true;
    switch (Panel(results).Status) {
      case TPanelStatus::Different: different = true; add(different_panels, results); break;
      case TPanelStatus::Failed: failed = true; add(failed_panels, results); break;
      case TPanelStatus::NoDevice: missing = true; add(missing_panels, results); break;
      case TPanelStatus::Sent: sent = true; break;
      default: break;
    }
  }
  auto report = [&](const char* result, const std::string& reason) {
    Report(p.Version, about.Hash, result, reason, "", &p);
  };
  if (!any) return report("no_device", "esta tienda no tiene los paneles que pide el documento");
  if (different)
    return report("different", "el panel " + different_panels + " muestra otro contenido" +
                      (settings_.Correct ? "" : " (Corregir=0: no se corrige)"));
  if (failed)
    return report("failed", "un equipo del panel " + failed_panels + " no responde o su enlace no se abre");
  if (missing)
    return report("no_device", no_device_reason.empty() ? "sin equipo del panel " + missing_panels
                                                         : no_device_reason);
  if (sent)
    return report("sent", "escrito, pero un equipo no se deja leer para verificarlo");
  report("verified", "");
}

void TShopAgent::Report(int64_t version, const std::string& hash, const std::string& result,
                        const std::string& reason, const std::string& refusal,
                        const TPublication* asking) {
  TShopState s;
  s.Shop = settings_.Bundle.Identity;
  s.Network = settings_.Bundle.Network;
  s.Instance = settings_.Instance;
  s.Version = version;
  s.DocumentHash = hash;
  s.Result = result;
  s.Refusal = refusal;
  s.Reason = reason;
  for (const bool results : {true, false}) {
    TShopPanel& panel = results ? s.Results : s.Jackpots;
    if (asking) {
      if (Wants(*asking, results)) panel = Panel(results);
    } else if (last_) {
      // A refusal leaves the panels as the last report found them.
      panel = results ? last_->Results : last_->Jackpots;
    } else if (applied_document_ && Wants(applied_document_->Publication, results)) {
      panel = Panel(results);
    }
  }
  Finish(s);
}

void TShopAgent::Republish() {
  TShopState s = *last_;
  Finish(s);
}

void TShopAgent::Finish(TShopState& s) {
  s.Time = Now();
  s.AppliedVersion = applied_.Version;
  s.Attempt = attempt_;
  s.RetryIn = phase_ == TAgentPhase::WaitingRetry ? retry_in_ : 0;
  s.Checked = checked_;
  s.CheckEvery = static_cast<int>(settings_.CheckEvery.count());
  s.Restored = restored_;
  s.Expired = expired_;
  s.Problem = problem_;
  last_ = s;
  const TNetworkBundle& b = settings_.Bundle;
  transport_.Publish(StateTopic(b.Network, b.Identity), StateJson(s), true);
  std::string line = "versión " + std::to_string(s.Version) + ": " + ResultWord(s.Result);
  if (!s.Reason.empty()) line += " (" + s.Reason + ")";
  if (s.RetryIn) line += "; nuevo intento en " + std::to_string(s.RetryIn) + " s";
  Log(line);
  if (OnReport) OnReport(s);
}

// --- stopping ---

void TShopAgent::Stop(std::function<void()> stopped) {
  stopped_ = std::move(stopped);
  retry_timer_->SetEnabled(false);
  check_timer_->SetEnabled(false);
  tick_timer_->SetEnabled(false);
  rest_timer_->SetEnabled(false);
  if (phase_ == TAgentPhase::Delivering || phase_ == TAgentPhase::Checking) {
    phase_ = TAgentPhase::Stopping;
    return;
  }
  FinishStop();
}

void TShopAgent::FinishStop() {
  phase_ = TAgentPhase::Stopped;
  const TNetworkBundle& b = settings_.Bundle;
  transport_.Stop(OnlineTopic(b.Network, b.Identity), "0", [this] {
    std::function<void()> stopped = std::move(stopped_);
    stopped_ = nullptr;
    if (stopped) stopped();
  });
}

}  // namespace quinterra
