#include "network/office_network.h"

#include <ctime>

#include "panels/panel_layout.h"
#include "platform/file_io.h"

namespace quinterra {

std::unique_ptr<TOfficeNetwork> TOfficeNetwork::Load(const std::string& folder,
                                                     std::string* failure) {
  std::optional<TOffice> office = LoadOffice(folder, failure);
  if (!office) return nullptr;
  return std::unique_ptr<TOfficeNetwork>(new TOfficeNetwork(std::move(*office)));
}

TOfficeNetwork::TOfficeNetwork(TOffice office)
    : office_(std::move(office)), session_(office_.Bundle, office_.PublicKey) {
  bound_.setSingleShot(true);
  QObject::connect(&bound_, &QTimer::timeout, [this] { TimedOut(); });
  session_.OnMessage = [this](const std::string& topic) {
    if (session_.Synced() && !synced_) Restore();
    synced_ = session_.Synced();
    Advance();
    if (OnMessage) OnMessage(topic);
  };
}

TOfficeNetwork::~TOfficeNetwork() { session_.OnMessage = nullptr; }

bool TOfficeNetwork::Start(std::string* failure) { return session_.Start(failure); }

void TOfficeNetwork::Restore() {
  std::string said;
  try {
    said = session_.RestoreKept();
  } catch (const FileError& error) {
    said = error.what();
  }
  if (!said.empty() && OnNotice) OnNotice(said);
}

std::optional<int64_t> TOfficeNetwork::NextVersion(std::string* failure) const {
  try {
    return quinterra::NextVersion(office_, Fleet());
  } catch (const FileError& error) {
    if (failure) *failure = error.what();
    return std::nullopt;
  }
}

bool TOfficeNetwork::Publish(std::vector<std::string> items, TDone done) {
  if (Publishing()) return false;
  done_ = std::move(done);
  // Nothing that every shop would refuse, or show blank, is signed.
  std::string failure = ItemsProblem(items);
  if (!failure.empty()) {
    Finish(failure);
    return true;
  }
  const std::optional<TSigningKey> key = LoadSigningKey(office_, &failure);
  if (!key) {
    Finish(failure);
    return true;
  }
  key_ = *key;
  publication_ = TPublication();
  publication_.Network = office_.Bundle.Network;
  publication_.Items = std::move(items);
  step_ = Step::Connecting;
  bound_.start(ConnectBound);
  Advance();
  return true;
}

void TOfficeNetwork::Advance() {
  // A kept publication being given again is there before a new version is
  // counted.
  if (step_ == Step::Connecting && session_.Synced() && session_.Connected() &&
      session_.Restoring().empty()) {
    Send();
  } else if (step_ == Step::Taking && session_.Fleet().DocumentHash() == hash_) {
    Finish({});
  }
}

void TOfficeNetwork::Send() {
  // The version is taken only now: the broker's document is known.
  std::string failure;
  const std::optional<int64_t> version = NextVersion(&failure);
  if (!version) return Finish(failure);
  publication_.Version = *version;
  publication_.Published = static_cast<int64_t>(std::time(nullptr));
  publication_.Expires = publication_.Published + kDefaultLifetimeSeconds;
  const std::string message = SignChecked(office_, publication_, key_, &failure);
  if (message.empty()) return Finish("el documento no se puede publicar: " + failure);
  if (!session_.Publish(message)) return Finish("sin conexión con el servidor");
  hash_ = DocumentHashOf(message);
  message_ = message;
  step_ = Step::Taking;
  bound_.start(TakeBound);
  Advance();
}

void TOfficeNetwork::TimedOut() {
  if (step_ == Step::Connecting) {
    Finish(session_.ConnectionProblem());
  } else if (step_ == Step::Taking) {
    // A publication the broker refuses is acknowledged all the same: only
    // its coming back proves it was taken.
    Finish("el servidor no ha aceptado la publicación (¿permiso del certificado?)");
  }
}

void TOfficeNetwork::Finish(const std::string& failure) {
  step_ = Step::Idle;
  bound_.stop();
  key_.fill(0);
  std::string unsaved;
  if (failure.empty()) {
    try {
      KeepPublication(office_, message_, publication_.Version);
    } catch (const FileError& error) {
      // Published all the same; the next version still counts above it.
      unsaved = UnsavedText(publication_.Version, error.what());
    }
  }
  TDone done = std::move(done_);
  done_ = nullptr;
  if (done) done(failure, failure.empty() ? publication_.Version : 0, unsaved);
}

}  // namespace quinterra
