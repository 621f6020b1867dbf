#include "tests/network/network_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <sstream>
#include <thread>

#include "network/bundle.h"
#include "network/mqtt_client.h"
#include "network/network_folder.h"
#include "panels/document.h"
#include "platform/file_io.h"
#include "tests/e2e/sample_document.h"
#include "tests/support/port_config.h"

extern char** environ;

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

bool Accepts(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(s);
  return ok;
}

}  // namespace

void Spin(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& output_path) {
  const int out = open(output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out < 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int rc = posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out);
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds wait) {
  const auto end = std::chrono::steady_clock::now() + wait;
  while (pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (std::chrono::steady_clock::now() > end) return std::nullopt;
    // Keep the office's events flowing meanwhile.
    Spin(20ms);
  }
  return std::nullopt;
}

std::string TestShop::Log() const {
  return ReadFileIfExists(Work + "agent.log").value_or("");
}

void NetworkTest::SetUp() {
  net_ = folder_.File("red") + "/";
  port_ = FreeTcpPort();
  do office_port_ = FreeTcpPort();
  while (office_port_ == port_);
  TNetworkInit init;
  init.Folder = net_;
  init.Name = "cadena";
  init.Host = broker_host_;
  init.Listen = "127.0.0.1";
  init.Port = port_;
  init.OfficePort = office_port_;
  init.KeepAliveSeconds = 5;
  ASSERT_EQ(InitNetwork(init), "");
  StartBroker();
}

void NetworkTest::TearDown() {
  office_.reset();
  for (auto& [id, shop] : shops_) {
    if (shop->Agent && HasFailure()) std::cerr << "--- agent " << id << ":\n" << shop->Log();
  }
  if (HasFailure()) std::cerr << "--- broker:\n" << ReadFileIfExists(net_ + "broker.log").value_or("");
}

void NetworkTest::StartBroker() {
  broker_ = std::make_unique<ChildProcess>();
  ASSERT_TRUE(broker_->Start("mosquitto", {"-c", net_ + "mosquitto.conf"}, net_ + "broker.log"));
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!Accepts(port_) || !Accepts(office_port_)) {
    ASSERT_LT(std::chrono::steady_clock::now(), end)
        << ReadFileIfExists(net_ + "broker.log").value_or("");
    std::this_thread::sleep_for(20ms);
  }
}

void NetworkTest::ReloadBroker() {
  if (!broker_ || !broker_->Running()) return;
  broker_->Signal(SIGHUP);
  // It reads its files again at once, between two turns of its loop.
  std::this_thread::sleep_for(200ms);
}

void NetworkTest::StopBroker() {
  broker_->Signal(SIGTERM);
  ASSERT_EQ(broker_->WaitExit(10s), 0);
}

void NetworkTest::RestartBrokerWithoutData() {
  StopBroker();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(net_ + "broker/data", ignored))
    std::filesystem::remove_all(entry.path(), ignored);
  StartBroker();
}

TestShop& NetworkTest::AddShop(const std::string& id, const std::vector<std::string>& results_options,
                                bool results_on_serial) {
  EXPECT_EQ(quinterra::AddShop(net_, id), "");
  ReloadBroker();
  auto shop = std::make_unique<TestShop>();
  shop->Id = id;
  shop->Bundle = net_ + "shops/" + id;
  shop->Work = folder_.File(id) + "/";
  std::filesystem::create_directories(shop->Work);
  std::string registry;
  int row = 0;
  for (int number : {1, 2}) {
    auto& emulator = number == 1 ? shop->Results : shop->Jackpots;
    emulator = std::make_unique<EmulatorProcess>();
    std::vector<std::string> options = {"--address", std::to_string(number), "--dump",
                                        shop->Work + "dev" + std::to_string(number)};
    if (number == 1) options.insert(options.end(), results_options.begin(), results_options.end());
    std::string link = "127.0.0.1", speed;
    if (number == 1 && results_on_serial) {
      // A serial port opens once: two programs at a time meet here.
      const std::optional<std::string> path = StartOnPty(*emulator, options);
      EXPECT_TRUE(path);
      WritePortConfig(shop->Work + "config.ini", {{201, path.value_or("")}});
      link = "COM201";
      speed = "9600";
    } else {
      const std::optional<int> port = StartOnTcp(*emulator, options);
      EXPECT_TRUE(port);
      speed = std::to_string(port.value_or(0));
    }
    registry += "[" + std::to_string(row++) + "]\r\nNombre=" + (number == 1 ? "R" : "B") +
                "\r\nCOMIP=" + link + "\r\nSpeedPort=" + speed +
                "\r\nNumDispositivo=" + std::to_string(number) + "\r\nSelected=*\r\n";
  }
  WriteFileAtomically(shop->Work + "equipos.ini", registry);
  TestShop& added = *shop;
  shops_[id] = std::move(shop);
  return added;
}

void NetworkTest::StartAgent(TestShop& shop, const std::vector<std::string>& options) {
  shop.Agent = std::make_unique<ChildProcess>();
  std::vector<std::string> arguments = {"--network", shop.Bundle, "--folder", shop.Work};
  arguments.insert(arguments.end(), options.begin(), options.end());
  ASSERT_TRUE(shop.Agent->Start(QUINTERRA_AGENT, arguments, shop.Work + "agent.log"));
}

int NetworkTest::SendAtShop(const TestShop& shop, const std::vector<std::string>& texts, std::string* out) {
  const std::string document = shop.Work + "local.ltr";
  WriteFileAtomically(document, FormatDocument(texts));
  const std::string output = shop.Work + "send.out";
  std::remove(output.c_str());
  ChildProcess send;
  if (!send.Start(QUINTERRA_SEND, {"--folder", shop.Work, "--verify", "--log", shop.Work + "send.log", document},
                  output))
    return -1;
  const std::optional<int> exit = send.WaitExit(std::chrono::seconds(60));
  if (out) *out = ReadFileIfExists(output).value_or("");
  return exit.value_or(-1);
}

Bytes NetworkTest::Display(const TestShop& shop, TPanel panel) const {
  const bool results = panel == TPanel::Results;
  const std::string bytes =
      ReadFileIfExists(shop.Work + (results ? "dev1" : "dev2") + "/display.bin").value_or("");
  return Bytes(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), results ? 320 : 360));
}

int NetworkTest::Publish(const std::vector<std::string>& texts, std::optional<int> wait, std::string* out) {
  const std::string document = folder_.File("sorteo.ltr");
  WriteFileAtomically(document, FormatDocument(texts));
  std::vector<std::string> arguments = {"--publish", document, "--network", net_};
  if (wait) arguments.insert(arguments.end(), {"--wait", std::to_string(*wait)});
  return RunSend(arguments, out, std::chrono::seconds(wait.value_or(0) + 30));
}

int NetworkTest::RunSend(const std::vector<std::string>& arguments, std::string* out,
                         std::chrono::seconds wait) {
  const std::string output = folder_.File("send.out");
  std::remove(output.c_str());
  ChildProcess office;
  if (!office.Start(QUINTERRA_SEND, arguments, output)) return -1;
  const std::optional<int> exit = office.WaitExit(wait);
  if (out) *out = ReadFileIfExists(output).value_or("");
  return exit.value_or(-1);
}

TPublication NetworkTest::Publication(int64_t version, const std::vector<std::string>& texts) const {
  TPublication p;
  p.Network = "cadena";
  p.Version = version;
  p.Published = static_cast<int64_t>(std::time(nullptr));
  p.Expires = p.Published + kDefaultLifetimeSeconds;
  p.Items = texts;
  return p;
}

std::string NetworkTest::Sign(const TPublication& publication) const {
  const std::optional<TSigningKey> key = SigningKeyFromText(ReadWholeFile(net_ + "office-sign.key"));
  return SignPublication(publication, key.value());
}

void NetworkTest::PublishAs(const std::string& bundle_folder, const std::string& topic,
                            const std::string& payload) {
  const std::optional<TNetworkBundle> bundle = LoadBundle(bundle_folder, nullptr);
  ASSERT_TRUE(bundle);
  TMqttClient client(bundle->Mqtt("test-publisher-" + bundle->Identity));
  QEventLoop loop;
  bool acknowledged = false;
  client.OnConnected = [&] { client.Publish(topic, payload, true); };
  client.OnPublished = [&](int) {
    acknowledged = true;
    loop.quit();
  };
  ASSERT_TRUE(client.Start(nullptr));
  QTimer::singleShot(10s, &loop, &QEventLoop::quit);
  loop.exec();
  ASSERT_TRUE(acknowledged) << "the broker acknowledges even what it drops";
  client.Stop();
}

TOfficeClient& NetworkTest::Office() {
  if (!office_) {
    // A folder of the office's files but its kept publication: the view
    // never gives it again to the broker.
    const std::string view = folder_.File("office-view") + "/";
    std::filesystem::create_directories(view);
    for (const char* name : {"red.ini", "ca.crt", "client.crt", "client.key", "office-sign.pub", "shops"}) {
      std::error_code exists;
      std::filesystem::create_symlink(net_ + name, view + name, exists);
    }
    std::string failure;
    office_ = TOfficeClient::Open(view, timers_, &failure);
    EXPECT_TRUE(office_ && office_->Start(&failure)) << failure;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (office_->Link() != TOfficeLink::Ready && std::chrono::steady_clock::now() < end) Spin(10ms);
    EXPECT_EQ(office_->Link(), TOfficeLink::Ready) << office_->LinkProblem();
  }
  return *office_;
}

bool NetworkTest::WaitFor(const std::function<bool(const TFleet&)>& done, std::chrono::milliseconds wait) {
  TOfficeClient& office = Office();
  const auto end = std::chrono::steady_clock::now() + wait;
  while (!done(office.Fleet())) {
    if (std::chrono::steady_clock::now() > end) return false;
    Spin(10ms);
  }
  return true;
}

std::vector<std::string> DocumentA() { return e2e::FilledDocumentTexts(); }

std::vector<std::string> DocumentB() { return e2e::VariedDocumentTexts(1); }

}  // namespace quinterra::test
