#pragma once
// One connection to the network's broker over TLS with a client
// certificate, on libmosquitto, driven by the owner's Qt event loop: the
// socket under a QSocketNotifier (write interest only while the library has
// something to send), the library's housekeeping on a timer, one back-off
// for reconnecting (1 s doubling to 30 s, each wait at random in the upper
// half of its step: network/reconnect_backoff.h). Only the lookup of a broker
// named by a host name runs on a short-lived thread of its own, since the
// library resolves with a blocking call; nothing else ever leaves the owner's
// thread, and nothing ever blocks it: stopping and destroying return at
// once whether the broker is up, gone or unreachable.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/connection_errors.h"
#include "network/mqtt_transport.h"
#include "network/reconnect_backoff.h"

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

namespace quinterra {

struct TMqttSettings {
  std::string Host;
  int Port = 8883;
  std::string ClientId;
  bool CleanSession = false;
  std::string CaFile, CertFile, KeyFile;
  int KeepAliveSeconds = 30;
  // The last will: published retained, QoS 1, when the connection dies.
  std::string WillTopic, WillPayload;
};

class TMqttClient : public QObject, public IMqttTransport {
 public:
  explicit TMqttClient(TMqttSettings settings, QObject* parent = nullptr);
  ~TMqttClient() override;
  TMqttClient(const TMqttClient&) = delete;
  TMqttClient& operator=(const TMqttClient&) = delete;

  bool Start(std::string* failure) override;
  bool Connected() const override { return phase_ == Phase::Connected; }
  int Publish(const std::string& topic, const std::string& payload, bool retain) override;
  int Subscribe(const std::vector<std::string>& topics) override;
  int Subscribe(const std::string& topic) { return Subscribe(std::vector<std::string>{topic}); }
  void Stop(const std::string& topic, const std::string& payload,
            std::function<void()> done) override;
  void Stop() { Stop({}, {}, nullptr); }
  void HoldOff(std::chrono::milliseconds delay) override;

  // How long last words may take before the connection is closed anyway.
  std::chrono::milliseconds LastWordsBound = std::chrono::seconds(2);

 private:
  enum class Phase { Idle, Resolving, Connecting, Connected, Waiting, Stopping, Stopped };
  struct Lookup;

  void Connect();
  void LookupDone(int rc, const std::string& reason, const std::vector<std::string>& lines,
                  int error_number);
  // Why an attempt failed, from what the library logged during it.
  std::string FailureText(int rc, int error_number) const;
  // The library's handle is the client's again: its words come here.
  void TakeBack();
  void ScheduleReconnect(const std::string& why);
  void Housekeeping();
  void Readable();
  bool ConnectFailed();
  void Writable();
  // After every call into the library: follows its socket and write wish,
  // notices a connection it closed without a word, and hands the events on.
  void AfterLibrary(int rc);
  void DropNotifiers();
  void FinishStop();
  void Post(std::function<void()> event);
  void Dispatch();

  static void OnConnectCallback(mosquitto*, void* self, int rc);
  static void OnDisconnectCallback(mosquitto*, void* self, int rc);
  static void OnMessageCallback(mosquitto*, void* self, const mosquitto_message* message);
  static void OnPublishCallback(mosquitto*, void* self, int mid);
  static void OnSubscribeCallback(mosquitto*, void* self, int mid, int count, const int* granted);
  static void OnLogCallback(mosquitto*, void* self, int level, const char* line);
  static void OnLookupLogCallback(mosquitto*, void* lookup, int level, const char* line);

  TMqttSettings settings_;
  mosquitto* mosq_ = nullptr;
  Phase phase_ = Phase::Idle;
  bool connected_before_ = false;  // the library has a first connection to renew
  std::shared_ptr<Lookup> lookup_;  // a connection being resolved on its thread
  int socket_ = -1;
  std::unique_ptr<QSocketNotifier> read_, write_;
  QTimer housekeeping_, reconnect_, last_words_;
  TReconnectBackoff backoff_;
  std::chrono::steady_clock::time_point hold_until_{};
  std::string end_reason_;  // why the connection attempt or connection ended
  int disconnect_rc_ = 0;
  std::vector<std::string> attempt_log_;  // the library's error lines of this attempt
  TCertificateDates dates_;
  int last_words_mid_ = -1;
  std::function<void()> stopped_;
  // Events for the owner, handed on after the library call returns and in
  // slices: a burst of a thousand messages must not hold the event loop.
  std::deque<std::function<void()>> events_;
  bool dispatch_posted_ = false;
};

// libmosquitto's return code in Spanish.
std::string MqttErrorText(int rc);

}  // namespace quinterra
