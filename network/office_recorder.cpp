#include "network/office_recorder.h"

#include <QRandomGenerator>

#include "network/mqtt_transport.h"
#include "network/names.h"

namespace quinterra {
namespace {

// What a report says, all but its time: equal keys, nothing new.
std::string KeyOf(const std::vector<TRecordEntry>& entries) {
  std::string key;
  for (const TRecordEntry& entry : entries) {
    const THistoryEvent& e = entry.Event;
    key += e.Panel + '\n' + e.Outcome + '\n' + (e.Version ? std::to_string(*e.Version) : "") + '\n' +
           e.DocumentSha256 + '\n' + e.Detail + '\n' +
           (entry.Image.empty() ? std::string() : Sha256Hex(entry.Image)) + '\n';
  }
  return key;
}

}  // namespace

std::string RecorderClientId(const std::string& network) {
  return "quinterra-" + network + "-office-recorder";
}

TOfficeRecorder::TOfficeRecorder(TOfficeRecorderSettings settings, IMqttTransport& transport,
                                 ITimerFactory& timers, TSink sink)
    : settings_(std::move(settings)), transport_(transport), sink_(std::move(sink)),
      sweep_(timers.CreateTimer()) {
  sweep_->SetInterval(settings_.Sweep);
  sweep_->OnTimer = [this] { Sweep(); };
  transport_.OnConnected = [this] { Connected(); };
  transport_.OnDisconnected = [this](const std::string& why) { Disconnected(why); };
  transport_.OnSubscribed = [this](int mid, const std::vector<int>& granted) { Subscribed(mid, granted); };
  transport_.OnMessage = [this](const std::string& topic, const std::string& payload, bool retained) {
    Message(topic, payload, retained);
  };
  transport_.OnLog = [this](const std::string& line) { Log(line); };
}

TOfficeRecorder::~TOfficeRecorder() {
  transport_.OnConnected = nullptr;
  transport_.OnDisconnected = nullptr;
  transport_.OnSubscribed = nullptr;
  transport_.OnMessage = nullptr;
  transport_.OnLog = nullptr;
}

TSystemTime TOfficeRecorder::Now() const {
  return settings_.Now ? settings_.Now() : std::chrono::system_clock::now();
}

int64_t TOfficeRecorder::Seconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(Now().time_since_epoch()).count();
}

void TOfficeRecorder::Log(const std::string& line) {
  if (OnLog) OnLog(line);
}

void TOfficeRecorder::Record(std::vector<TRecordEntry> entries) {
  recorded_ += static_cast<int64_t>(entries.size());
  last_recorded_ = Now();
  if (OnRecorded) OnRecorded(entries);
  if (sink_) sink_(std::move(entries));
}

bool TOfficeRecorder::Start(std::string* failure) {
  Record({RecorderEntry(office_outcome::kStart, {}, Now())});
  last_recorded_ = Now();
  sweep_->SetEnabled(true);
  return transport_.Start(failure);
}

void TOfficeRecorder::Stop(std::function<void()> stopped) {
  stopping_ = true;
  sweep_->SetEnabled(false);
  // The transport hands on what it received before it calls back.
  transport_.Stop({}, {}, [this, stopped = std::move(stopped)] {
    Record({RecorderEntry(office_outcome::kStop, {}, Now())});
    if (stopped) stopped();
  });
}

void TOfficeRecorder::Connected() {
  connected_ = true;
  synced_ = false;
  // A marker of this connection's own: one queued from an earlier one is
  // not the end of this one's retained messages.
  marker_ = std::to_string(QRandomGenerator::system()->generate64());
  const std::string& n = settings_.Network;
  subscription_ = transport_.Subscribe(std::vector<std::string>{
      DocumentTopic(n), "quinterra/" + n + "/shops/+/state", "quinterra/" + n + "/shops/+/online",
      OfficeSyncTopic(n)});
}

void TOfficeRecorder::Disconnected(const std::string& why) {
  connected_ = synced_ = false;
  if (!stopping_) Record({RecorderEntry(office_outcome::kDisconnected, why, Now())});
}

void TOfficeRecorder::Subscribed(int mid, const std::vector<int>& granted) {
  if (mid != subscription_) return;
  for (int qos : granted) {
    if (qos == 0x80) Log("el servidor no deja leer todos los temas de la red: ¿es el certificado de la oficina?");
  }
  // It comes back after every retained message of the subscription.
  transport_.Publish(OfficeSyncTopic(settings_.Network), marker_, false);
}

void TOfficeRecorder::Message(const std::string& topic, const std::string& payload, bool retained) {
  ++messages_;
  const std::string& n = settings_.Network;
  if (topic == OfficeSyncTopic(n)) {
    if (payload == marker_ && !synced_) {
      synced_ = true;
      Record({RecorderEntry(office_outcome::kSynced, {}, Now())});
    }
    return;
  }
  if (topic == DocumentTopic(n)) {
    // An emptied topic says nothing about what the shops were asked.
    if (payload.empty()) return;
    const std::string hash = DocumentHashOf(payload);
    if (hash == document_hash_) return;
    document_hash_ = hash;
    Record(PublicationEntries(payload, settings_.OfficeKey, n, Now()));
    return;
  }
  const std::string shop = ShopOfTopic(n, topic);
  if (shop.empty() || payload.empty()) return;
  if (topic == OnlineTopic(n, shop)) {
    if (payload != "1" && payload != "0") return;
    Shop& entry = shops_[shop];
    const bool online = payload == "1";
    if (entry.Online != online) {
      entry.Online = online;
      Record({PresenceEntry(shop, online, Now())});
    }
    JudgeChecks(shop, entry);
    return;
  }
  TakeState(shop, payload, retained);
}

void TOfficeRecorder::TakeState(const std::string& name, const std::string& payload, bool retained) {
  std::optional<TShopState> state = ParseStateJson(payload);
  // A shop speaks only for itself.
  if (state && (state->Shop != name || state->Network != settings_.Network)) state.reset();
  Shop& shop = shops_[name];
  std::vector<TRecordEntry> entries = ReportEntries(name, state, Now());
  std::string key = KeyOf(entries);
  if (key != shop.ReportKey) {
    shop.ReportKey = std::move(key);
    Record(std::move(entries));
  }
  shop.HasState = state.has_value();
  if (state) {
    // As the fleet counts it: the shop's clock only for a duration, the
    // office's for when (a retained state has no better time than its own).
    const int64_t received = retained ? state->Time : Seconds();
    const int64_t checked = state->Checked ? state->Checked : state->Time;
    shop.CheckedAt = received - (state->Time - checked);
    shop.CheckEvery = state->CheckEvery;
  }
  JudgeChecks(name, shop);
}

void TOfficeRecorder::JudgeChecks(const std::string& name, Shop& shop) {
  // Offline says more than unchecked; the shop is judged again on its return.
  if (shop.Online != true || !shop.HasState) return;
  const bool overdue =
      shop.CheckEvery > 0 && static_cast<double>(Seconds() - shop.CheckedAt) >
                                 kOverdueIntervals * static_cast<double>(shop.CheckEvery);
  if (overdue == shop.Unchecked) return;
  shop.Unchecked = overdue;
  Record({CheckEntry(name, !overdue, shop.CheckedAt, Now())});
}

void TOfficeRecorder::Sweep() {
  for (auto& [name, shop] : shops_) JudgeChecks(name, shop);
  if (connected_ && Now() - last_recorded_ >= settings_.QuietAlive)
    Record({RecorderEntry(office_outcome::kAlive, {}, Now())});
}

}  // namespace quinterra
