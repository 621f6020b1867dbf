#pragma once
// What the network's members need of a broker connection, apart from how it
// is made: TMqttClient over TLS in the programs, a broker of the tests' own
// in unit tests. Everything runs on one thread, the owner's event loop's;
// events are called later, never from inside the call that caused them.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quinterra {

class IMqttTransport {
 public:
  virtual ~IMqttTransport() = default;

  // Connects in the background and reconnects by itself after any loss;
  // false, with the reason in Spanish, when the settings cannot work.
  virtual bool Start(std::string* failure) = 0;
  virtual bool Connected() const = 0;
  // QoS 1. The message id, or -1 when it could not be queued (no
  // connection): the owner publishes again on OnConnected.
  virtual int Publish(const std::string& topic, const std::string& payload, bool retain) = 0;
  // One request for every topic, QoS 1; the message id, or -1.
  virtual int Subscribe(const std::vector<std::string>& topics) = 0;
  // Publishes last words (retained) when connected, gives the broker a
  // moment to take them, disconnects cleanly and then calls done. Returns at
  // once; done comes later, also when there was no connection.
  virtual void Stop(const std::string& topic, const std::string& payload,
                    std::function<void()> done) = 0;
  // The next connection waits at least this long (another copy of the same
  // member keeps taking the connection over).
  virtual void HoldOff(std::chrono::milliseconds delay) = 0;

  std::function<void()> OnConnected;  // after every (re)connection
  std::function<void(const std::string& why)> OnDisconnected;
  std::function<void(const std::string& topic, const std::string& payload, bool retained)> OnMessage;
  // granted: the QoS given to each topic, 0x80 for one the broker refused.
  std::function<void(int mid, const std::vector<int>& granted)> OnSubscribed;
  std::function<void(int mid)> OnPublished;
  std::function<void(const std::string& line)> OnLog;
};

}  // namespace quinterra
