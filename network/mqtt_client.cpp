#include "network/mqtt_client.h"

#include <mosquitto.h>

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace quinterra {
namespace {

constexpr std::chrono::seconds kFirstReconnect(1);
constexpr std::chrono::seconds kLastReconnect(30);
// The owner's thread takes events for at most this long before its other
// work (timers, painting) gets a turn.
constexpr std::chrono::milliseconds kDrainSlice(10);

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string ErrorText(int rc) {
  return rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : std::string(mosquitto_strerror(rc));
}

}  // namespace

struct TMqttClient::Core {
  TMqttSettings settings;
  mosquitto* mosq = nullptr;
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  bool stopping = false;
  bool connected = false;
  std::set<int> acknowledged;
  TMqttClient* owner = nullptr;  // null once the client is gone
  // Calls for the owner's thread, taken in slices by Drain: a burst of a
  // thousand messages must not hold its event loop for all of them.
  std::deque<std::function<void(TMqttClient&)>> inbox;
  bool drain_posted = false;

  ~Core() {
    if (mosq) mosquitto_destroy(mosq);
  }

  // Hands a call to the owner's thread; dropped once the owner is gone.
  void Post(std::function<void(TMqttClient&)> call) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!owner) return;
    inbox.push_back(std::move(call));
    if (drain_posted) return;
    drain_posted = true;
    TMqttClient* target = owner;
    QMetaObject::invokeMethod(target, [target] { target->Drain(); }, Qt::QueuedConnection);
  }
  void Log(const std::string& line) {
    Post([line](TMqttClient& client) {
      if (client.OnLog) client.OnLog(line);
    });
  }

  void Run() {
    std::chrono::seconds delay = kFirstReconnect;
    bool first = true;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) return;
      }
      int rc = first ? mosquitto_connect(mosq, settings.Host.c_str(), settings.Port,
                                         settings.KeepAliveSeconds)
                     : mosquitto_reconnect(mosq);
      first = false;
      if (rc == MOSQ_ERR_SUCCESS) {
        delay = kFirstReconnect;
        // Reconnects by itself after ordinary losses; it returns on stop and
        // on errors it deems fatal (TLS, name lookup), which must not end
        // the connection for good.
        rc = mosquitto_loop_forever(mosq, 1000, 1);
      }
      std::unique_lock<std::mutex> lock(mutex);
      if (stopping) return;
      lock.unlock();
      Log("sin conexión con el servidor " + settings.Host + ":" + std::to_string(settings.Port) +
          ": " + ErrorText(rc) + "; nuevo intento en " + std::to_string(delay.count()) + " s");
      lock.lock();
      changed.wait_for(lock, delay, [this] { return stopping; });
      delay = std::min(delay * 2, kLastReconnect);
    }
  }

  static void OnConnect(mosquitto*, void* object, int rc) {
    auto* core = static_cast<Core*>(object);
    if (rc != 0) {
      core->Log(std::string("el servidor rechaza la conexión: ") + mosquitto_connack_string(rc));
      return;
    }
    {
      std::lock_guard<std::mutex> lock(core->mutex);
      core->connected = true;
    }
    core->Post([](TMqttClient& client) {
      if (client.OnConnected) client.OnConnected();
    });
  }
  static void OnDisconnect(mosquitto*, void* object, int rc) {
    auto* core = static_cast<Core*>(object);
    {
      std::lock_guard<std::mutex> lock(core->mutex);
      core->connected = false;
    }
    const std::string why = rc == 0 ? "desconexión pedida" : ErrorText(rc);
    core->Post([why](TMqttClient& client) {
      if (client.OnDisconnected) client.OnDisconnected(why);
    });
  }
  static void OnMessage(mosquitto*, void* object, const mosquitto_message* message) {
    std::string topic = message->topic;
    std::string payload(static_cast<const char*>(message->payload),
                        static_cast<size_t>(message->payloadlen));
    const bool retained = message->retain;
    static_cast<Core*>(object)->Post(
        [topic = std::move(topic), payload = std::move(payload), retained](TMqttClient& client) {
          if (client.OnMessage) client.OnMessage(topic, payload, retained);
        });
  }
  static void OnPublish(mosquitto*, void* object, int mid) {
    auto* core = static_cast<Core*>(object);
    {
      std::lock_guard<std::mutex> lock(core->mutex);
      core->acknowledged.insert(mid);
    }
    core->changed.notify_all();
    core->Post([mid](TMqttClient& client) {
      {
        std::lock_guard<std::mutex> lock(client.core_->mutex);
        client.core_->acknowledged.erase(mid);
      }
      if (client.OnPublished) client.OnPublished(mid);
    });
  }
  static void OnSubscribe(mosquitto*, void* object, int mid, int, const int*) {
    static_cast<Core*>(object)->Post([mid](TMqttClient& client) {
      if (client.OnSubscribed) client.OnSubscribed(mid);
    });
  }
};

TMqttClient::TMqttClient(TMqttSettings settings, QObject* parent)
    : QObject(parent), core_(std::make_shared<Core>()) {
  core_->settings = std::move(settings);
  core_->owner = this;
}

void TMqttClient::Drain() {
  QElapsedTimer spent;
  spent.start();
  const QPointer<TMqttClient> alive(this);
  for (;;) {
    std::function<void(TMqttClient&)> call;
    {
      std::lock_guard<std::mutex> lock(core_->mutex);
      if (core_->inbox.empty()) {
        core_->drain_posted = false;
        return;
      }
      if (spent.elapsed() >= kDrainSlice.count()) {
        // The rest after what waits already (timers included).
        QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
        return;
      }
      call = std::move(core_->inbox.front());
      core_->inbox.pop_front();
    }
    call(*this);
    if (!alive) return;  // a handler ended the client
  }
}

TMqttClient::~TMqttClient() {
  Stop({}, {}, std::chrono::milliseconds(0));
  std::lock_guard<std::mutex> lock(core_->mutex);
  core_->owner = nullptr;
}

bool TMqttClient::Start(std::string* failure) {
  InitLibrary();
  auto fail = [failure](const std::string& why) {
    if (failure) *failure = why;
    return false;
  };
  Core& core = *core_;
  const TMqttSettings& s = core.settings;
  core.mosq = mosquitto_new(s.ClientId.c_str(), s.CleanSession, &core);
  if (!core.mosq) return fail("no se pudo crear el cliente MQTT");
  mosquitto* mosq = core.mosq;
  // Publish, Subscribe and Stop come from the owner's thread: without this
  // the library writes on the socket from that thread while the connection
  // thread reads it, and the TLS state under both is not safe to share.
  mosquitto_threaded_set(mosq, true);
  mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq, &Core::OnConnect);
  mosquitto_disconnect_callback_set(mosq, &Core::OnDisconnect);
  mosquitto_message_callback_set(mosq, &Core::OnMessage);
  mosquitto_publish_callback_set(mosq, &Core::OnPublish);
  mosquitto_subscribe_callback_set(mosq, &Core::OnSubscribe);
  mosquitto_reconnect_delay_set(mosq, kFirstReconnect.count(), kLastReconnect.count(), true);
  int rc = mosquitto_tls_set(mosq, s.CaFile.c_str(), nullptr, s.CertFile.c_str(), s.KeyFile.c_str(),
                             nullptr);
  if (rc != MOSQ_ERR_SUCCESS) return fail("TLS: " + ErrorText(rc));
  // Small messages that must not wait for more to fill a segment.
  mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
  if (!s.WillTopic.empty()) {
    rc = mosquitto_will_set(mosq, s.WillTopic.c_str(), static_cast<int>(s.WillPayload.size()),
                            s.WillPayload.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) return fail("última voluntad: " + ErrorText(rc));
  }
  std::shared_ptr<Core> keep = core_;
  core.thread = std::thread([keep] { keep->Run(); });
  return true;
}

bool TMqttClient::Connected() const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return core_->connected;
}

int TMqttClient::Publish(const std::string& topic, const std::string& payload, bool retain) {
  if (!core_->mosq || !Connected()) return -1;
  int mid = -1;
  const int rc = mosquitto_publish(core_->mosq, &mid, topic.c_str(),
                                   static_cast<int>(payload.size()), payload.data(), 1, retain);
  return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

int TMqttClient::Subscribe(const std::string& topic) {
  if (!core_->mosq) return -1;
  int mid = -1;
  const int rc = mosquitto_subscribe(core_->mosq, &mid, topic.c_str(), 1);
  return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void TMqttClient::Stop(const std::string& topic, const std::string& payload,
                       std::chrono::milliseconds wait) {
  Core& core = *core_;
  if (!core.thread.joinable()) return;
  if (!topic.empty()) {
    const int mid = Publish(topic, payload, true);
    std::unique_lock<std::mutex> lock(core.mutex);
    if (mid >= 0) core.changed.wait_for(lock, wait, [&] { return core.acknowledged.count(mid) > 0; });
  }
  {
    std::lock_guard<std::mutex> lock(core.mutex);
    core.stopping = true;
  }
  core.changed.notify_all();
  mosquitto_disconnect(core.mosq);
  // The loop sees the disconnection within its one-second wait; a thread
  // stuck in a connect is left to finish on its own, holding the core.
  auto ended = std::make_shared<std::promise<void>>();
  std::future<void> done = ended->get_future();
  std::thread joiner([thread = std::move(core.thread), ended]() mutable {
    thread.join();
    ended->set_value();
  });
  if (done.wait_for(std::chrono::seconds(3)) == std::future_status::ready) {
    joiner.join();
  } else {
    joiner.detach();
  }
}

}  // namespace quinterra
