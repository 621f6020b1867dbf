#pragma once
// The main window: both panel pictures in a scrolling area, the edit box laid
// over the selected cell, the menus, documents and settings, and the main
// window's side of sending panels.

#include <QMainWindow>
#include <QSize>
#include <QStringList>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/office_window.h"
#include "app/panel_devices.h"
#include "panels/display_image.h"
#include "panels/panel_layout.h"
#include "platform/interval_timer.h"
#include "platform/profile_file.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QToolButton;

namespace quinterra {

class THistoryMenu;
class IMqttTransport;
class TNetworkMenu;
struct TMqttSettings;
class TPanelPicture;
class TPanelsViewWindow;
class TScrollBox;

struct TForm1Options {
  // A compiler's date text ("May 18 2011") the caption is built from;
  // empty: this build's version.
  std::string build_date;
  // The file whose presence shows the "Administrador" menu; empty: the
  // platform's ("c:\vorn.access" on Windows, "/vorn.access" elsewhere).
  std::string admin_marker;
  // Makes the office's broker connection; empty: the real one (TMqttClient).
  std::function<std::unique_ptr<IMqttTransport>(const TMqttSettings&)> network_transports;
};

// The marker file of the "Administrador" menu on this platform.
std::string DefaultAdminMarkerPath();

// The window size after fitting it to the screen: a side longer than the
// screen's becomes the screen's side minus 32.
QSize FitWindowToScreen(const QSize& window, const QSize& screen);

// The save dialog's first name: today's date with hyphens, e.g. 18-05-2011.
QString TodayForFileName();

// The key of "Verificar al enviar" in config.ini's [Config]: 1 (read back
// what "ENVIAR" wrote) unless it says 0.
inline constexpr const char* kVerifyKey = "Verificar";

// The red error labels blink at this period.
inline constexpr std::chrono::milliseconds kBlinkPeriod{1000};

class TForm1 : public QMainWindow, public IOfficeWindow {
  Q_OBJECT
 public:
  // The dialogs and the timer factory must outlive the window.
  TForm1(IDialogs& dialogs, ITimerFactory& timers, const TForm1Options& options = {},
         QWidget* parent = nullptr);
  ~TForm1() override;

  // The device side (may stay null, then nothing is sent or checked).
  // Attached after the window was first shown, it gets then what the
  // showing does for it: its reports, the devices loaded, the check.
  void AttachDevices(IPanelDevices* devices);
  // Raised once, after the window's first frame is painted (or a second
  // after the first showing, whichever comes first): what that frame does
  // not show can be built then.
  std::function<void(TForm1* sender)> OnFirstPaint;

  // Components.
  TScrollBox* ScrollBox1 = nullptr;
  QWidget* ScrollContent = nullptr;
  // The colour pictures are drawn, with their cells, when their panel first
  // turns active; until then they hold no image.
  TPanelPicture* Image1 = nullptr;  // results, colour
  TPanelPicture* Image3 = nullptr;  // results, grey
  TPanelPicture* Image2 = nullptr;  // jackpots, colour
  TPanelPicture* Image4 = nullptr;  // jackpots, grey
  QLineEdit* Edit1 = nullptr;
  QLabel* LabelErrorPanelResultados = nullptr;
  QLabel* LabelErrorPanelBotes = nullptr;
  QFrame* ScrollBox2 = nullptr;
  QFrame* Bevel1 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  // Under the "ENVIAR" button while a delivery runs.
  QProgressBar* ProgressBar1 = nullptr;
  // Where the results error label stands, while no panel device is known.
  QLabel* LabelSinEquipos = nullptr;
  // Why a grey panel is grey and what to do, one line over its picture.
  QLabel* LabelMotivoResultados = nullptr;
  QLabel* LabelMotivoBotes = nullptr;
  // Beside "ENVIAR": the document changed since the last delivery.
  QLabel* LabelCambiosSinEnviar = nullptr;
  // The status line: the last thing the window has to say.
  QLabel* LabelEstado = nullptr;
  // Its right end: the network's last publication and how the shops took it.
  QLabel* NetworkStatusLabel = nullptr;
  // A brief red frame round a cell whose value was emptied.
  QFrame* MarcaCasilla = nullptr;
  std::unique_ptr<IIntervalTimer> TimerMarca;
  QMenu* Archivo1 = nullptr;
  QAction* Nuevo1 = nullptr;
  QAction* Abrir1 = nullptr;
  QAction* Guardar1 = nullptr;
  QAction* Guardarcomo1 = nullptr;
  QAction* Guardadoautomtico1 = nullptr;
  QAction* Verpaneles1 = nullptr;
  QAction* Salir1 = nullptr;
  QMenu* Comunicaciones1 = nullptr;
  QAction* BuscarEquipos1 = nullptr;
  QMenu* EquiposActivos1 = nullptr;
  QMenu* Actualizar1 = nullptr;
  QAction* PanelResultados1 = nullptr;
  QAction* PanelBotes1 = nullptr;
  QAction* VerificarAlEnviar1 = nullptr;  // checked: "ENVIAR" reads back what it wrote
  QAction* LeerPaneles1 = nullptr;
  QMenu* Administrador1 = nullptr;
  QAction* EnviarTestFijo1 = nullptr;
  // "ENVIAR" from the keyboard (Ctrl+Intro); in no menu.
  QAction* Enviar1 = nullptr;
  std::unique_ptr<IIntervalTimer> Timer2;
  // "Vista de los paneles"; panels read back from devices are handed to its
  // SetDeviceSources.
  TPanelsViewWindow* PanelsView = nullptr;

  // Window state.
  std::string BaseCaption;
  std::string AppFolder;
  std::string DocumentName;  // empty for a new document
  std::unique_ptr<TProfileFile> Settings;
  TCellSet CellSet;
  TCasilla* SelectedCell = nullptr;
  bool Modified = false;
  bool ResultsActive = false;
  bool JackpotsActive = false;
  // The office of a network of shops types its documents for the shops:
  // both panels can be edited whatever its own devices answered.
  bool NetworkEditing = false;
  // The "Red" menu and what hangs from it.
  std::unique_ptr<TNetworkMenu> NetworkMenu;
  // "Historial de los paneles…" in "Archivo".
  std::unique_ptr<THistoryMenu> HistoryMenu;

  // Cell editing.
  TCasilla* CellAt(int x, int y);
  void SelectCell(TCasilla* cell);
  bool ValidateCell(const TCasilla& cell) const;
  void DrawCell(const TCasilla& cell, TPanelPicture* picture, int offset_x);
  void DrawAllCells();
  void SetResultsActive(bool active);
  void SetJackpotsActive(bool active);
  // A panel's cells can be picked: it is active, or the network allows it.
  bool ResultsEditable() const { return ResultsActive || NetworkEditing; }
  bool JackpotsEditable() const { return JackpotsActive || NetworkEditing; }
  // The images "ENVIAR" would send now: it ends editing first, which
  // empties a value out of range.
  PanelImages DocumentImages();

  // Documents and settings. SaveDocument and LoadDocument report a file
  // error to the operator and return false, leaving the state as it was.
  bool SaveDocument(const std::string& file_name);
  // Cells beyond the document's items are emptied, and the operator is
  // told so.
  bool LoadDocument(const std::string& file_name);
  // True when the operation that asked may go on: the changes are saved,
  // or the operator chose to drop them.
  bool AskSaveChanges();
  bool SaveSettings();

  // Event handlers.
  void FormShow();
  // False when the operator refused to close.
  bool FormClose();
  void ScrollBox1MouseDown(Qt::MouseButton button, int x, int y);
  void FormKeyUp(int key, Qt::KeyboardModifiers modifiers);
  void Edit1Change();
  void Nuevo1Click();
  void Abrir1Click();
  void Guardar1Click();
  void Guardarcomo1Click();
  void Guardadoautomtico1Click();
  void Verpaneles1Click();
  void Salir1Click();
  void BuscarEquipos1Click();
  void SpeedButton3Click();
  void PanelResultados1Click();
  void PanelBotes1Click();
  void EnviarTestFijo1Click();
  void LeerPaneles1Click();
  void Timer2Timer();

  // Reports of the device side.
  void PanelSendResult(TPanel panel, TPanelResult result);
  void SendFailed();
  void PanelStateChanged(TPanel panel, bool active);
  void ClearActiveDevices();
  void AddActiveDevice(int device_number, int row_index, const QString& name, bool selected);
  void UpdateActiveDevicesMenu();
  // One device of the running delivery is done; a device that read back
  // other bytes says how many and where first.
  void DeliveredDevice(int row_index, TPanel panel, TDeviceOutcome outcome);
  void DeviceDifferent(int row_index, TPanel panel, const TByteDifference& difference);
  void ActiveDeviceClick(QAction* item);
  // One device's display as read back ("Leer paneles"), empty when unread;
  // then the end of the reading.
  void DeviceRead(TPanel panel, int row_index, const std::vector<uint8_t>& bytes);
  void PanelsRead();
  // How far the running delivery is, in percent; shows the bar, which never
  // goes back while it is shown.
  void DeliveryProgress(int percent);
  // No delivery runs (it ended, or a check took over): hides the bar.
  void DeliveryEnded();

  // The office's side (IOfficeWindow), for the "Red" menu.
  void EndEditing() override;
  std::vector<std::string> TextsToPublish() const override;
  void SetNetworkEditing(bool on) override;
  void ShowShopPanels(PanelsViewSource shop) override;
  bool ShopPanelsShown() const override;
  void ShowPublicationProgress(std::optional<int> percent) override;
  // The status line below the pictures says text.
  void ShowStatus(const QString& text) override;
  void ShowNetworkLine(const QString& line) override;

  // Font colours (0x00BBGGRR) of the labels and of the "ENVIAR" button.
  int32_t FontColor(const QWidget* widget) const;
  void SetFontColor(QWidget* widget, int32_t bgr);

  static constexpr int kClientWidth = 1140;
  static constexpr int kClientHeight = 845;
  // The scrolling range: wide enough to reach the whole jackpots picture.
  static constexpr int kContentWidth = 1138;
  static constexpr int kContentHeight = 845;
  // The status line below the scrolling area.
  static constexpr int kStatusLineHeight = 22;
  // How long the red frame stays round an emptied cell.
  static constexpr std::chrono::milliseconds kMarkTime{1500};

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  // The edit box's key-ups run FormKeyUp too (the edit box keeps them).
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Tab and Shift+Tab move between cells, never between controls.
  bool focusNextPrevChild(bool next) override;

 private:
  void CreateComponents();
  void CreateMenu();
  void CreateStatusWidgets();
  void CreateShortcuts();
  // Draws a panel's colour picture and its cells unless it is drawn.
  void PrepareColourPicture(TPanelPicture* picture);
  // The items read, or none when nothing was loaded (no such file, or a
  // file error, already reported).
  std::optional<size_t> ReadDocument(const std::string& file_name);
  void FitToScreen();
  void ShowDocumentCaption();
  // Every change of a cell's text passes here, for the panels view.
  void CellsChanged();
  void ShowFileError(const std::exception& error);
  void RaiseFirstPaint();
  // The panels the "Actualizar" ticks ask for; none when neither is ticked.
  std::optional<TPanelMode> ModeFromTicks() const;
  // The save dialog with today's date offered; empty when cancelled.
  std::optional<QString> ChooseSaveName();
  // False when the delivery did not start.
  bool RequestSend(PanelPayload results, PanelPayload jackpots, bool colour_button);

  // A panel's report above its picture, in green or red; tip names the
  // device and the cause (shown when the pointer rests on the report).
  void ShowPanelReport(TPanel panel, const QString& text, bool failed, const QString& tip = {});
  // An out-of-range value was emptied on leaving its cell.
  void ReportEmptiedCell(const TCasilla& cell, const std::string& value);
  // Shows or hides each grey panel's reason.
  void UpdatePanelReasons();
  QString PanelReason(TPanel panel) const;
  // Shows "Cambios sin enviar" while the document differs from what the
  // last delivery was given.
  void UpdateUnsentChanges();
  // What a delivery report says of the panel's devices: why it failed, or
  // what kept it from being verified.
  QString DeliveryDetail(TPanel panel, bool failed) const;

  IDialogs& dialogs_;
  IPanelDevices* Devices = nullptr;
  // The devices "Equipos Activos" lists, by row.
  struct ListedDevice {
    int number;
    QString name;
    bool selected;
  };
  std::map<int, ListedDevice> listed_devices_;
  QString DeviceName(int row_index) const;
  // What the last presence check of each panel found; "Checking" while one
  // runs.
  enum class CheckState { None, Checking, Failed };
  CheckState results_check_ = CheckState::None;
  CheckState jackpots_check_ = CheckState::None;
  CheckState& CheckOf(TPanel panel) {
    return panel == TPanel::Results ? results_check_ : jackpots_check_;
  }
  // Asks for the presence check of mode's panels and says so.
  void RequestCheck(TPanelMode mode);
  // The selected devices of a panel, by name; and those of its last check,
  // whose failure says nothing of devices selected since.
  QStringList SelectedDevices(TPanel panel) const;
  std::map<TPanel, QStringList> checked_devices_;
  // The devices of the running or last delivery, in the order they were
  // served.
  struct DeliveredReport {
    int row_index;
    TPanel panel;
    TDeviceOutcome outcome;
    std::optional<TByteDifference> difference;
  };
  std::vector<DeliveredReport> delivered_;
  std::map<int, TByteDifference> pending_differences_;
  // What each panel's report of the last delivery said, for the status line.
  std::map<TPanel, QString> delivery_status_;
  // The images the last delivery was given; none before the first.
  std::optional<PanelImages> delivered_images_;
  // What "Leer paneles" found, device by device.
  struct ReadBack {
    TPanel panel;
    int row_index;
    std::vector<uint8_t> bytes;
  };
  std::vector<ReadBack> read_back_;
  // The panels the running or last "Leer paneles" asked for.
  TPanelMode read_mode_ = TPanelMode::Both;
  bool shown_once_ = false;
  // The showing's start-up has reached the device side.
  bool devices_started_ = false;
  bool first_paint_raised_ = false;
  // Said after the first paint: the note on the document reopened at
  // start-up.
  std::optional<QString> startup_note_;
  bool in_edit_change_ = false;
  QString edit_text_before_;
  // The edit box's selection before the change being handled (Qt reports a
  // change before the selection it leaves).
  int edit_selection_start_ = -1;
  int edit_selection_length_ = 0;
};

}  // namespace quinterra
