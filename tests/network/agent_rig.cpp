#include "tests/network/agent_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "network/names.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"
#include "tests/e2e/sample_document.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

// One session's link onto the lines the devices sit on: each delivery run
// makes its own, as the program makes a link layer per session.
class LinesLink : public IDeviceLink {
 public:
  explicit LinesLink(cycle_test::EmulatedLines& lines) : lines_(lines) {
    lines_.OnLog = [this](const std::string& line) {
      if (OnLog) OnLog(line);
    };
    lines_.OnLinkOpened = [this] {
      if (OnLinkOpened) OnLinkOpened();
    };
    lines_.OnLinkFailed = [this] {
      if (OnLinkFailed) OnLinkFailed();
    };
    lines_.OnReceived = [this](const uint8_t* bytes, int count) {
      if (OnReceived) OnReceived(bytes, count);
    };
  }
  ~LinesLink() override {
    lines_.CloseLink();
    lines_.OnLog = nullptr;
    lines_.OnLinkOpened = nullptr;
    lines_.OnLinkFailed = nullptr;
    lines_.OnReceived = nullptr;
  }
  void OpenTcp(const std::string& address, int port) override { lines_.OpenTcp(address, port); }
  void OpenSerial(int com, int rate) override { lines_.OpenSerial(com, rate); }
  void CloseLink() override { lines_.CloseLink(); }
  void SendToLink(const uint8_t* bytes, int count) override { lines_.SendToLink(bytes, count); }
  bool SerialLinkAlive() const override { return lines_.SerialLinkAlive(); }
  int SerialRate() const override { return lines_.SerialRate(); }
  void SetSerialRate(int rate) override { lines_.SetSerialRate(rate); }

 private:
  cycle_test::EmulatedLines& lines_;
};

TPanelDeviceOptions Device(uint8_t address) {
  TPanelDeviceOptions options;
  options.Address = address;
  return options;
}

}  // namespace

std::vector<std::string> ValidItems(int seed) { return e2e::VariedDocumentTexts(seed); }

AgentRig::AgentRig() : folder_(temp_.File("tienda") + "/") {
  std::filesystem::create_directories(folder_);
  Results = &lines.AddTcpDevice("127.0.0.1", 17001, Device(1));
  Jackpots = &lines.AddTcpDevice("127.0.0.1", 17002, Device(2));
  WriteFileAtomically(folder_ + "equipos.ini",
                      "[0]\r\nNombre=R\r\nCOMIP=127.0.0.1\r\nSpeedPort=17001\r\nNumDispositivo=1\r\nSelected=*\r\n"
                      "[1]\r\nNombre=B\r\nCOMIP=127.0.0.1\r\nSpeedPort=17002\r\nNumDispositivo=2\r\nSelected=*\r\n");
  delivery_ = std::make_unique<TPanelDelivery>(
      clock, [this] { return std::make_unique<LinesLink>(lines); }, folder_);
  delivery_->OnLog = [this](const std::string& line) { LogLines.push_back(line); };
}

AgentRig::~AgentRig() {
  agent_.reset();
  Transport.reset();
}

int64_t AgentRig::Now() const {
  return kEpoch + std::chrono::duration_cast<std::chrono::seconds>(clock.Now()).count();
}

void AgentRig::StartAgent(const std::function<void(TAgentSettings&)>& change) {
  TAgentSettings settings;
  settings.Bundle.Network = "cadena";
  settings.Bundle.Identity = "t1";
  settings.Bundle.Host = "127.0.0.1";
  settings.Folder = folder_;
  settings.OfficeKey = Pinned;
  settings.Now = [this] { return Now(); };
  if (change) change(settings);
  Transport = broker.NewClient("t1");
  agent_ = std::make_unique<TShopAgent>(settings, *Transport, *delivery_, clock);
  agent_->OnLog = [this](const std::string& line) { LogLines.push_back(line); };
  ASSERT_TRUE(agent_->Start(nullptr));
}

void AgentRig::StopAgent() {
  bool stopped = false;
  agent_->Stop([&stopped] { stopped = true; });
  for (int i = 0; i < 600 && !stopped; ++i) clock.Advance(100ms);
  ASSERT_TRUE(stopped);
  agent_.reset();
  Transport.reset();
}

std::string AgentRig::Publish(int64_t version, const std::vector<std::string>& items,
                              int64_t published_offset, int64_t lifetime) {
  TPublication p;
  p.Network = "cadena";
  p.Version = version;
  p.Published = Now() + published_offset;
  p.Expires = p.Published + lifetime;
  p.Items = items;
  const std::string message = SignPublication(p, Office.Secret);
  broker.Publish(DocumentTopic("cadena"), message, true);
  return message;
}

std::optional<TShopState> AgentRig::State() const {
  const auto found = broker.Retained.find(StateTopic("cadena", "t1"));
  if (found == broker.Retained.end()) return std::nullopt;
  return ParseStateJson(found->second);
}

std::vector<TShopState> AgentRig::States() const {
  std::vector<TShopState> states;
  for (const TestBroker::Sent& sent : broker.LogOf(StateTopic("cadena", "t1")))
    if (std::optional<TShopState> state = ParseStateJson(sent.Payload)) states.push_back(*state);
  return states;
}

int AgentRig::Writes() const {
  return static_cast<int>(std::count_if(lines.sent.begin(), lines.sent.end(),
                                        [](const cycle_test::SentFrame& f) { return f.Command() == 0x10; }));
}

std::vector<uint8_t> AgentRig::Display(bool results) {
  const std::vector<uint8_t>& all = (results ? Results : Jackpots)->Device->Display();
  const size_t size = results ? kResultsImageSize : kJackpotsImageSize;
  return std::vector<uint8_t>(all.begin(), all.begin() + std::min(size, all.size()));
}

std::string AgentRig::Log() const {
  std::string text;
  for (const std::string& line : LogLines) text += line + "\n";
  return text;
}

}  // namespace quinterra::test
