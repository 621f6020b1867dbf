#pragma once
// The device search window "Buscador de dispositivos". It keeps the device
// list (shown in ListView1 and stored in equipos.ini), opens the one link to
// the devices (serial worker or TCP socket), feeds the bus engine, runs the
// search, delivery and check cycle through its TDeviceCycle, and logs all
// link traffic in Memo1.
//
// The program creates it once, beside the main window, and shows it modally
// from "Buscar Equipos"; closing it only hides it. Everything runs on the UI
// thread.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "devices/device_cycle.h"
#include "devices/device_row.h"
#include "links/com_port_map.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QTreeWidget;
class QAction;

namespace quinterra {

class ISearcherDialogs;
class ITimerFactory;
class IIntervalTimer;
class TComVornBus;
class TLinkLayer;
class TProfileFile;

class TFormDeviceSearcher : public QDialog, public IDeviceCycleHost {
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

  // timers makes Timer1 and the bus engine's timers; it must outlive the window.
  explicit TFormDeviceSearcher(ITimerFactory& timers, Environment environment = {},
                               QWidget* parent = nullptr);
  ~TFormDeviceSearcher() override;

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
  void AddLog(const std::string& line);
  void AddLog(const QString& line);
  // The folder prefix of equipos.ini and log.txt, ending in a separator.
  const std::string& StartFolder() const { return start_folder_; }

  // --- device registry ---
  // Fills the list from equipos.ini once per program run, then publishes it.
  void LoadDevices();
  // Rewrites equipos.ini from the list and publishes it. False (after an
  // error message naming the file) when the file could not be written; the
  // previous file is then left as it was.
  bool SaveDevices();
  // Sets the row's "S" if the row exists, then saves in any case.
  void SetDeviceSelected(int row_index, bool selected);
  const std::vector<DeviceRow>& Devices() const { return rows_; }
  // Tests run many windows in one process.
  static void ForgetDevicesLoaded();

  // Published to the main window: the list, row by row, after every load and
  // save; the outcome of deliveries and checks.
  std::function<void(TFormDeviceSearcher* sender)> OnDevicesCleared;
  std::function<void(TFormDeviceSearcher* sender, int number, int row_index,
                     const std::string& name, bool selected)>
      OnDeviceListed;
  std::function<void(TFormDeviceSearcher* sender)> OnDevicesListed;
  std::function<void(TFormDeviceSearcher* sender, int panel, bool failed)> OnPanelSent;
  std::function<void(TFormDeviceSearcher* sender, int panel, bool active)> OnPanelChecked;
  std::function<void(TFormDeviceSearcher* sender)> OnLinkLost;

  // --- links ---
  void ListComPorts();
  void ListRates(const QString& entry);
  // kind: -1 from the radio buttons, 1 serial, 2 TCP. Empty texts take the
  // window's controls.
  void OpenLink(int kind, const std::string& address, const std::string& second) override;
  void CloseLink() override;
  // The bus engine's way out.
  void SendToLink(const uint8_t* bytes, int count);
  // Address and port of the current or last TCP link.
  const std::string& TcpAddress() const { return tcp_address_; }
  int TcpPort() const { return tcp_port_; }
  const std::vector<int>& RateList() const;
  int RateIndex() const;
  TLinkLayer& Link() { return *link_; }

  // --- the cycle ---
  void Timer1Timer();
  void LinkOpened();
  void LinkFailed();
  // mode: 0 both panels, 1 results, 2 jackpots.
  bool SendPanels(int mode);
  void CheckPanels(int mode);
  TComVornBus& Engine() { return *engine_; }
  TDeviceCycle& Cycle() { return *cycle_; }
  IIntervalTimer& Timer1() { return *timer1_; }

  // --- what the cycle asks of the window ---
  bool TcpChecked() override;
  bool SerialChecked() override;
  std::string IpText() override;
  std::string PortText() override;
  std::string ComText() override;
  bool SerialWorkerAlive() override;
  int SerialRate() override;
  void SetSerialRate(int rate) override;
  void Log(const std::string& line) override;
  void SetControlsEnabled(bool enabled) override;
  std::vector<DeviceRow>& Rows() override;
  void RowsChanged() override;
  int Random(int n) override;

 private:
  // The window's own objects come first: the cycle refers to them.
  std::string start_folder_;
  std::shared_ptr<ISearcherDialogs> dialogs_;
  std::function<std::vector<std::string>()> present_ports_;
  std::function<std::vector<int>(int)> settable_rates_;
  std::mt19937 random_;
  TComPortMap com_ports_;
  std::unique_ptr<TProfileFile> devices_file_;
  std::unique_ptr<IIntervalTimer> timer1_;
  std::unique_ptr<TComVornBus> engine_;
  std::unique_ptr<TLinkLayer> link_;
  std::vector<DeviceRow> rows_;
  std::string tcp_address_;
  int tcp_port_ = 0;
  bool centred_ = false;
  std::unique_ptr<TDeviceCycle> cycle_;

 public:
  // The main window's panel contents, handed over before SendPanels. A
  // delivery keeps the ones it started with, whatever is stored here later.
  TPanelPayload& ResultsPayload;
  TPanelPayload& JackpotsPayload;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void ShowLog(bool show);
  void RefreshListView();
  void PublishDevices();
  void ReceivedBytes(const uint8_t* bytes, int count);
  // Runs the name check and the save; true when the window may hide.
  bool MayClose();
};

}  // namespace quinterra
