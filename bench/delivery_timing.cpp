// How long "ENVIAR" takes, in the running program against emulator
// processes: from the press to the last panel report, over TCP loopback and
// over pseudo-terminals that take a serial line's time per byte, for one
// device and for four, with and without reading back. Each row is printed
// beside its floor, the cycle's ticks plus the time of the bytes on the wire.
// bench/delivery.sh builds and runs it; it is not part of the test suite.

#include <QLabel>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "devices/device_session.h"
#include "tests/e2e/program_fixture.h"
#include "tests/e2e/sample_document.h"

namespace quinterra::e2e {
namespace {

struct Layout {
  std::string link;  // "tcp" or "pty"
  int rate;          // baud rate of a pseudo-terminal
  int devices;       // 1: one results device; 2: one per panel; 4: two per panel
  bool verify;
};

std::string Name(const Layout& setup) {
  return setup.link + (setup.link == "pty" ? std::to_string(setup.rate) : "") + "_" +
         std::to_string(setup.devices) + (setup.verify ? "_verify" : "_write");
}

class DeliveryTiming : public ProgramTest, public ::testing::WithParamInterface<Layout> {
 protected:
  static constexpr int kRuns = 5;

  // Bytes that crossed the link since line, by the traffic lines of the log.
  size_t WireBytesFrom(size_t line) {
    const std::vector<std::string> lines = LogLines();
    size_t bytes = 0;
    for (size_t i = line; i < lines.size(); ++i) {
      if (lines[i].rfind("-> ", 0) != 0 && lines[i].rfind("<- ", 0) != 0) continue;
      for (size_t at = lines[i].find("0x"); at != std::string::npos; at = lines[i].find("0x", at + 2)) {
        ++bytes;
      }
    }
    return bytes;
  }
};

TEST_P(DeliveryTiming, FromEnviarToTheLastReport) {
  const Layout setup = GetParam();
  ProgramSettings settings;
  settings.document = WriteDocument("sorteo.ltr", FilledDocumentTexts());
  settings.verify = setup.verify;
  std::vector<DeviceEntry> entries;
  for (int i = 0; i < setup.devices; ++i) {
    const int address = setup.devices == 1 || i < setup.devices / 2 ? 1 : 2;
    std::vector<std::string> arguments = {"--address", std::to_string(address)};
    if (setup.link == "tcp") {
      arguments.insert(arguments.end(), {"--tcp", "0"});
    } else {
      arguments.insert(arguments.end(), {"--pty", "--baud", std::to_string(setup.rate), "--line-time"});
    }
    EmulatorProcess* emulator = StartEmulator(arguments);
    ASSERT_TRUE(emulator);
    DeviceEntry entry;
    if (setup.link == "tcp") {
      entry = TcpDevice(address, *emulator);
    } else {
      settings.ports[201 + i] = emulator->PtyPath();
      entry = SerialDevice(address, 201 + i, setup.rate);
    }
    entry.name += " " + std::to_string(i);
    entries.push_back(entry);
  }
  StartWithDevices(entries, settings);
  ASSERT_TRUE(Form().ResultsActive) << Diagnostics();
  const int panels = Form().JackpotsActive ? 2 : 1;

  TDeviceSession& session = Searcher().Session();
  auto to_window = session.OnPanelSent;
  int reports = 0;
  std::chrono::steady_clock::time_point last_report;
  session.OnPanelSent = [&](TDeviceSession* sender, TPanel panel, TPanelResult result) {
    ++reports;
    last_report = std::chrono::steady_clock::now();
    to_window(sender, panel, result);
  };

  std::vector<double> to_report, to_end;
  size_t wire_bytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    const size_t first_line = LogLines().size();
    reports = 0;
    const auto pressed = std::chrono::steady_clock::now();
    PressEnviar();
    ASSERT_TRUE(WaitForCycleEnd(60s)) << Diagnostics();
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_EQ(reports, panels);
    EXPECT_EQ(ReportText(1), setup.verify ? "Panel verificado" : "Panel enviado") << Diagnostics();
    using Ms = std::chrono::duration<double, std::milli>;
    to_report.push_back(Ms(last_report - pressed).count());
    to_end.push_back(Ms(ended - pressed).count());
    wire_bytes = WireBytesFrom(first_line);
  }
  std::sort(to_report.begin(), to_report.end());
  std::sort(to_end.begin(), to_end.end());
  const double median = to_report[kRuns / 2];
  // Four ticks a device (choose, information, directory, display), and the
  // tick that finds the end of the list and reports.
  const int ticks = 4 * setup.devices + 1;
  const double wire_ms = setup.link == "tcp" ? 0.0 : wire_bytes * 10.0 * 1000.0 / setup.rate;
  const double floor_ms = ticks * 100.0 + wire_ms;
  std::printf("ROW %-16s devices %d  %-7s median %7.0f ms  floor %7.0f ms (%2d ticks + %6.0f ms of %5zu bytes)"
              "  ratio %.2f  ticks a device %.2f  to cycle end %7.0f ms\n",
              (setup.link + (setup.link == "pty" ? " " + std::to_string(setup.rate) : "")).c_str(),
              setup.devices, setup.verify ? "verify" : "write", median, floor_ms, ticks, wire_ms,
              wire_bytes, median / floor_ms, (median - wire_ms - 100.0) / 100.0 / setup.devices,
              to_end[kRuns / 2]);

  // The same delivery by the console sender, in the same folder.
  const char* sender = std::getenv("QUINTERRA_SEND_PROGRAM");
  if (setup.link != "tcp" || setup.devices != 2 || !sender) return;
  std::vector<double> cli;
  for (int run = 0; run < kRuns; ++run) {
    QProcess process;
    process.start(QString::fromUtf8(sender),
                  QStringList{QString::fromStdString(settings.document), "--json",
                              setup.verify ? "--verify" : "--no-verify"});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string out = process.readAllStandardOutput().toStdString();
    std::smatch found;
    ASSERT_TRUE(std::regex_search(out, found, std::regex("\"ms\":([0-9]+)"))) << out;
    cli.push_back(std::stod(found[1]));
  }
  std::sort(cli.begin(), cli.end());
  std::printf("ROW cli vs window %-7s  quinterra-send %7.0f ms  window %7.0f ms (SendPanels to the cycle's end)\n",
              setup.verify ? "verify" : "write", cli[kRuns / 2], to_end[kRuns / 2]);
}

INSTANTIATE_TEST_SUITE_P(
    Links, DeliveryTiming,
    ::testing::Values(Layout{"tcp", 0, 1, false}, Layout{"tcp", 0, 1, true}, Layout{"tcp", 0, 2, false},
                      Layout{"tcp", 0, 2, true}, Layout{"tcp", 0, 4, false}, Layout{"tcp", 0, 4, true},
                      Layout{"pty", 115200, 1, false}, Layout{"pty", 115200, 4, false},
                      Layout{"pty", 115200, 4, true}, Layout{"pty", 9600, 1, false},
                      Layout{"pty", 9600, 4, false}, Layout{"pty", 9600, 4, true}),
    [](const ::testing::TestParamInfo<Layout>& info) { return Name(info.param); });

}  // namespace
}  // namespace quinterra::e2e
