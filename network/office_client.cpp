#include "network/office_client.h"

#include <unistd.h>

#include <QRandomGenerator>

#include <ctime>
#include <filesystem>

#include "network/names.h"
#include "platform/file_io.h"

namespace quinterra {
namespace {

constexpr int kRefusedTopic = 0x80;

}  // namespace

TTransportFactory MqttTransports() {
  return [](const TMqttSettings& settings) -> std::unique_ptr<IMqttTransport> {
    return std::make_unique<TMqttClient>(settings);
  };
}

TMqttSettings OfficeMqttSettings(const TNetworkBundle& bundle) {
  const std::string salt = std::to_string(QRandomGenerator::system()->generate64()).substr(0, 6);
  TMqttSettings settings = bundle.Mqtt("quinterra-" + bundle.Network + "-office-" +
                                       std::to_string(::getpid()) + "-" + salt);
  settings.CleanSession = true;
  return settings;
}

std::unique_ptr<TOfficeClient> TOfficeClient::Open(const std::string& folder, ITimerFactory& timers,
                                                   std::string* failure,
                                                   const TTransportFactory& transports) {
  std::optional<TOffice> office = LoadOffice(folder, failure);
  if (!office) return nullptr;
  std::unique_ptr<IMqttTransport> transport = transports(OfficeMqttSettings(office->Bundle));
  return std::make_unique<TOfficeClient>(std::move(*office), std::move(transport), timers);
}

TOfficeClient::TOfficeClient(TOffice office, std::unique_ptr<IMqttTransport> transport,
                             ITimerFactory& timers)
    : office_(std::move(office)),
      transport_(std::move(transport)),
      fleet_(office_.Bundle.Network, office_.PublicKey),
      link_bound_(timers.CreateTimer()),
      restore_bound_(timers.CreateTimer()),
      bound_(timers.CreateTimer()),
      kick_(timers.CreateTimer()) {
  fleet_.Clock = [this] { return Clock(); };
  link_bound_->OnTimer = [this] {
    link_bound_->SetEnabled(false);
    if (link_ != TOfficeLink::Ready) SetLink(TOfficeLink::Lost);
  };
  restore_bound_->OnTimer = [this] { RestoreTimedOut(); };
  bound_->OnTimer = [this] { BoundPassed(); };
  // Advances a publication just asked for, out of the call that asked.
  kick_->SetInterval(std::chrono::milliseconds(1));
  kick_->OnTimer = [this] {
    kick_->SetEnabled(false);
    Advance();
  };
  transport_->OnConnected = [this] { Connected(); };
  transport_->OnDisconnected = [this](const std::string& why) { Disconnected(why); };
  transport_->OnSubscribed = [this](int mid, const std::vector<int>& granted) {
    Subscribed(mid, granted);
  };
  transport_->OnMessage = [this](const std::string& topic, const std::string& payload, bool retained) {
    Message(topic, payload, retained);
  };
  transport_->OnLog = [this](const std::string& line) {
    failure_ = line;
    if (link_ != TOfficeLink::Ready && OnWaiting) OnWaiting(line);
  };
  for (const std::string& shop : ShopsOfFolder(office_.Bundle.Folder)) fleet_.AddKnownShop(shop);
}

TOfficeClient::~TOfficeClient() {
  key_.fill(0);
  // Nothing of the transport may reach this object once it is going.
  transport_->OnConnected = nullptr;
  transport_->OnDisconnected = nullptr;
  transport_->OnSubscribed = nullptr;
  transport_->OnMessage = nullptr;
  transport_->OnLog = nullptr;
  transport_->Stop({}, {}, nullptr);
}

int64_t TOfficeClient::Clock() const {
  return Now ? Now() : static_cast<int64_t>(std::time(nullptr));
}

bool TOfficeClient::Start(std::string* failure) {
  marker_ = std::to_string(QRandomGenerator::system()->generate64());
  link_ = TOfficeLink::Connecting;
  link_since_ = Clock();
  link_bound_->SetInterval(ConnectBound);
  link_bound_->SetEnabled(true);
  return transport_->Start(failure);
}

// --- the connection ---

void TOfficeClient::SetLink(TOfficeLink link) {
  if (link == link_) return;
  link_ = link;
  link_since_ = Clock();
  if (OnLinkChanged) OnLinkChanged();
}

void TOfficeClient::Connected() {
  const std::string& network = office_.Bundle.Network;
  broker_has_document_ = false;
  subscription_ = transport_->Subscribe({DocumentTopic(network), StateTopic(network, "+"),
                                         OnlineTopic(network, "+"), OfficeSyncTopic(network)});
  SetLink(TOfficeLink::Syncing);
}

void TOfficeClient::Disconnected(const std::string& why) {
  failure_ = why;
  // Until the marker comes back again, what arrives is the broker's
  // snapshot, not news.
  SetLink(TOfficeLink::Lost);
}

void TOfficeClient::Subscribed(int mid, const std::vector<int>& granted) {
  if (mid != subscription_) return;
  // Every retained message of the subscriptions is on its way before the
  // marker, which comes back after them. A broker whose rules refuse the
  // marker's topic sent them with the acknowledgement's turn.
  if (granted.size() >= 4 && granted[3] == kRefusedTopic) return BecameReady();
  transport_->Publish(OfficeSyncTopic(office_.Bundle.Network), marker_, false);
}

void TOfficeClient::Message(const std::string& topic, const std::string& payload, bool retained) {
  const std::string& network = office_.Bundle.Network;
  if (topic == OfficeSyncTopic(network)) {
    if (payload == marker_ && link_ != TOfficeLink::Ready) BecameReady();
    return;
  }
  fleet_.Message(topic, payload, retained);
  if (topic == DocumentTopic(network)) {
    broker_has_document_ = !payload.empty();
    if (!restoring_.empty() && fleet_.DocumentHash() == restoring_) {
      restoring_.clear();
      restore_bound_->SetEnabled(false);
      if (OnNotice) OnNotice(restoring_said_);
    }
    if (OnDocumentChanged) OnDocumentChanged();
    Advance();
    return;
  }
  const std::string shop = ShopOfTopic(network, topic);
  if (!shop.empty() && OnShopChanged) OnShopChanged(shop);
}

void TOfficeClient::BecameReady() {
  link_bound_->SetEnabled(false);
  // Before the link says Ready: whoever waits for it sees the restoring.
  Restore();
  SetLink(TOfficeLink::Ready);
  Advance();
}

std::string TOfficeClient::LinkProblem() const {
  const std::string server =
      "el servidor " + office_.Bundle.Host + ":" + std::to_string(office_.Bundle.Port);
  switch (link_) {
    case TOfficeLink::Ready: return {};
    case TOfficeLink::Syncing: return server + " no envió los mensajes retenidos a tiempo";
    case TOfficeLink::Connecting:
    case TOfficeLink::Lost: break;
  }
  return "no se pudo conectar con " + server + (failure_.empty() ? std::string() : " (" + failure_ + ")");
}

// --- the kept publication ---

void TOfficeClient::Restore() {
  if (!restoring_.empty()) return;
  std::optional<TKeptDocument> kept;
  try {
    kept = KeptDocument(office_);
  } catch (const FileError& error) {
    if (OnNotice) OnNotice(error.what());
    return;
  }
  if (!kept || (broker_has_document_ && !BrokerLacks(*kept, fleet_))) return;
  if (transport_->Publish(DocumentTopic(office_.Bundle.Network), kept->Message, true) < 0) return;
  restoring_ = kept->Hash;
  restoring_said_ = RestoredText(*kept, fleet_);
  restoring_version_ = kept->Version;
  restore_bound_->SetInterval(TakeBound);
  restore_bound_->SetEnabled(true);
}

void TOfficeClient::RestoreTimedOut() {
  restore_bound_->SetEnabled(false);
  if (restoring_.empty()) return;
  restoring_.clear();
  if (OnNotice)
    OnNotice("el servidor no tiene la versión " + std::to_string(restoring_version_) +
             " y no ha aceptado que se publique de nuevo");
  Advance();
}

// --- a publication ---

std::optional<int64_t> TOfficeClient::NextVersion(std::string* failure) const {
  try {
    return quinterra::NextVersion(office_, fleet_);
  } catch (const FileError& error) {
    if (failure) *failure = error.what();
    return std::nullopt;
  }
}

std::string TOfficeClient::Publish(TPublishRequest request) {
  if (step_ != TPublishStep::Idle) return "ya hay una publicación en curso";
  // Nothing that every shop would refuse, or show blank, is signed.
  std::string problem = ItemsProblem(request.Items);
  if (!problem.empty()) return problem;
  const std::optional<TSigningKey> key = LoadSigningKey(office_, &problem);
  if (!key) return problem;
  key_ = *key;
  request_ = std::move(request);
  step_ = TPublishStep::Waiting;
  bound_->SetInterval(PublishWait);
  bound_->SetEnabled(true);
  kick_->SetEnabled(true);
  return {};
}

bool TOfficeClient::Cancel() {
  if (step_ != TPublishStep::Waiting) return false;
  step_ = TPublishStep::Idle;
  bound_->SetEnabled(false);
  kick_->SetEnabled(false);
  key_.fill(0);
  return true;
}

void TOfficeClient::Advance() {
  switch (step_) {
    case TPublishStep::Idle:
      return;
    case TPublishStep::Waiting:
      // The version is counted only once the broker's document, every
      // shop's state and a kept publication given again are in.
      if (link_ == TOfficeLink::Ready && restoring_.empty()) Send();
      return;
    case TPublishStep::Taking:
      if (fleet_.DocumentHash() == hash_) {
        std::string unsaved;
        try {
          KeepPublication(office_, message_, version_);
        } catch (const FileError& error) {
          // Published all the same; the next version still counts above it.
          unsaved = UnsavedText(version_, error.what());
        }
        Finish(TPublishResult::Published, unsaved);
      }
      return;
  }
}

void TOfficeClient::Send() {
  std::string failure;
  const std::optional<int64_t> version = NextVersion(&failure);
  if (!version) return Finish(TPublishResult::Refused, failure);
  TPublication publication;
  publication.Network = office_.Bundle.Network;
  publication.Version = *version;
  publication.Published = Clock();
  publication.Expires = publication.Published + request_.LifetimeSeconds;
  publication.Results = request_.Results;
  publication.Jackpots = request_.Jackpots;
  publication.Items = request_.Items;
  const std::string message = SignChecked(office_, publication, key_, &failure);
  key_.fill(0);
  if (message.empty()) return Finish(TPublishResult::Refused, "el documento no se puede publicar: " + failure);
  if (transport_->Publish(DocumentTopic(office_.Bundle.Network), message, true) < 0)
    return Finish(TPublishResult::Unreachable, "sin conexión con el servidor");
  message_ = message;
  hash_ = DocumentHashOf(message);
  version_ = *version;
  step_ = TPublishStep::Taking;
  bound_->SetEnabled(false);
  bound_->SetInterval(TakeBound);
  bound_->SetEnabled(true);
}

void TOfficeClient::BoundPassed() {
  if (step_ == TPublishStep::Waiting) return Finish(TPublishResult::Unreachable, LinkProblem());
  // A publication the broker refuses is acknowledged all the same: only its
  // coming back proves it was taken.
  if (step_ == TPublishStep::Taking)
    return Finish(TPublishResult::NotTaken,
                  "el servidor no ha aceptado la publicación (¿permiso del certificado?)");
  bound_->SetEnabled(false);
}

void TOfficeClient::Finish(TPublishResult result, const std::string& why) {
  TPublishOutcome outcome;
  outcome.Result = result;
  outcome.Why = why;
  if (result == TPublishResult::Published) {
    outcome.Version = version_;
    outcome.Hash = hash_;
  }
  step_ = TPublishStep::Idle;
  bound_->SetEnabled(false);
  key_.fill(0);
  request_ = TPublishRequest();
  if (OnPublished) OnPublished(outcome);
}

std::vector<std::string> ShopsOfFolder(const std::string& folder) {
  std::vector<std::string> shops;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(folder) / "shops", error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && ShopIdProblem(name).empty()) shops.push_back(name);
  }
  return shops;
}

}  // namespace quinterra
