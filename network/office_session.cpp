#include "network/office_session.h"

#include <unistd.h>

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <filesystem>

#include "network/mqtt_client.h"
#include "network/names.h"
#include "network/office_document.h"

namespace quinterra {

TOfficeSession::TOfficeSession(TNetworkBundle office, TVerifyKey office_key)
    : office_(std::move(office)), office_key_(office_key), fleet_(office_.Network, office_key) {}

TOfficeSession::~TOfficeSession() {
  if (mqtt_) mqtt_->Stop();
}

bool TOfficeSession::Start(std::string* failure) {
  const std::string network = office_.Network;
  marker_ = std::to_string(QRandomGenerator::system()->generate64());
  TMqttSettings settings = office_.Mqtt("quinterra-" + network + "-office-" +
                                        std::to_string(::getpid()) + "-" + marker_.substr(0, 6));
  settings.CleanSession = true;
  mqtt_ = std::make_unique<TMqttClient>(settings);
  mqtt_->OnConnected = [this, network] {
    connected_ = true;
    pending_subscriptions_ = 0;
    for (const std::string& topic :
         {DocumentTopic(network), "quinterra/" + network + "/shops/+/state",
          "quinterra/" + network + "/shops/+/online", OfficeSyncTopic(network)}) {
      if (mqtt_->Subscribe(topic) >= 0) ++pending_subscriptions_;
    }
  };
  // Until the marker comes back again, what arrives is the broker's
  // snapshot, not news.
  mqtt_->OnDisconnected = [this](const std::string&) { connected_ = synced_ = false; };
  mqtt_->OnSubscribed = [this, network](int, const std::vector<int>&) {
    // Every retained message of the subscriptions is on its way before
    // this marker, which comes back after them.
    if (--pending_subscriptions_ == 0) mqtt_->Publish(OfficeSyncTopic(network), marker_, false);
  };
  mqtt_->OnMessage = [this, network](const std::string& topic, const std::string& payload,
                                     bool retained) {
    if (topic == OfficeSyncTopic(network)) {
      synced_ |= payload == marker_;
    } else {
      fleet_.Message(topic, payload, retained);
      if (!restoring_.empty() && fleet_.DocumentHash() == restoring_) restoring_.clear();
    }
    if (OnMessage) OnMessage(topic);
    if (changed_) changed_();
  };
  mqtt_->OnLog = [this](const std::string& line) { failure_ = line; };
  for (const std::string& shop : ShopsOfFolder(office_.Folder)) fleet_.AddKnownShop(shop);
  return mqtt_->Start(failure);
}

std::string TOfficeSession::ConnectionProblem() const {
  if (synced_ && connected_) return {};
  return !connected_ ? "no se pudo conectar con el servidor " + office_.Host + ":" +
                           std::to_string(office_.Port) +
                           (failure_.empty() ? std::string() : " (" + failure_ + ")")
                     : "el servidor no envió los mensajes retenidos a tiempo";
}

bool TOfficeSession::Open(std::chrono::milliseconds timeout, std::string* failure) {
  if (!Start(failure)) return false;
  if (WaitUntil([this] { return synced_; }, timeout)) return true;
  if (failure) *failure = ConnectionProblem();
  return false;
}

std::string TOfficeSession::RestoreKept() {
  const std::optional<TKeptDocument> kept = KeptDocument(TOffice{office_, office_key_});
  if (!synced_ || !kept || !BrokerLacks(*kept, fleet_) || restoring_ == kept->Hash) return {};
  if (!Publish(kept->Message)) return {};
  restoring_ = kept->Hash;
  return RestoredText(*kept, fleet_);
}

bool TOfficeSession::Publish(const std::string& message) {
  return mqtt_ && mqtt_->Publish(DocumentTopic(office_.Network), message, true) >= 0;
}

bool TOfficeSession::PublishDocument(const std::string& message, std::chrono::milliseconds timeout,
                                     std::string* failure) {
  const std::string hash = DocumentHashOf(message);
  if (!Publish(message)) {
    if (failure) *failure = "sin conexión con el servidor";
    return false;
  }
  if (WaitUntil([&] { return fleet_.DocumentHash() == hash; }, timeout)) return true;
  if (failure) *failure = "el servidor no ha aceptado la publicación (¿permiso del certificado?)";
  return false;
}

bool TOfficeSession::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  if (done()) return true;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  changed_ = [&] {
    if (done()) loop.quit();
  };
  timer.start(timeout);
  loop.exec();
  changed_ = nullptr;
  return done();
}

std::vector<std::string> ShopsOfFolder(const std::string& folder) {
  std::vector<std::string> shops;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "shops", error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && ShopIdProblem(name).empty()) shops.push_back(name);
  }
  return shops;
}

}  // namespace quinterra
