#include "network/mqtt_client.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include "network/connection_errors.h"
#include "network/tls_policy.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;

// The owner's thread takes events for at most this long before its other
// work (timers, painting) gets a turn.
constexpr std::chrono::milliseconds kDispatchSlice = 10ms;
// Packets read or written per turn of the event loop.
constexpr int kPacketsPerTurn = 100;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

// What a failed TLS handshake most likely means, from this side's check of
// the server's certificate; empty when that check passed (then the server
// refused this side's certificate).
std::string VerifyText(const SSL* ssl, const std::string& host) {
  const long result = SSL_get_verify_result(ssl);
  if (result == X509_V_OK) return {};
  if (result == X509_V_ERR_CERT_NOT_YET_VALID)
    return "el certificado del servidor aún no es válido: ¿la hora de este equipo es correcta?";
  if (result == X509_V_ERR_CERT_HAS_EXPIRED)
    return "el certificado del servidor ha caducado, o la hora de este equipo va adelantada";
  // The library checks the name itself, after OpenSSL found the chain
  // good, and leaves no reason behind.
  X509* certificate = SSL_get0_peer_certificate(ssl);
  const bool other_name =
      result == X509_V_ERR_UNSPECIFIED ||
      (certificate && X509_check_host(certificate, host.c_str(), host.size(), 0, nullptr) != 1 &&
       X509_check_ip_asc(certificate, host.c_str(), 0) != 1);
  if (other_name)
    return "el certificado del servidor es de otro nombre: ¿es Servidor= de red.ini el de la red?";
  return "el servidor no presenta un certificado de esta red";
}

// OpenSSL's words on a failed certificate check come only through the
// library's log, while the connection's TLS state is still there to ask
// why; the reason shown is ours. Empty for any other line.
std::string VerifyReasonFromLog(mosquitto* mosq, int level, const char* line, const std::string& host) {
  if (level != MOSQ_LOG_ERR || !line || !std::strstr(line, "certificate verify failed")) return {};
  const auto* ssl = static_cast<const SSL*>(mosquitto_ssl_get(mosq));
  return ssl ? VerifyText(ssl, host) : std::string();
}

// Why the socket's connection failed, or 0 while it holds (or is still
// being made).
int SocketConnectError(int socket) {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0) return error;
  sockaddr_storage peer{};
  socklen_t peer_size = sizeof peer;
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0 && errno == ENOTCONN)
    return ENOTCONN;
  return 0;
}

int64_t WallClock() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

std::string MqttErrorText(int rc) {
  switch (rc) {
    case MOSQ_ERR_SUCCESS: return "sin error";
    case MOSQ_ERR_NOMEM: return "sin memoria";
    case MOSQ_ERR_PROTOCOL: return "el servidor no habla el protocolo esperado";
    case MOSQ_ERR_INVAL: return "datos de conexión no válidos";
    case MOSQ_ERR_NO_CONN: return "sin conexión";
    case MOSQ_ERR_CONN_REFUSED: return "el servidor rechaza la conexión";
    case MOSQ_ERR_NOT_FOUND: return "no encontrado";
    case MOSQ_ERR_CONN_LOST: return "se perdió la conexión";
    case MOSQ_ERR_TLS: return "fallo de TLS";
    case MOSQ_ERR_PAYLOAD_SIZE: return "mensaje demasiado grande";
    case MOSQ_ERR_NOT_SUPPORTED: return "no admitido por la biblioteca MQTT";
    case MOSQ_ERR_AUTH: return "el servidor no acepta la identidad";
    case MOSQ_ERR_ACL_DENIED: return "el servidor no lo permite";
    case MOSQ_ERR_UNKNOWN: return "error desconocido";
    case MOSQ_ERR_ERRNO: return std::strerror(errno);
    case MOSQ_ERR_EAI: return "no se encuentra el nombre del servidor";
    case MOSQ_ERR_PROXY: return "fallo del proxy";
    case MOSQ_ERR_KEEPALIVE: return "el servidor no contesta a tiempo";
    default: return "error " + std::to_string(rc) + " de la biblioteca MQTT";
  }
}

// The name lookup of one connection attempt, on a thread of its own: the
// library resolves and starts the connect in one blocking call. The client
// lends it the library's handle; when the client lets go first, the thread
// frees the handle itself.
struct TMqttClient::Lookup {
  std::mutex mutex;
  TMqttClient* owner = nullptr;
  mosquitto* mosq = nullptr;
  bool handed_back = false;
  std::string host;
  // Why the connect failed when it failed inside the call (the handshake
  // may end there on a fast line): the library's log speaks on this thread.
  std::string reason;
  std::vector<std::string> lines;
};

TMqttClient::TMqttClient(TMqttSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), backoff_(std::random_device{}()) {
  housekeeping_.setInterval(1s);
  QObject::connect(&housekeeping_, &QTimer::timeout, this, [this] { Housekeeping(); });
  reconnect_.setSingleShot(true);
  QObject::connect(&reconnect_, &QTimer::timeout, this, [this] { Connect(); });
  last_words_.setSingleShot(true);
  QObject::connect(&last_words_, &QTimer::timeout, this, [this] { FinishStop(); });
}

TMqttClient::~TMqttClient() {
  DropNotifiers();
  if (lookup_) {
    std::lock_guard<std::mutex> lock(lookup_->mutex);
    lookup_->owner = nullptr;
    if (!lookup_->handed_back) mosq_ = nullptr;  // the lookup's thread frees it
    TakeBack();
  }
  if (!mosq_) return;
  if (mosquitto_socket(mosq_) >= 0 && (phase_ == Phase::Connected || phase_ == Phase::Stopping)) {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_write(mosq_, 1);
  }
  mosquitto_destroy(mosq_);
}

bool TMqttClient::Start(std::string* failure) {
  InitLibrary();
  auto fail = [failure](const std::string& why) {
    if (failure) *failure = why;
    return false;
  };
  if (mosq_) return fail("el cliente MQTT ya está en marcha");
  const TMqttSettings& s = settings_;
  mosq_ = mosquitto_new(s.ClientId.c_str(), s.CleanSession, this);
  if (!mosq_) return fail("no se pudo crear el cliente MQTT");
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq_, &OnConnectCallback);
  mosquitto_disconnect_callback_set(mosq_, &OnDisconnectCallback);
  mosquitto_message_callback_set(mosq_, &OnMessageCallback);
  mosquitto_publish_callback_set(mosq_, &OnPublishCallback);
  mosquitto_subscribe_callback_set(mosq_, &OnSubscribeCallback);
  mosquitto_log_callback_set(mosq_, &OnLogCallback);
  if (std::string why = TlsFilesProblem(s.CaFile, s.CertFile, s.KeyFile); !why.empty()) return fail(why);
  int rc = mosquitto_tls_set(mosq_, s.CaFile.c_str(), nullptr, s.CertFile.c_str(),
                             s.KeyFile.c_str(), nullptr);
  if (rc != MOSQ_ERR_SUCCESS) return fail("TLS: " + MqttErrorText(rc));
  rc = mosquitto_tls_opts_set(mosq_, 1, kTlsMinimumVersion, kTls12Ciphers);
  if (rc != MOSQ_ERR_SUCCESS) return fail("TLS: " + MqttErrorText(rc));
  dates_ = ReadCertificateDates(s.CaFile, s.CertFile);
  // Small messages that must not wait for more to fill a segment.
  mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
  if (!s.WillTopic.empty()) {
    rc = mosquitto_will_set(mosq_, s.WillTopic.c_str(), static_cast<int>(s.WillPayload.size()),
                            s.WillPayload.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) return fail("última voluntad: " + MqttErrorText(rc));
  }
  Connect();
  return true;
}

void TMqttClient::Connect() {
  if (!mosq_ || phase_ == Phase::Stopping || phase_ == Phase::Stopped) return;
  DropNotifiers();
  phase_ = Phase::Resolving;
  end_reason_.clear();
  attempt_log_.clear();
  auto lookup = std::make_shared<Lookup>();
  lookup->owner = this;
  lookup->mosq = mosq_;
  lookup->host = settings_.Host;
  lookup_ = lookup;
  // Until the handle comes back, the library's words go to the lookup.
  mosquitto_user_data_set(mosq_, lookup.get());
  mosquitto_log_callback_set(mosq_, &OnLookupLogCallback);
  const bool renew = connected_before_;
  connected_before_ = true;  // the library keeps host and port from the first call
  auto connect = [lookup, renew, host = settings_.Host, port = settings_.Port,
                  keepalive = settings_.KeepAliveSeconds] {
    const int rc = renew ? mosquitto_reconnect_async(lookup->mosq)
                         : mosquitto_connect_async(lookup->mosq, host.c_str(), port, keepalive);
    const int errno_of_call = errno;
    std::lock_guard<std::mutex> lock(lookup->mutex);
    if (!lookup->owner) {
      mosquitto_destroy(lookup->mosq);
      return;
    }
    lookup->handed_back = true;
    TMqttClient* owner = lookup->owner;
    // The owner gets copies: the record itself is this thread's to free
    // once it ends, and is only ever read again under its mutex.
    QMetaObject::invokeMethod(
        owner,
        [owner, handle = std::weak_ptr<Lookup>(lookup), reason = lookup->reason,
         lines = lookup->lines, rc, errno_of_call] {
          const std::shared_ptr<Lookup> current = handle.lock();
          if (!current || owner->lookup_ != current) return;
          owner->lookup_.reset();
          owner->LookupDone(rc, reason, lines, errno_of_call);
        },
        Qt::QueuedConnection);
  };
  // An address needs no lookup: the call returns at once, and a thousand
  // clients starting together need no thousand threads.
  in6_addr address{};
  const bool literal = inet_pton(AF_INET, settings_.Host.c_str(), &address) == 1 ||
                       inet_pton(AF_INET6, settings_.Host.c_str(), &address) == 1;
  if (!literal) {
    try {
      std::thread(connect).detach();
      return;
    } catch (const std::system_error&) {
      // No thread to be had: the lookup blocks this once.
    }
  }
  connect();
}

void TMqttClient::TakeBack() {
  if (!mosq_) return;
  mosquitto_user_data_set(mosq_, this);
  mosquitto_log_callback_set(mosq_, &OnLogCallback);
}

void TMqttClient::LookupDone(int rc, const std::string& reason, const std::vector<std::string>& lines,
                             int error_number) {
  TakeBack();
  if (phase_ != Phase::Resolving) return;
  attempt_log_ = lines;
  if (rc != MOSQ_ERR_SUCCESS) {
    ScheduleReconnect(!reason.empty() ? reason : FailureText(rc, error_number));
    return;
  }
  phase_ = Phase::Connecting;
  housekeeping_.start();
  AfterLibrary(MOSQ_ERR_SUCCESS);
}

std::string TMqttClient::FailureText(int rc, int error_number) const {
  TConnectionAttempt attempt;
  attempt.Host = settings_.Host;
  attempt.Port = settings_.Port;
  attempt.Result = rc;
  attempt.ErrorNumber = error_number;
  attempt.LibraryLog = attempt_log_;
  return ConnectionFailureText(attempt, dates_, WallClock());
}

void TMqttClient::ScheduleReconnect(const std::string& why) {
  DropNotifiers();
  housekeeping_.stop();
  const bool was_connected = phase_ == Phase::Connected;
  phase_ = Phase::Waiting;
  std::chrono::milliseconds wait = backoff_.Next();
  const auto now = std::chrono::steady_clock::now();
  if (hold_until_ > now)
    wait = std::max(wait, std::chrono::duration_cast<std::chrono::milliseconds>(hold_until_ - now));
  reconnect_.start(wait);
  const std::string line = "sin conexión con el servidor " + settings_.Host + ":" +
                           std::to_string(settings_.Port) + ": " + why + "; nuevo intento en " +
                           std::to_string((wait.count() + 999) / 1000) + " s";
  Post([this, line, why, was_connected] {
    if (was_connected && OnDisconnected) OnDisconnected(why);
    if (OnLog) OnLog(line);
  });
}

void TMqttClient::HoldOff(std::chrono::milliseconds delay) {
  hold_until_ = std::max(hold_until_, std::chrono::steady_clock::now() + delay);
  if (phase_ == Phase::Waiting) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        hold_until_ - std::chrono::steady_clock::now());
    if (left.count() > reconnect_.remainingTime()) reconnect_.start(left);
  }
}

void TMqttClient::Housekeeping() {
  if (!mosq_ || socket_ < 0) return;
  AfterLibrary(mosquitto_loop_misc(mosq_));
}

void TMqttClient::Readable() {
  if (!mosq_ || socket_ < 0 || ConnectFailed()) return;
  AfterLibrary(mosquitto_loop_read(mosq_, kPacketsPerTurn));
}

void TMqttClient::Writable() {
  if (!mosq_ || socket_ < 0 || ConnectFailed()) return;
  AfterLibrary(mosquitto_loop_write(mosq_, kPacketsPerTurn));
}

// The library keeps retrying the TLS handshake on a socket whose connection
// was refused or timed out, as if the answer were still to come: the socket
// stays readable and the owner's thread would spin until the keep-alive
// ends the attempt. The socket's own error, asked before the library reads
// it, ends the attempt at once with its reason.
bool TMqttClient::ConnectFailed() {
  if (phase_ != Phase::Connecting) return false;
  const int error = SocketConnectError(socket_);
  if (error == 0) return false;
  ScheduleReconnect(FailureText(MOSQ_ERR_ERRNO, error));
  return true;
}

void TMqttClient::AfterLibrary(int rc) {
  const int socket = mosq_ && phase_ != Phase::Resolving ? mosquitto_socket(mosq_) : -1;
  if (socket != socket_) {
    DropNotifiers();
    socket_ = socket;
    if (socket_ >= 0) {
      read_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Read);
      QObject::connect(read_.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
      write_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Write);
      QObject::connect(write_.get(), &QSocketNotifier::activated, this, [this] { Writable(); });
    }
  }
  if (write_) write_->setEnabled(mosquitto_want_write(mosq_));
  if (socket_ < 0 && (phase_ == Phase::Connecting || phase_ == Phase::Connected)) {
    // Closed by the library: after its word (on_disconnect), or without one
    // when the TLS handshake failed; then this side's certificate check says
    // whether it was the server's certificate.
    std::string why = end_reason_;
    if (why.empty() && phase_ == Phase::Connecting) {
      if (const auto* ssl = static_cast<const SSL*>(mosquitto_ssl_get(mosq_)))
        why = VerifyText(ssl, settings_.Host);
    }
    if (why.empty()) why = FailureText(rc ? rc : disconnect_rc_, errno);
    ScheduleReconnect(why);
  } else if (socket_ < 0 && phase_ == Phase::Stopping) {
    FinishStop();
  }
}

void TMqttClient::DropNotifiers() {
  read_.reset();
  write_.reset();
  socket_ = -1;
}

int TMqttClient::Publish(const std::string& topic, const std::string& payload, bool retain) {
  if (phase_ != Phase::Connected) return -1;
  int mid = -1;
  const int rc = mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), 1, retain);
  AfterLibrary(rc);
  return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

int TMqttClient::Subscribe(const std::vector<std::string>& topics) {
  if (phase_ != Phase::Connected || topics.empty()) return -1;
  std::vector<char*> list;
  for (const std::string& topic : topics) list.push_back(const_cast<char*>(topic.c_str()));
  int mid = -1;
  const int rc = mosquitto_subscribe_multiple(mosq_, &mid, static_cast<int>(list.size()),
                                              list.data(), 1, 0, nullptr);
  AfterLibrary(rc);
  return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void TMqttClient::Stop(const std::string& topic, const std::string& payload,
                       std::function<void()> done) {
  if (phase_ == Phase::Stopping) {
    if (done) stopped_ = std::move(done);
    return;
  }
  stopped_ = std::move(done);
  reconnect_.stop();
  if (phase_ == Phase::Connected && !topic.empty()) {
    int mid = -1;
    if (mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, true) == MOSQ_ERR_SUCCESS) {
      phase_ = Phase::Stopping;
      last_words_mid_ = mid;
      last_words_.start(LastWordsBound);
      AfterLibrary(MOSQ_ERR_SUCCESS);
      return;
    }
  }
  FinishStop();
}

void TMqttClient::FinishStop() {
  if (phase_ == Phase::Stopped) return;
  last_words_.stop();
  reconnect_.stop();
  housekeeping_.stop();
  if (lookup_) {
    std::lock_guard<std::mutex> lock(lookup_->mutex);
    lookup_->owner = nullptr;
    if (!lookup_->handed_back) mosq_ = nullptr;
    TakeBack();
    lookup_.reset();
  }
  const bool open = mosq_ && mosquitto_socket(mosq_) >= 0;
  phase_ = Phase::Stopped;
  if (open) {
    // A clean disconnection, so the broker drops the last will.
    mosquitto_disconnect(mosq_);
    mosquitto_loop_write(mosq_, 1);
  }
  DropNotifiers();
  Post([this] {
    std::function<void()> stopped = std::move(stopped_);
    stopped_ = nullptr;
    if (stopped) stopped();
  });
}

// Every event reaches its handler on a later turn of the owner's loop,
// whichever path raised it: a connection that fails inside the lookup's
// call never comes back through the library's loop.
void TMqttClient::Post(std::function<void()> event) {
  events_.push_back(std::move(event));
  if (dispatch_posted_) return;
  dispatch_posted_ = true;
  QMetaObject::invokeMethod(this, [this] { Dispatch(); }, Qt::QueuedConnection);
}

void TMqttClient::Dispatch() {
  QElapsedTimer spent;
  spent.start();
  const QPointer<TMqttClient> alive(this);
  while (!events_.empty()) {
    if (spent.elapsed() >= kDispatchSlice.count()) {
      // The rest after what waits already (timers included).
      QMetaObject::invokeMethod(this, [this] { Dispatch(); }, Qt::QueuedConnection);
      return;
    }
    std::function<void()> event = std::move(events_.front());
    events_.pop_front();
    event();
    if (!alive) return;  // a handler ended the client
  }
  dispatch_posted_ = false;
}

void TMqttClient::OnConnectCallback(mosquitto*, void* self, int rc) {
  auto* client = static_cast<TMqttClient*>(self);
  if (client->phase_ != Phase::Connecting) return;
  if (rc != 0) {
    client->end_reason_ = ConnackText(rc);
    return;
  }
  client->phase_ = Phase::Connected;
  client->backoff_.Reset();
  client->Post([client] {
    if (client->OnConnected) client->OnConnected();
  });
}

void TMqttClient::OnDisconnectCallback(mosquitto*, void* self, int rc) {
  auto* client = static_cast<TMqttClient*>(self);
  // A connection that had been made is simply lost; an attempt's failure is
  // told from what the library logged (AfterLibrary).
  client->disconnect_rc_ = rc ? rc : MOSQ_ERR_CONN_LOST;
  if (client->end_reason_.empty() && client->phase_ == Phase::Connected)
    client->end_reason_ = MqttErrorText(client->disconnect_rc_);
}

void TMqttClient::OnMessageCallback(mosquitto*, void* self, const mosquitto_message* message) {
  auto* client = static_cast<TMqttClient*>(self);
  std::string topic = message->topic;
  std::string payload(static_cast<const char*>(message->payload),
                      static_cast<size_t>(message->payloadlen));
  const bool retained = message->retain;
  client->Post([client, topic = std::move(topic), payload = std::move(payload), retained] {
    if (client->OnMessage) client->OnMessage(topic, payload, retained);
  });
}

void TMqttClient::OnPublishCallback(mosquitto*, void* self, int mid) {
  auto* client = static_cast<TMqttClient*>(self);
  if (client->phase_ == Phase::Stopping && mid == client->last_words_mid_) {
    // Handled after the library call returns: FinishStop calls into it.
    QMetaObject::invokeMethod(client, [client] { client->FinishStop(); }, Qt::QueuedConnection);
    return;
  }
  client->Post([client, mid] {
    if (client->OnPublished) client->OnPublished(mid);
  });
}

void TMqttClient::OnSubscribeCallback(mosquitto*, void* self, int mid, int count, const int* granted) {
  auto* client = static_cast<TMqttClient*>(self);
  std::vector<int> qos(granted, granted + std::max(count, 0));
  client->Post([client, mid, qos = std::move(qos)] {
    if (client->OnSubscribed) client->OnSubscribed(mid, qos);
  });
}

void TMqttClient::OnLogCallback(mosquitto* mosq, void* self, int level, const char* line) {
  auto* client = static_cast<TMqttClient*>(self);
  if (level == MOSQ_LOG_ERR && line) client->attempt_log_.push_back(line);
  if (client->end_reason_.empty())
    client->end_reason_ = VerifyReasonFromLog(mosq, level, line, client->settings_.Host);
}

void TMqttClient::OnLookupLogCallback(mosquitto* mosq, void* lookup, int level, const char* line) {
  auto* pending = static_cast<Lookup*>(lookup);
  if (level == MOSQ_LOG_ERR && line) pending->lines.push_back(line);
  if (pending->reason.empty()) pending->reason = VerifyReasonFromLog(mosq, level, line, pending->host);
}

}  // namespace quinterra
