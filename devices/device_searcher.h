#pragma once
// The device search window "Buscador de dispositivos": the widgets over the
// program's device session. It shows the device list (ListView1), the link
// to search on, the log (Memo1), and turns the operator's clicks into calls
// on the session; the session owns the engine, the link, the registry and
// the cycle.
//
// The program creates it once, beside the main window, and shows it modally
// from "Buscar Equipos"; closing it only hides it. Everything runs on the UI
// thread.

#include <QDialog>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/device_row.h"
#include "devices/device_session.h"
#include "devices/link_settings.h"
#include "links/com_port_map.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFrame;
class QHideEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QTreeWidget;
class QAction;

namespace quinterra {

class IIntervalTimer;
class ISearcherDialogs;
class ITimerFactory;

class TFormDeviceSearcher : public QDialog {
  Q_OBJECT

 public:
  // What the window takes from its surroundings; tests replace each part.
  struct Environment {
    // Folder of equipos.ini, log.txt and config.ini (its "Puertos" section
    // maps COM numbers); empty: the current folder at creation.
    std::string StartFolder;
    // Null: real message boxes.
    std::shared_ptr<ISearcherDialogs> Dialogs;
    // Friendly names of the serial ports present ("USB Serial Port (COM33)");
    // null: this machine's.
    std::function<std::vector<std::string>()> PresentPorts;
    // Rates a COM port can be set to; null: this machine's.
    std::function<std::vector<int>(int com_number)> SettableRates;
    // Seed of the generator that draws the check bytes; none: the tick count.
    std::optional<uint32_t> RandomSeed;
  };

  // How the window answers a close request.
  enum class CloseAction { None, Hide };

  // Builds the device session on this machine's links. timers makes Timer1
  // and the bus engine's timers; it must outlive the window.
  explicit TFormDeviceSearcher(ITimerFactory& timers, Environment environment = {},
                               QWidget* parent = nullptr);
  ~TFormDeviceSearcher() override;

  TDeviceSession& Session() { return *session_; }

  // --- controls, by their names ---
  QMenuBar* MainMenu1 = nullptr;
  QMenu* Archivo1 = nullptr;
  QAction* Limpiarlog1 = nullptr;
  QAction* Savelog1 = nullptr;
  QWidget* ClientArea = nullptr;  // everything below the menu
  QTreeWidget* ListView1 = nullptr;
  QFrame* Bevel1 = nullptr;
  QFrame* Bevel2 = nullptr;
  QRadioButton* RadioButton1 = nullptr;  // "TCP/IP"
  QRadioButton* RadioButton2 = nullptr;  // "SERIE"
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;  // IP address
  QLabel* Label2 = nullptr;
  QLineEdit* Edit2 = nullptr;  // TCP port
  QLabel* Label3 = nullptr;
  QComboBox* ComboBox1 = nullptr;  // COM port
  QLabel* Label4 = nullptr;
  QComboBox* ComboBox2 = nullptr;  // speed
  QPushButton* Button1 = nullptr;  // "Buscar"
  QPushButton* Button2 = nullptr;  // "Eliminar"
  QCheckBox* CheckBox1 = nullptr;  // "Log"
  QPlainTextEdit* Memo1 = nullptr;
  // Beside "Log" while a cycle runs: how far it is.
  QProgressBar* ProgressBar1 = nullptr;

  // Height of the window inside, below the menu.
  int ClientHeight() const;

  // --- handlers ---
  void RadioButton1Click();
  void RadioButton2Click();
  void ComboBox1Change();
  void CheckBox1Click();
  void Limpiarlog1Click();
  void Savelog1Click();
  void Button1Click();
  void Button2Click();
  void FormClose(CloseAction& action);
  // Escape closes through the name check too.
  void reject() override;

  // Appends one line to the log, shown or not.
  void AddLog(const std::string& line) { session_->Log(line); }
  // The folder prefix of equipos.ini and log.txt, ending in a separator.
  const std::string& StartFolder() const { return start_folder_; }

  // --- device registry ---
  // Rewrites equipos.ini from the list and publishes it. False (after an
  // error message naming the file) when the file could not be written; the
  // previous file is then left as it was.
  bool SaveDevices();
  // Sets the row's "S" if the row exists, then saves in any case.
  void SetDeviceSelected(int row_index, bool selected);

  // --- links ---
  void ListComPorts();
  void ListRates(const QString& entry);
  // The link "Buscar" searches on, from the controls.
  TLinkSettings LinkSettings() const;
  const std::vector<int>& RateList() const { return rate_list_; }

  // While the window is shown, the COM list follows the machine: a port
  // plugged in or pulled out shows within this period.
  static constexpr std::chrono::milliseconds kPortPollPeriod{1000};
  // Lists the present ports again if they changed, keeping the chosen entry
  // (and its speed list and speed) when it is still there. Does nothing
  // while a cycle runs (a search reads the port, a delivery or check holds
  // one open) or while the list is dropped down.
  void RefreshComPorts();

  // false disables every control, as a search does; true gives back both
  // radio buttons and both buttons, then the checked kind's inputs, as the
  // end of every cycle does.
  void SetControlsEnabled(bool enabled);

  // --- events, called only when filled, the window first ---
  // The session's cycle reports, passed on after the window's own use, so
  // that the main window can follow a delivery.
  std::function<void(TFormDeviceSearcher*, TCycleKind kind, bool running)> OnCycleRunningChanged;
  std::function<void(TFormDeviceSearcher*, TCycleKind kind, int percent)> OnCycleProgress;
  // A search added a row or filled one in (after the list shows it).
  std::function<void(TFormDeviceSearcher*)> OnRowsChanged;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // The list and the log follow the window's size.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void ShowLog(bool show);
  // Lays the list and the log out over the client area's width and height.
  void FitToClientArea();
  // Adds a line to Memo1, following the newest line unless the operator
  // has scrolled up to read.
  void AppendLogLine(const QString& line);
  void RefreshListView();
  void CycleRunningChanged(TCycleKind kind, bool running);
  // The progress bar (device_searcher_watch.cpp).
  void BuildProgressBar();
  void ShowCycleRunning(bool running);
  void CycleProgress(int percent);
  // Runs the name check and the save; true when the window may hide.
  bool MayClose();

  std::string start_folder_;
  std::shared_ptr<ISearcherDialogs> dialogs_;
  std::function<std::vector<std::string>()> present_ports_;
  std::function<std::vector<int>(int)> settable_rates_;
  TComPortMap com_ports_;
  std::vector<int> rate_list_;
  bool centred_ = false;
  std::unique_ptr<TDeviceSession> session_;
  std::unique_ptr<IIntervalTimer> ports_timer_;
};

}  // namespace quinterra
