// quinterra-send run as a cron job runs it, in a folder with equipos.ini and
// config.ini, against emulator processes on 127.0.0.1 and on
// pseudo-terminals (COM numbers mapped in "Puertos").

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <sstream>

#include "history/history_open.h"
#include "history/history_store.h"
#include "history/sha256.h"
#include "history/sqlite_connection.h"
#include "panels/document.h"
#include "quinterra_version.h"
#include "tests/e2e/sample_document.h"
#include "tests/e2e/stalled_listener.h"
#include "tests/support/emulator_process.h"
#include "tests/support/port_config.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

struct ProgramRun {
  int exit = -1;
  std::string out, err;
  std::chrono::milliseconds took{};
};

struct Device {
  int number;
  std::string link, speed;
};

class SendTest : public ::testing::Test {
 protected:
  // An emulated panel device on TCP, dumping its memory into dumps_.
  Device Tcp(int number, std::vector<std::string> options = {}) {
    const std::optional<int> port = StartOnTcp(Emulator(), Options(number, options));
    EXPECT_TRUE(port);
    return {number, "127.0.0.1", std::to_string(port.value_or(0))};
  }
  // The same on a pseudo-terminal, as COM 200 + number.
  Device Pty(int number) {
    const std::optional<std::string> path = StartOnPty(Emulator(), Options(number, {}));
    EXPECT_TRUE(path);
    ports_.push_back({200 + number, path.value_or("")});
    return {number, "COM" + std::to_string(200 + number), "57600"};
  }
  // equipos.ini, config.ini and the document sorteo.ltr.
  void Write(const std::vector<Device>& devices) {
    std::string registry;
    for (size_t i = 0; i < devices.size(); ++i) {
      const Device& d = devices[i];
      registry += "[" + std::to_string(i) + "]\r\nNombre=" + (d.number == 1 ? "R " : "B ") +
                  d.link + "\r\nCOMIP=" + d.link + "\r\nSpeedPort=" + d.speed +
                  "\r\nNumDispositivo=" + std::to_string(d.number) + "\r\nSelected=*\r\n";
    }
    folder_.Put("equipos.ini", registry);
    WritePortConfig(folder_.File("config.ini"), ports_);
    folder_.Put("sorteo.ltr", FormatDocument(e2e::FilledDocumentTexts()));
  }
  // Runs a program in the folder, as a shell would, under wrapper.
  ProgramRun Command(const std::string& program, const std::string& arguments,
                     const std::string& wrapper = "timeout 120") {
    const std::string command = "cd '" + folder_.Path().string() + "' && " + wrapper + " '" +
                                program + "' " + arguments + " 2>'" + dumps_.File("stderr") +
                                "' </dev/null";
    ProgramRun run;
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pipe ? pclose(pipe) : -1;
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    run.err = dumps_.Get("stderr");
    return run;
  }
  ProgramRun Send(const std::string& arguments, const std::string& wrapper = "timeout 120") {
    return Command(QUINTERRA_SEND, arguments, wrapper);
  }
  // The emulator's standard error: with "--log", every request it heard.
  std::string EmulatorLog(size_t started) const { return emulators_.at(started)->Stderr(); }
  // The hex of a device's display memory, as long as its panel's image.
  std::string Display(int number) {
    const std::string bytes = dumps_.Get("dev" + std::to_string(number) + "/display.bin");
    std::ostringstream hex;
    for (size_t i = 0; i < std::min<size_t>(bytes.size(), number == 1 ? 320 : 360); ++i)
      hex << "0123456789abcdef"[uint8_t(bytes[i]) >> 4] << "0123456789abcdef"[bytes[i] & 0xF];
    return hex.str();
  }

  TempFolder folder_, dumps_;
  PortList ports_;

 private:
  EmulatorProcess& Emulator() { return *emulators_.emplace_back(std::make_unique<EmulatorProcess>()); }
  std::vector<std::string> Options(int number, std::vector<std::string> options) {
    const std::string n = std::to_string(number);
    options.insert(options.end(), {"--address", n, "--dump", dumps_.File("dev" + n)});
    return options;
  }
  std::vector<std::unique_ptr<EmulatorProcess>> emulators_;
};

TEST_F(SendTest, DeliversTheDocumentOverTcpAndAPseudoTerminalChangingNoFileButItsLog) {
  Write({Tcp(1), Pty(2)});
  const std::string registry = folder_.Get("equipos.ini"), config = folder_.Get("config.ini");
  const ProgramRun run = Send("sorteo.ltr --no-verify --log envio.log");
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.out, "Panel Resultados: enviado\nPanel Botes: enviado\n");
  EXPECT_EQ(Command(QUINTERRA_IMAGE_TOOL, "sorteo.ltr").out, Display(1) + "\n" + Display(2) + "\n");
  const std::string log = folder_.Get("envio.log");
  EXPECT_EQ(log.rfind("[OK] 127.0.0.1\r\n-> 0x01   ,0x02", 0), 0u) << log;
  EXPECT_NE(log.find("[OK] COM202\r\n"), std::string::npos) << log;
  EXPECT_EQ(folder_.Get("equipos.ini"), registry);
  EXPECT_EQ(folder_.Get("config.ini"), config);
  // Beside them, the record of what the panels now show, and the empty file
  // whose lock takes turns on the devices.
  EXPECT_EQ(folder_.EntryCount(), 6u);
  EXPECT_FALSE(folder_.Get("historial.db").empty());
  EXPECT_EQ(folder_.Get("equipos.lock"), "");
}

TEST_F(SendTest, ListsChecksAndSendsOnlyTheRequestedPanel) {
  Write({Tcp(1), Tcp(2)});
  const std::string jackpots_before = Display(2);
  ProgramRun run = Send("--list");
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
            "N  COM/IP     Veloc./Puerto  Version  Compilación  Nombre       S");
  run = Send("--check");
  EXPECT_EQ(run.out, "Panel Resultados: activo\nPanel Botes: activo\n");
  EXPECT_EQ(run.exit, 0);
  run = Send("--results --json sorteo.ltr");
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.out.rfind("{\"command\":\"send\",", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\"panels\":[{\"panel\":\"results\",\"state\":\"verified\","
                         "\"text\":\"Panel Resultados: enviado y verificado\"}],"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find(",\"verify\":true}\n"), std::string::npos) << run.out;
  EXPECT_EQ(Display(2), jackpots_before) << "the jackpots device is not touched";
  EXPECT_EQ(Display(1), Command(QUINTERRA_IMAGE_TOOL, "sorteo.ltr").out.substr(0, 640));
}

TEST_F(SendTest, ASilentDeviceFailsItsPanelWithinOneStepsWait) {
  Write({Tcp(1, {"--silent-after", "1"}), Tcp(2)});
  const ProgramRun run = Send("sorteo.ltr");
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.out,
            "Panel Resultados: error (sin respuesta de «R 127.0.0.1»)\n"
            "Panel Botes: enviado y verificado\n");
  EXPECT_LT(run.took, 8s);
}

TEST_F(SendTest, ALinkThatCannotBeOpenedFailsItsPanelAndExitsWithThree) {
  // Nobody listens on the results port; the jackpots COM number names a
  // terminal that is not there.
  ports_.push_back({202, dumps_.File("no-such-terminal")});
  Write({{1, "127.0.0.1", std::to_string(e2e::RefusingPort())}, {2, "COM202", "57600"}, Tcp(1)});
  const ProgramRun run = Send("sorteo.ltr");
  // A refusal needs no waiting; the serial open retries for 5 s.
  EXPECT_LT(run.took, 10s);
  EXPECT_NE(Display(1), Command(QUINTERRA_IMAGE_TOOL, "sorteo.ltr").out.substr(0, 640))
      << "the panel's other device is skipped";
  EXPECT_EQ(run.exit, 3);
  EXPECT_EQ(run.out,
            "Panel Resultados: error (no se pudo abrir el enlace de «R 127.0.0.1»)\n"
            "Panel Botes: error (no se pudo abrir el enlace de «B COM202»)\n");
}

TEST_F(SendTest, VerifiesAndReadsBackWhatTheDevicesHold) {
  Write({Tcp(1), Tcp(2, {"--corrupt-store", "5:1"})});
  ProgramRun run = Send("sorteo.ltr --verify --json");
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.out.find("\"text\":\"Panel Resultados: enviado y verificado\""), std::string::npos);
  EXPECT_NE(run.out.find("\"text\":\"Panel Botes: error («B 127.0.0.1» guarda otros datos)\""),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"outcome\":\"different\""), std::string::npos) << run.out;
  run = Send("--read sorteo.ltr");
  EXPECT_EQ(run.out, "Panel Resultados: coincide con el documento\n"
                     "Panel Botes: no coincide: 1 byte distinto\n");
  EXPECT_EQ(run.exit, 1);
}

TEST_F(SendTest, BadUsageAndUnreadableInputsExitWithTwoBeforeAnyLink) {
  EXPECT_EQ(Send("--version").out, "quinterra-send " QUINTERRA_VERSION "\n");
  EXPECT_EQ(Send("--help").exit, 0);
  for (const char* wrong : {"", "--bogus sorteo.ltr", "--check sorteo.ltr", "sorteo.ltr"}) {
    const ProgramRun run = Send(wrong);
    EXPECT_EQ(run.exit, 2) << wrong;
    EXPECT_EQ(run.out, "") << wrong;
  }
  Write({});
  EXPECT_EQ(Send("falta.ltr").exit, 2);
  EXPECT_EQ(Send("--log equipos.ini sorteo.ltr").exit, 2);
  EXPECT_EQ(Send("--check").exit, 1) << "an empty registry is read, its panels fail";
}

TEST_F(SendTest, ADeviceThatAnswersNoReadsIsSentUnverifiedAndNeverReadsAsMatching) {
  Write({Tcp(1, {"--no-reads"}), Tcp(2)});
  const std::string unverified =
      "Panel Resultados: enviado, sin verificar (no se pudo releer «R 127.0.0.1»)\n"
      "Panel Botes: enviado y verificado\n";
  ProgramRun run = Send("sorteo.ltr");
  EXPECT_EQ(run.out, unverified) << run.err;
  EXPECT_EQ(run.exit, 0) << "verification from config.ini falls back to the plain delivery";
  EXPECT_EQ(Display(1), Command(QUINTERRA_IMAGE_TOOL, "sorteo.ltr").out.substr(0, 640));
  run = Send("sorteo.ltr --verify");
  EXPECT_EQ(run.out, unverified);
  EXPECT_EQ(run.exit, 1) << "verification asked for and not done";
  run = Send("--read sorteo.ltr");
  EXPECT_EQ(run.out, "Panel Resultados: sin lectura (no se pudo leer «R 127.0.0.1»)\n"
                     "Panel Botes: coincide con el documento\n");
  EXPECT_EQ(run.exit, 1);
}

TEST_F(SendTest, AStoreFaultHiddenBehindAShortReadNeverPassesVerification) {
  Write({Tcp(1, {"--corrupt-store", "0x41:0x10", "--short-read", "0x41"}), Tcp(2)});
  const ProgramRun run = Send("sorteo.ltr --verify");
  EXPECT_EQ(run.exit, 1) << run.out << run.err;
  EXPECT_EQ(run.out.find("Panel Resultados: enviado y verificado"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Panel Botes: enviado y verificado\n"), std::string::npos) << run.out;
}

// SIGHUP too: a terminal that closes must not kill it mid-write.
TEST_F(SendTest, SigtermOrSighupMidDeliveryReportsEveryPanelUnfinishedWithinOneSecond) {
  for (const std::string signal : {"TERM", "HUP"}) {
    Write({Tcp(1, {"--silent-after", "1"}), Tcp(2)});
    // The silent device holds the delivery in a 2.6 s wait when the signal comes.
    const ProgramRun run =
        Send("sorteo.ltr", "timeout 120 timeout --preserve-status --signal=" + signal + " 1");
    EXPECT_EQ(run.exit, 3) << signal << run.err;
    EXPECT_EQ(run.out, "Panel Resultados: sin terminar\nPanel Botes: sin terminar\n") << signal;
    EXPECT_NE(run.err.find("quinterra-send: interrumpido por SIG" + signal + "\n"), std::string::npos)
        << run.err;
    EXPECT_LT(run.took, 1s + 1s);
  }
}

TEST_F(SendTest, AnEmptyOrShortDocumentIsRefusedBeforeAnyDeviceIsTouched) {
  Write({Tcp(1, {"--log"}), Tcp(2, {"--log"})});
  folder_.Put("vacio.ltr", "");
  folder_.Put("corto.ltr", FormatDocument({"1", "2"}));
  ProgramRun run = Send("vacio.ltr");
  EXPECT_EQ(run.exit, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "quinterra-send: el documento «vacio.ltr» tiene 0 de 134 casillas: no se envía\n");
  run = Send("--read --json corto.ltr");
  EXPECT_EQ(run.exit, 2);
  EXPECT_NE(run.out.find("\"error\":\"el documento «corto.ltr» tiene 2 de 134 casillas: "
                         "no se compara\""),
            std::string::npos) << run.out;
  for (size_t device : {0, 1})
    EXPECT_EQ(EmulatorLog(device).find("[rx]"), std::string::npos) << EmulatorLog(device);
}

TEST_F(SendTest, EveryDeviceServedIsRecordedWithTheBytesItsEmulatorHolds) {
  Write({Tcp(1), Tcp(2, {"--no-reads"})});
  ASSERT_EQ(Send("sorteo.ltr --verify").exit, 1);  // the jackpots panel could not be read back
  Send("--read sorteo.ltr");
  Send("--check --results");
  const std::string held_results = Display(1), held_jackpots = Display(2);
  auto hash = [](const std::string& hex) { return HexText(Sha256(*HexBytes(hex))); };

  const std::vector<THistoryEvent> events = OpenHistory(folder_.File("historial.db"))->Events({});
  std::vector<std::string> seen;
  for (const THistoryEvent& e : events) seen.push_back(e.Kind + " " + e.Panel + " " + e.Outcome);
  EXPECT_EQ(seen, (std::vector<std::string>{"delivery results verified", "delivery jackpots written",
                                            "read results read", "read jackpots unread",
                                            "check results present"}));
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].ImageSha256, hash(held_results)) << "read back from the device";
  EXPECT_EQ(events[1].ImageSha256, hash(held_jackpots)) << "not readable: the bytes written";
  EXPECT_EQ(events[2].ImageSha256, hash(held_results));
  EXPECT_EQ(events[0].Source, "send");
  EXPECT_EQ(events[0].Device, "127.0.0.1:" + events[0].Device.substr(10));
  EXPECT_EQ(events[0].DocumentSha256, HexText(Sha256(folder_.Get("sorteo.ltr"))));
  EXPECT_TRUE(events[4].DocumentSha256.empty());

  ProgramRun run = Send("--history");
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5) << run.out;
  EXPECT_NE(run.out.find("#2  "), std::string::npos);
  EXPECT_NE(run.out.find("escrito, sin releer  imagen " + hash(held_jackpots).substr(0, 12)),
            std::string::npos) << run.out;
  run = Send("--history --json --jackpots");
  EXPECT_NE(run.out.find("\"sha256\": \"" + hash(held_jackpots) + "\""), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("\"panel\": \"results\""), std::string::npos) << run.out;
  EXPECT_EQ(Send("--history --from 2099-01-01").out, "");

  // What the street saw now, drawn as quinterra-image draws the devices' dumps.
  run = Send("--shown-at \"2099-01-01 00:00\" --png ahora.png");
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.out.rfind("Panel Resultados, R 127.0.0.1 [127.0.0.1:", 0), 0u) << run.out;
  Command(QUINTERRA_IMAGE_TOOL, "--png esperado.png --results '" + dumps_.File("dev1/display.bin") +
                                    "' --jackpots '" + dumps_.File("dev2/display.bin") + "'");
  EXPECT_FALSE(folder_.Get("ahora.png").empty());
  EXPECT_EQ(folder_.Get("ahora.png"), folder_.Get("esperado.png"));
  EXPECT_EQ(Send("--shown-at \"2000-01-01 00:00\"").exit, 1) << "nothing known then";

  EXPECT_EQ(Send("--history --verify").out, "El historial se sostiene: 5 eventos\n");
  {
    TSqliteConnection tamper(folder_.File("historial.db"));
    tamper.Execute("UPDATE events SET outcome = 'verified' WHERE id = 2");
  }
  run = Send("--history --verify");
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.out, "El historial no se sostiene desde el evento 2: el evento 2 fue alterado\n");
  run = Send("--history --folder '" + dumps_.File("no-such") + "'");
  EXPECT_EQ(run.exit, 2);
  EXPECT_NE(run.err.find("no existe el historial"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace quinterra::test
