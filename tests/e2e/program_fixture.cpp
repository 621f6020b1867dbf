#include "tests/e2e/program_fixture.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QThread>
#include <QToolButton>

#include <fstream>
#include <iterator>
#include <sstream>

#include "app/main_window.h"
#include "app/searcher_panel_devices.h"
#include "devices/device_searcher.h"
#include "links/comunicacion_serie.h"
#include "panels/document.h"
#include "platform/interval_timer.h"
#include "tests/support/port_config.h"

namespace quinterra::e2e {

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

void RunEventsFor(std::chrono::milliseconds time) { WaitFor([] { return false; }, time); }

void ProgramTest::SetUp() {
  ASSERT_TRUE(folder_.isValid());
  // The program keeps its files in the folder that is current at start-up.
  previous_folder_ = QDir::currentPath();
  QDir::setCurrent(folder_.path());
  TDeviceSession::ForgetDevicesLoaded();
}

void ProgramTest::TearDown() {
  if (searcher_) {
    EXPECT_FALSE(CycleRunning()) << "a cycle still runs at the end of the test\n" << Diagnostics();
  }
  // No file of the start folder failed to be read or written.
  EXPECT_TRUE(dialogs.errors.empty()) << dialogs.errors.front().toStdString();
  EXPECT_TRUE(searcher_dialogs->errors.empty()) << searcher_dialogs->errors.front().toStdString();
  // In the program's order: the search window goes before the main window.
  devices_.reset();
  searcher_.reset();
  form_.reset();
  // A serial worker frees itself on its own thread once told to stop.
  EXPECT_TRUE(WaitFor([] { return TComunicacionSerie::LiveCount() == 0; }, 3s))
      << "serial workers left: " << TComunicacionSerie::LiveCount();
  emulators_.clear();
  QDir::setCurrent(previous_folder_);
}

EmulatorProcess* ProgramTest::StartEmulator(const std::vector<std::string>& arguments) {
  const std::string log = InFolder("emulator-" + std::to_string(++emulator_count_) + ".err");
  emulators_.push_back(std::make_unique<EmulatorProcess>());
  EmulatorProcess* emulator = emulators_.back().get();
  if (!emulator->StartAndAnnounce(arguments, log)) {
    ADD_FAILURE() << "the emulator did not start: '" << emulator->FirstLine() << "'\n"
                  << emulator->Stderr();
    return nullptr;
  }
  return emulator;
}

EmulatorProcess* ProgramTest::StartTcpPanel(int address, const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = {"--tcp",  "0", "--address", std::to_string(address),
                                        "--dump", DumpFolder(address), "--log"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return StartEmulator(arguments);
}

EmulatorProcess* ProgramTest::StartPtyPanel(int address, int rate,
                                            const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = {"--pty",  "--baud", std::to_string(rate), "--address",
                                        std::to_string(address), "--dump", DumpFolder(address),
                                        "--log"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return StartEmulator(arguments);
}

std::string ProgramTest::DumpFolder(int address) const {
  return InFolder("device-" + std::to_string(address));
}

Bytes ProgramTest::DumpedArea(int address, const std::string& area) const {
  std::ifstream file(DumpFolder(address) + "/" + area + ".bin", std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::string ProgramTest::Folder() const { return folder_.path().toStdString(); }

std::string ProgramTest::InFolder(const std::string& name) const { return Folder() + "/" + name; }

void ProgramTest::WriteDevices(const std::vector<DeviceEntry>& devices) {
  std::ofstream file(InFolder("equipos.ini"), std::ios::binary | std::ios::trunc);
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceEntry& d = devices[i];
    file << "[" << i << "]\r\n"
         << "Nombre=" << d.name << "\r\n"
         << "COMIP=" << d.link_address << "\r\n"
         << "SpeedPort=" << d.speed_or_port << "\r\n"
         << "Version=" << d.version << "\r\n"
         << "Compilacion=" << d.build << "\r\n"
         << "NumDispositivo=" << d.number << "\r\n"
         << "Selected=" << (d.selected ? "*" : " ") << "\r\n";
  }
}

void ProgramTest::WriteSettings(const ProgramSettings& settings) {
  std::ofstream file(InFolder("config.ini"), std::ios::binary | std::ios::trunc);
  file << "[Config]\r\n"
       << "FileName=" << settings.document << "\r\n"
       << "Guardado=0\r\n"
       << "PanelResultados=" << (settings.tick_results ? 1 : 0) << "\r\n"
       << "PanelBotes=" << (settings.tick_jackpots ? 1 : 0) << "\r\n"
       << "Verificar=" << (settings.verify ? 1 : 0) << "\r\n";
  if (!settings.ports.empty()) file << test::PuertosSection({settings.ports.begin(), settings.ports.end()});
}

std::string ProgramTest::WriteDocument(const std::string& name,
                                       const std::vector<std::string>& texts) {
  const std::string path = InFolder(name);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << FormatDocument(texts);
  return path;
}

void ProgramTest::StartProgram() {
  TForm1Options options;
  options.admin_marker = InFolder("no-admin-marker");
  options.build_date = "May 18 2011";
  form_ = std::make_unique<TForm1>(dialogs, timers_, options);

  TFormDeviceSearcher::Environment environment;  // start folder: the current one
  environment.Dialogs = searcher_dialogs;
  environment.PresentPorts = [this] { return present_ports; };
  environment.SettableRates = [this](int com_number) {
    const auto found = settable_rates.find(com_number);
    return found == settable_rates.end() ? std::vector<int>() : found->second;
  };
  searcher_ = std::make_unique<TFormDeviceSearcher>(timers_, environment, form_.get());
  devices_ = std::make_unique<TSearcherPanelDevices>(*searcher_);
  form_->AttachDevices(devices_.get());
  form_->show();
}

void ProgramTest::StartWithDevices(const std::vector<DeviceEntry>& devices,
                                   const ProgramSettings& settings) {
  WriteDevices(devices);
  WriteSettings(settings);
  StartProgram();
  // One presence check per device: a link, one request, one answer (or a
  // 2.6 s wait for a silent one).
  EXPECT_TRUE(WaitForCycleEnd(12s)) << "the start-up check did not end\n" << Diagnostics();
}

DeviceEntry ProgramTest::TcpDevice(int number, const EmulatorProcess& emulator) {
  DeviceEntry entry;
  entry.number = number;
  entry.link_address = "127.0.0.1";
  entry.speed_or_port = std::to_string(emulator.TcpPort());
  entry.name = std::string(number == 1 ? "Panel Resultados" : "Panel Botes") + " (127.0.0.1)";
  return entry;
}

DeviceEntry ProgramTest::SerialDevice(int number, int com_number, int rate) {
  DeviceEntry entry;
  entry.number = number;
  entry.link_address = "COM" + std::to_string(com_number);
  entry.speed_or_port = std::to_string(rate);
  entry.name = std::string(number == 1 ? "Panel Resultados" : "Panel Botes") + " (" +
               entry.link_address + ")";
  return entry;
}

void ProgramTest::PressEnviar() { form_->SpeedButton3->click(); }

bool ProgramTest::CycleRunning() { return searcher_->Session().Running(); }

bool ProgramTest::WaitForCycleEnd(std::chrono::milliseconds limit) {
  return WaitFor([this] { return !CycleRunning(); }, limit);
}

std::vector<std::string> ProgramTest::LogLines() {
  std::vector<std::string> lines;
  const QString text = searcher_->Memo1->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
  return lines;
}

std::string ProgramTest::LogText() {
  std::string text;
  for (const std::string& line : LogLines()) text += line.substr(0, 100) + "\n";
  return text;
}

int ProgramTest::FindLogLine(const std::string& line, int from) {
  const std::vector<std::string> lines = LogLines();
  for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<int>(i);
  }
  return -1;
}

std::string ProgramTest::Diagnostics() {
  std::string text = "--- log of the search window ---\n";
  if (searcher_) text += LogText();
  for (const auto& emulator : emulators_) {
    text += "--- emulator " + emulator->FirstLine() + " ---\n" + emulator->Stderr();
  }
  return text;
}

std::string ProgramTest::ReportText(int panel) {
  const QLabel* label =
      panel == 1 ? form_->LabelErrorPanelResultados : form_->LabelErrorPanelBotes;
  return label->text().toStdString();
}

int32_t ProgramTest::ReportColour(int panel) {
  return form_->FontColor(panel == 1 ? form_->LabelErrorPanelResultados
                                     : form_->LabelErrorPanelBotes);
}

int32_t ProgramTest::ButtonColour() { return form_->FontColor(form_->SpeedButton3); }

}  // namespace quinterra::e2e
