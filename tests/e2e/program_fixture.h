#pragma once
// The whole program in a temporary start folder: the main window, the device
// search window joined to it as in the program, real Qt timers and real links,
// talking to emulator processes on 127.0.0.1 or on pseudo-terminals.
//
// A test starts its emulators, writes equipos.ini, config.ini and a document,
// then starts the program and drives it through its buttons, waiting on the
// event loop with a deadline. Emulators are killed and the folder removed
// when the test ends; by then no cycle may still be running.

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/searcher_panel_devices.h"
#include "devices/device_searcher.h"
#include "devices/searcher_dialogs.h"
#include "platform/qt_interval_timer.h"
#include "tests/support/emulator_process.h"

namespace quinterra::e2e {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::EmulatorProcess;

// The main window's questions: every "save changes?" is answered No.
class QuietDialogs : public IDialogs {
 public:
  DialogAnswer AskYesNoCancel(const QString&, const QString& text) override {
    questions.push_back(text);
    return DialogAnswer::No;
  }
  void ShowError(const QString& text) override { errors.push_back(text); }
  void ShowInfo(const QString&, const QString& text) override { infos.push_back(text); }
  std::optional<QString> ChooseFileToOpen(const QString&) override { return std::nullopt; }
  std::optional<QString> ChooseFileToSave(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::vector<QString> questions, errors, infos;
};

class QuietSearcherDialogs : public ISearcherDialogs {
 public:
  void ShowInfo(QWidget*, const QString& text) override { infos.push_back(text); }
  void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
  std::vector<QString> infos, errors;
};

// One section of equipos.ini.
struct DeviceEntry {
  int number = 1;
  std::string link_address;   // "127.0.0.1" or "COM<n>"
  std::string speed_or_port;  // TCP port or rate
  std::string name;
  bool selected = true;
  std::string version = "10.0.0.0.0.0.0.0.1";
  std::string build = "EMU 1.0";
};

// What config.ini holds.
struct ProgramSettings {
  bool tick_results = true;  // "Actualizar" > "Panel Resultados"
  bool tick_jackpots = true;
  std::string document;      // last document, opened at start-up
  std::map<int, std::string> ports;  // "Puertos": COM number -> device path
  bool verify = false;               // "Verificar al enviar"
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // --- emulators ---
  // Starts quinterra-emulator with these arguments; null (after a test
  // failure) when it did not announce its link.
  EmulatorProcess* StartEmulator(const std::vector<std::string>& arguments);
  // An emulator on a free TCP port of 127.0.0.1 answering at address,
  // dumping its memory into DumpFolder(address) (pass fault options in extra).
  EmulatorProcess* StartTcpPanel(int address, const std::vector<std::string>& extra = {});
  // The same on a pseudo-terminal that answers only at rate.
  EmulatorProcess* StartPtyPanel(int address, int rate, const std::vector<std::string>& extra = {});
  std::string DumpFolder(int address) const;
  // What the emulator dumped of one memory area ("display", "directory").
  Bytes DumpedArea(int address, const std::string& area) const;

  // --- files of the start folder ---
  std::string Folder() const;
  std::string InFolder(const std::string& name) const;
  void WriteDevices(const std::vector<DeviceEntry>& devices);
  void WriteSettings(const ProgramSettings& settings);
  // Writes a document of these 134 texts; returns its path.
  std::string WriteDocument(const std::string& name, const std::vector<std::string>& texts);

  // --- the program ---
  // Serial ports the search window lists (friendly names such as
  // "pts (COM120)") and the rates each COM number can be set to. Set them
  // before StartProgram; no port of this machine is ever listed or opened.
  std::vector<std::string> present_ports;
  std::map<int, std::vector<int>> settable_rates;

  // Creates both windows as the program does and shows the main window
  // (which loads equipos.ini and checks the ticked panels).
  void StartProgram();
  // Writes equipos.ini with these devices and config.ini with settings, starts
  // the program and waits for the presence check of the ticked panels.
  void StartWithDevices(const std::vector<DeviceEntry>& devices, const ProgramSettings& settings);
  // Rows of equipos.ini for a device behind an emulator or a COM port.
  static DeviceEntry TcpDevice(int number, const EmulatorProcess& emulator);
  static DeviceEntry SerialDevice(int number, int com_number, int rate);
  // "ENVIAR".
  void PressEnviar();
  TForm1& Form() { return *form_; }
  TFormDeviceSearcher& Searcher() { return *searcher_; }
  bool CycleRunning();
  // Waits for a running cycle to end; false when it still runs at the
  // deadline.
  bool WaitForCycleEnd(std::chrono::milliseconds limit);

  // The search window's log, line by line, and as one text for messages.
  std::vector<std::string> LogLines();
  std::string LogText();
  // Index of the first log line equal to line at or after from, -1 if none.
  int FindLogLine(const std::string& line, int from = 0);
  // The log and every emulator's complaints, for failure messages.
  std::string Diagnostics();

  // Label text and font colour (0x00BBGGRR) of a panel's delivery report.
  std::string ReportText(int panel);
  int32_t ReportColour(int panel);
  int32_t ButtonColour();

  QuietDialogs dialogs;
  std::shared_ptr<QuietSearcherDialogs> searcher_dialogs = std::make_shared<QuietSearcherDialogs>();

 private:
  QTemporaryDir folder_;
  QString previous_folder_;
  std::vector<std::unique_ptr<EmulatorProcess>> emulators_;
  int emulator_count_ = 0;
  QtTimerFactory timers_;
  std::unique_ptr<TForm1> form_;
  std::unique_ptr<TFormDeviceSearcher> searcher_;
  std::unique_ptr<TSearcherPanelDevices> devices_;
};

// Runs the UI thread's events until done() holds or the limit passes;
// returns done().
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);
// Runs the UI thread's events for a while.
void RunEventsFor(std::chrono::milliseconds time);

// Milliseconds since a start point, for the bounds the tests assert.
class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_);
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// Colours of the reports.
constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kGreen = 0x00FF00;
constexpr int32_t kYellow = 0x00FFFF;

}  // namespace quinterra::e2e
