#pragma once
// One connection to the network's broker over TLS with a client
// certificate, on libmosquitto. The connection lives in a thread of its own,
// which connects, reconnects by itself (1 s doubling to 30 s, also after
// errors that end libmosquitto's own loop) and never blocks the caller;
// every event is handed to the thread that made the client (the Qt event
// loop's), so the owner never sees a second thread.
//
// Publish, Subscribe and Stop are called from the owner's thread.

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

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

class TMqttClient : public QObject {
 public:
  explicit TMqttClient(TMqttSettings settings, QObject* parent = nullptr);
  ~TMqttClient() override;
  TMqttClient(const TMqttClient&) = delete;
  TMqttClient& operator=(const TMqttClient&) = delete;

  // Starts the connection thread; false, with the reason, when the
  // settings cannot work (files unreadable, no such library feature).
  bool Start(std::string* failure);
  bool Connected() const;
  // QoS 1. The message id, or -1 when it could not be queued (no
  // connection): the owner publishes again on OnConnected.
  int Publish(const std::string& topic, const std::string& payload, bool retain);
  int Subscribe(const std::string& topic);
  // Publishes last words (retained, QoS 1) when connected and waits up to
  // wait for the broker to take them, then disconnects cleanly (no will)
  // and ends the thread. A thread stuck in a connect that the network does
  // not answer is left behind rather than waited for.
  void Stop(const std::string& topic = {}, const std::string& payload = {},
            std::chrono::milliseconds wait = std::chrono::seconds(5));

  // Events, on the owner's thread, each called only when filled.
  std::function<void()> OnConnected;  // after every (re)connection
  std::function<void(const std::string& why)> OnDisconnected;
  std::function<void(const std::string& topic, const std::string& payload, bool retained)> OnMessage;
  std::function<void(int mid)> OnSubscribed;
  std::function<void(int mid)> OnPublished;
  std::function<void(const std::string& line)> OnLog;

 private:
  // Runs the calls the connection thread handed over, a slice at a time.
  void Drain();
  // What the connection thread uses; it outlives the client when that
  // thread has to be left behind.
  struct Core;
  std::shared_ptr<Core> core_;
};

}  // namespace quinterra
