#include "tests/network/test_broker.h"

#include <algorithm>

namespace quinterra::test {

using namespace std::chrono_literals;

bool TopicMatches(const std::string& filter, const std::string& topic) {
  size_t f = 0, t = 0;
  while (f < filter.size()) {
    if (filter[f] == '#') return true;
    if (filter[f] == '+') {
      while (t < topic.size() && topic[t] != '/') ++t;
      ++f;
      continue;
    }
    if (t >= topic.size() || filter[f] != topic[t]) return false;
    ++f;
    ++t;
  }
  return t == topic.size();
}

TestBroker::TestBroker(SimulatedClock& clock) : clock_(clock), pump_(clock.CreateTimer()) {
  pump_->SetInterval(1ms);
  pump_->OnTimer = [this] { Pump(); };
}

TestBroker::~TestBroker() = default;

void TestBroker::Later(std::function<void()> call, std::chrono::milliseconds delay, const Client* client) {
  const std::chrono::milliseconds due = clock_.Now() + delay;
  // In due order; equal times keep their order.
  auto at = std::upper_bound(queue_.begin(), queue_.end(), due,
                             [](std::chrono::milliseconds d, const Call& entry) { return d < entry.Due; });
  queue_.insert(at, Call{due, std::move(call), client, client ? client->serial_ : 0});
  pump_->SetEnabled(true);
}

void TestBroker::Pump() {
  while (!queue_.empty() && queue_.front().Due <= clock_.Now()) {
    Call call = std::move(queue_.front());
    queue_.pop_front();
    const bool gone = call.For && std::none_of(clients_.begin(), clients_.end(), [&](const Client* c) {
      return c == call.For && c->serial_ == call.Serial;
    });
    if (!gone) call.Run();
  }
  if (queue_.empty()) pump_->SetEnabled(false);
}

std::unique_ptr<TestBroker::Client> TestBroker::NewClient(const std::string& id) {
  auto client = std::make_unique<Client>(*this, id);
  client->serial_ = next_serial_++;
  clients_.push_back(client.get());
  return client;
}

TestBroker::Client::~Client() {
  auto& clients = broker_.clients_;
  clients.erase(std::remove(clients.begin(), clients.end(), this), clients.end());
}

std::vector<TestBroker::Sent> TestBroker::LogOf(const std::string& topic) const {
  std::vector<Sent> found;
  for (const Sent& sent : Log)
    if (sent.Topic == topic) found.push_back(sent);
  return found;
}

void TestBroker::Route(const std::string& topic, const std::string& payload, bool retain) {
  if (retain) {
    if (payload.empty()) Retained.erase(topic);
    else Retained[topic] = payload;
  }
  const int copies = DuplicateNext > 0 ? (--DuplicateNext, 2) : 1;
  for (Client* client : clients_) {
    if (!client->connected_) continue;
    const bool wanted = std::any_of(client->subscriptions_.begin(), client->subscriptions_.end(),
                                    [&](const std::string& f) { return TopicMatches(f, topic); });
    if (!wanted) continue;
    for (int i = 0; i < copies; ++i) {
      Later([client, topic, payload] {
        if (client->connected_ && client->OnMessage) client->OnMessage(topic, payload, false);
      }, std::chrono::milliseconds(1), client);
    }
  }
}

void TestBroker::Publish(const std::string& topic, const std::string& payload, bool retain) {
  Later([this, topic, payload, retain] { Route(topic, payload, retain); });
}

void TestBroker::Drop(Client& client) {
  if (!client.connected_) return;
  client.connected_ = false;
  client.subscriptions_.clear();
  Later([&client] {
    if (client.OnDisconnected) client.OnDisconnected("se perdió la conexión");
  }, 1ms, &client);
  // Back a second later, as a client's first back-off.
  Later([&client] { client.Connect(); }, 1s, &client);
}

void TestBroker::SetUp(bool up) {
  up_ = up;
  if (!up) {
    for (Client* client : clients_) Drop(*client);
  } else {
    for (Client* client : clients_)
      if (client->started_ && !client->stopped_ && !client->connected_) Later([client] { client->Connect(); }, 1ms, client);
  }
}

bool TestBroker::Client::Start(std::string*) {
  started_ = true;
  broker_.Later([this] { Connect(); }, 1ms, this);
  return true;
}

void TestBroker::Client::Connect() {
  if (stopped_ || connected_ || !broker_.up_) return;
  connected_ = true;
  if (OnConnected) OnConnected();
}

int TestBroker::Client::Publish(const std::string& topic, const std::string& payload, bool retain) {
  if (!connected_) return -1;
  const int mid = next_mid_++;
  broker_.Log.push_back({id_, topic, payload, retain, broker_.clock_.Now()});
  broker_.Later([this, topic, payload, retain] { broker_.Route(topic, payload, retain); });
  broker_.Later([this, mid] {
    if (OnPublished) OnPublished(mid);
  }, 1ms, this);
  return mid;
}

int TestBroker::Client::Subscribe(const std::vector<std::string>& topics) {
  if (!connected_) return -1;
  const int mid = next_mid_++;
  broker_.Later([this, topics, mid] {
    if (!connected_) return;
    for (const std::string& topic : topics) subscriptions_.insert(topic);
    if (OnSubscribed) OnSubscribed(mid, std::vector<int>(topics.size(), 1));
    for (const std::string& filter : topics) {
      for (const auto& [topic, payload] : broker_.Retained) {
        if (!TopicMatches(filter, topic)) continue;
        broker_.Later([this, topic = topic, payload = payload] {
          if (connected_ && OnMessage) OnMessage(topic, payload, true);
        }, 1ms, this);
      }
    }
  }, 1ms, this);
  return mid;
}

void TestBroker::Client::Stop(const std::string& topic, const std::string& payload,
                              std::function<void()> done) {
  if (connected_ && !topic.empty()) Publish(topic, payload, true);
  stopped_ = true;
  broker_.Later([this, done] {
    connected_ = false;
    subscriptions_.clear();
    if (done) done();
  }, 1ms, this);
}

}  // namespace quinterra::test
