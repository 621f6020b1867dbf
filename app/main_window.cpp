#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>

#include <filesystem>

#include "app/cell_drawing.h"
#include "app/history_menu.h"
#include "app/network_menu.h"
#include "app/panel_font.h"
#include "app/panel_picture.h"
#include "app/panel_pictures.h"
#include "app/panels_view_window.h"
#include "app/scroll_box.h"
#include "app/speed_button.h"
#include "app/window_texts.h"
#include "platform/file_io.h"
#include "quinterra_version.h"

namespace quinterra {

namespace {

constexpr int kPictureControlHeight = 849;
constexpr std::chrono::milliseconds kFirstPaintWait(1000);
const QColor kEditBackground(64, 64, 64);      // the 3-D dark shadow colour
const QColor kButtonPanelColour(32, 28, 92);   // 6036512 as 0x00BBGGRR

}  // namespace

std::string DefaultAdminMarkerPath() {
#ifdef _WIN32
  return "c:\\vorn.access";
#else
  return "/vorn.access";
#endif
}

QSize FitWindowToScreen(const QSize& window, const QSize& screen) {
  QSize fitted = window;
  if (screen.height() < window.height()) fitted.setHeight(screen.height() - 32);
  if (screen.width() < window.width()) fitted.setWidth(screen.width() - 32);
  return fitted;
}

QString TodayForFileName() { return QDate::currentDate().toString("dd-MM-yyyy"); }

TForm1::TForm1(IDialogs& dialogs, ITimerFactory& timers, const TForm1Options& options,
               QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs) {
  // This build's caption is its version, the same --version and the package
  // say; a test may give the date it is built from.
  BaseCaption = options.build_date.empty() ? std::string("Quinterra v") + QUINTERRA_VERSION
                                           : CaptionFromBuildDate(options.build_date);
  setWindowTitle(QString::fromStdString(BaseCaption));
  // With its separator: the settings and the log are named by appending.
  AppFolder = (std::filesystem::path(QDir::currentPath().toStdString()) / "").string();

  CreateComponents();
  CreateMenu();
  CreateShortcuts();
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height() + kStatusLineHeight);
  FitToScreen();

  ShowDocumentCaption();
  Settings = std::make_unique<TProfileFile>(AppFolder + "config.ini");
  const std::string last_document = Settings->ReadString("Config", "FileName", "");
  if (!last_document.empty() && FileExists(last_document)) {
    // Told once the window is painted.
    const std::optional<size_t> items = ReadDocument(last_document);
    if (items && *items < static_cast<size_t>(kCellCount))
      startup_note_ = QString::fromStdString(ShortDocumentNote(*items));
  }
  Guardadoautomtico1->setChecked(Settings->ReadInteger("Config", "Guardado", 0) == 1);
  VerificarAlEnviar1->setChecked(Settings->ReadInteger("Config", kVerifyKey, 1) != 0);

  SetResultsActive(false);
  SetJackpotsActive(false);

  const std::string marker =
      options.admin_marker.empty() ? DefaultAdminMarkerPath() : options.admin_marker;
  Administrador1->menuAction()->setVisible(FileExists(marker));
  NetworkMenu = std::make_unique<TNetworkMenu>(
      *this, Administrador1->menuAction(), *Settings, *this, timers,
      options.network_transports ? options.network_transports : MqttTransports());
  HistoryMenu = std::make_unique<THistoryMenu>(*this);

  Timer2 = timers.CreateTimer();
  Timer2->OnTimer = [this] { Timer2Timer(); };
  Timer2->SetInterval(kBlinkPeriod);
  Timer2->SetEnabled(true);

  TimerMarca = timers.CreateTimer();
  TimerMarca->SetInterval(kMarkTime);
  TimerMarca->OnTimer = [this] {
    TimerMarca->SetEnabled(false);
    MarcaCasilla->hide();
  };
}

TForm1::~TForm1() {
  // Before the widgets it uses.
  NetworkMenu.reset();
  HistoryMenu.reset();
  if (Timer2) Timer2->SetEnabled(false);
  if (TimerMarca) TimerMarca->SetEnabled(false);
}

void TForm1::CreateComponents() {
  ScrollBox1 = new TScrollBox(this);
  ScrollBox1->setObjectName("ScrollBox1");
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setFocusPolicy(Qt::NoFocus);
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->OnMouseDown = [this](Qt::MouseButton button, int x, int y) {
    ScrollBox1MouseDown(button, x, y);
  };
  setCentralWidget(ScrollBox1);

  ScrollContent = new QWidget;
  ScrollContent->setObjectName("ScrollContent");
  ScrollContent->setFixedSize(kContentWidth, kContentHeight);
  QPalette content_palette = ScrollContent->palette();
  content_palette.setColor(QPalette::Window, QColor(12, 24, 92));
  ScrollContent->setPalette(content_palette);
  ScrollContent->setAutoFillBackground(true);

  auto make_picture = [this](const char* name, int left, int width, QImage picture) {
    auto* image = new TPanelPicture(ScrollContent);
    image->setObjectName(name);
    image->setGeometry(left, 0, width, kPictureControlHeight);
    image->Picture = std::move(picture);
    return image;
  };
  // Both panels start inactive: only the grey pictures are drawn now.
  const std::vector<TCasilla>& cells = CellSet.Cells;
  Image1 = make_picture("Image1", 0, 628, QImage());
  Image3 = make_picture("Image3", 0, 633, DrawResultsPicture(PictureVariant::Grey, cells));
  Image2 = make_picture("Image2", kPanelSeamX, 510, QImage());
  Image4 = make_picture("Image4", kPanelSeamX, 510, DrawJackpotsPicture(PictureVariant::Grey, cells));
  Image1->hide();
  Image2->hide();

  auto make_label = [this](const char* name, int left, const char* caption) {
    auto* label = new QLabel(QString::fromUtf8(caption), ScrollContent);
    label->setObjectName(name);
    label->move(left, 88);
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(14);
    label->setFont(font);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->hide();
    SetFontColor(label, kColorYellow);
    return label;
  };
  LabelErrorPanelResultados =
      make_label("LabelErrorPanelResultados", 16, "Error enviando panel de resultados");
  LabelErrorPanelBotes = make_label("LabelErrorPanelBotes", 640, "Error enviando panel de botes");

  ScrollBox2 = new QFrame(ScrollContent);
  ScrollBox2->setObjectName("ScrollBox2");
  ScrollBox2->setGeometry(576, 40, 121, 35);
  QPalette panel_palette = ScrollBox2->palette();
  panel_palette.setColor(QPalette::Window, kButtonPanelColour);
  ScrollBox2->setPalette(panel_palette);
  ScrollBox2->setAutoFillBackground(true);
  Bevel1 = new QFrame(ScrollBox2);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setGeometry(0, 0, 121, 35);
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Bevel1->setAttribute(Qt::WA_TransparentForMouseEvents);
  SpeedButton3 = new TSpeedButton(kButtonPanelColour, ScrollBox2);
  SpeedButton3->setObjectName("SpeedButton3");
  SpeedButton3->setGeometry(2, 2, 117, 31);
  SpeedButton3->setText("ENVIAR");
  SpeedButton3->setAutoRaise(true);
  SpeedButton3->setFocusPolicy(Qt::NoFocus);
  QFont button_font = SpeedButton3->font();
  button_font.setBold(true);
  button_font.setPixelSize(19);
  SpeedButton3->setFont(button_font);
  SetFontColor(SpeedButton3, 0xFFFFFF);
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });

  Edit1 = new QLineEdit(ScrollContent);
  Edit1->setObjectName("Edit1");
  Edit1->setFrame(false);
  Edit1->setAttribute(Qt::WA_MacShowFocusRect, false);
  Edit1->setFont(PanelFont(33, false));
  QPalette edit_palette = Edit1->palette();
  edit_palette.setColor(QPalette::Base, kEditBackground);
  edit_palette.setColor(QPalette::Text, QColor(0, 255, 0));
  Edit1->setPalette(edit_palette);
  Edit1->setAlignment(Qt::AlignCenter);
  Edit1->hide();
  connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
  // Qt reports these after the text change: what they record is the
  // selection a refused keystroke must leave as it was.
  auto record_selection = [this] {
    edit_selection_start_ = Edit1->selectionStart();
    edit_selection_length_ = static_cast<int>(Edit1->selectedText().size());
  };
  connect(Edit1, &QLineEdit::selectionChanged, this, record_selection);
  connect(Edit1, &QLineEdit::cursorPositionChanged, this, record_selection);
  Edit1->installEventFilter(this);

  CreateStatusWidgets();
  ScrollBox1->setWidget(ScrollContent);
  ScrollContent->installEventFilter(this);

  PanelsView = new TPanelsViewWindow([this] { return DocumentImages(); }, this);
  PanelsView->setObjectName("PanelsView");
}

void TForm1::CreateMenu() {
  auto action = [this](QMenu* menu, const char* name, const char* caption) {
    QAction* item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(name);
    return item;
  };
  Archivo1 = menuBar()->addMenu("Archivo");
  Archivo1->setObjectName("Archivo1");
  Nuevo1 = action(Archivo1, "Nuevo1", "Nuevo");
  Abrir1 = action(Archivo1, "Abrir1", "Abrir...");
  Guardar1 = action(Archivo1, "Guardar1", "Guardar");
  Guardarcomo1 = action(Archivo1, "Guardarcomo1", "Guardar como...");
  Archivo1->addSeparator();
  Guardadoautomtico1 = action(Archivo1, "Guardadoautomtico1", "Guardado automático");
  Guardadoautomtico1->setCheckable(true);
  Archivo1->addSeparator();
  Verpaneles1 = action(Archivo1, "Verpaneles1", "Ver paneles");
  Verpaneles1->setShortcut(Qt::Key_F2);
  Archivo1->addSeparator();
  Salir1 = action(Archivo1, "Salir1", "Salir");

  Comunicaciones1 = menuBar()->addMenu("Comunicaciones");
  Comunicaciones1->setObjectName("Comunicaciones1");
  BuscarEquipos1 = action(Comunicaciones1, "BuscarEquipos1", "Buscar Equipos");
  EquiposActivos1 = Comunicaciones1->addMenu("Equipos Activos");
  EquiposActivos1->setObjectName("EquiposActivos1");
  EquiposActivos1->menuAction()->setVisible(false);
  Actualizar1 = Comunicaciones1->addMenu("Actualizar");
  Actualizar1->setObjectName("Actualizar1");
  PanelResultados1 = action(Actualizar1, "PanelResultados1", "Panel Resultados");
  PanelResultados1->setCheckable(true);
  PanelBotes1 = action(Actualizar1, "PanelBotes1", "Panel Botes");
  PanelBotes1->setCheckable(true);
  Comunicaciones1->addSeparator();
  VerificarAlEnviar1 = action(Comunicaciones1, "VerificarAlEnviar1", "Verificar al enviar");
  VerificarAlEnviar1->setCheckable(true);
  LeerPaneles1 = action(Comunicaciones1, "LeerPaneles1", "Leer paneles");

  Administrador1 = menuBar()->addMenu("Administrador");
  Administrador1->setObjectName("Administrador1");
  EnviarTestFijo1 = action(Administrador1, "EnviarTestFijo1", "Enviar Test Fijo");
  Administrador1->menuAction()->setVisible(false);

  // Check items toggle themselves in their handlers, as the handlers say.
  connect(Nuevo1, &QAction::triggered, this, [this] { Nuevo1Click(); });
  connect(Abrir1, &QAction::triggered, this, [this] { Abrir1Click(); });
  connect(Guardar1, &QAction::triggered, this, [this] { Guardar1Click(); });
  connect(Guardarcomo1, &QAction::triggered, this, [this] { Guardarcomo1Click(); });
  connect(Guardadoautomtico1, &QAction::triggered, this, [this] {
    Guardadoautomtico1->setChecked(!Guardadoautomtico1->isChecked());
    Guardadoautomtico1Click();
  });
  connect(Verpaneles1, &QAction::triggered, this, [this] { Verpaneles1Click(); });
  connect(Salir1, &QAction::triggered, this, [this] { Salir1Click(); });
  connect(BuscarEquipos1, &QAction::triggered, this, [this] { BuscarEquipos1Click(); });
  // Qt ticks "Verificar al enviar" itself; "ENVIAR" reads the tick.
  connect(LeerPaneles1, &QAction::triggered, this, [this] { LeerPaneles1Click(); });
  connect(PanelResultados1, &QAction::triggered, this, [this] {
    PanelResultados1->setChecked(!PanelResultados1->isChecked());
    PanelResultados1Click();
  });
  connect(PanelBotes1, &QAction::triggered, this, [this] {
    PanelBotes1->setChecked(!PanelBotes1->isChecked());
    PanelBotes1Click();
  });
  connect(EnviarTestFijo1, &QAction::triggered, this, [this] { EnviarTestFijo1Click(); });
}

void TForm1::CreateShortcuts() {
  Nuevo1->setShortcut(QKeySequence("Ctrl+N"));
  Abrir1->setShortcut(QKeySequence("Ctrl+O"));
  Guardar1->setShortcut(QKeySequence("Ctrl+S"));
  Guardarcomo1->setShortcut(QKeySequence("Ctrl+Shift+S"));
  Enviar1 = new QAction("ENVIAR", this);
  Enviar1->setObjectName("Enviar1");
  Enviar1->setShortcuts({QKeySequence("Ctrl+Return"), QKeySequence("Ctrl+Enter")});
  addAction(Enviar1);
  connect(Enviar1, &QAction::triggered, this, [this] { SpeedButton3Click(); });
  // The menus keep their captions; Alt and the first letter open them.
  for (QMenu* menu : {Archivo1, Comunicaciones1}) {
    auto* opens = new QShortcut(QKeySequence("Alt+" + menu->title().left(1)), this);
    connect(opens, &QShortcut::activated, this,
            [this, menu] { menuBar()->setActiveAction(menu->menuAction()); });
  }
}

void TForm1::FitToScreen() {
  const QScreen* shown_on = screen() ? screen() : QGuiApplication::primaryScreen();
  if (shown_on) {
    const QRect available = shown_on->availableGeometry();
    resize(FitWindowToScreen(size(), available.size()));
    move(available.center() - rect().center());
  }
}

void TForm1::ShowDocumentCaption() {
  setWindowTitle(QString::fromStdString(DocumentCaption(BaseCaption, DocumentName)));
}

void TForm1::ShowFileError(const std::exception& error) {
  dialogs_.ShowError(QString::fromStdString(error.what()));
}

int32_t TForm1::FontColor(const QWidget* widget) const {
  return widget->property("fontColorBgr").toInt();
}

void TForm1::SetFontColor(QWidget* widget, int32_t bgr) {
  widget->setProperty("fontColorBgr", bgr);
  QPalette palette = widget->palette();
  const QColor colour = ColorFromBgr(bgr);
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::ButtonText, colour);
  palette.setColor(QPalette::Text, colour);
  widget->setPalette(palette);
}

void TForm1::AttachDevices(IPanelDevices* devices) {
  Devices = devices;
  if (Devices && shown_once_ && !devices_started_) {
    devices_started_ = true;
    FormShow();
  }
}

void TForm1::RaiseFirstPaint() {
  if (first_paint_raised_) return;
  first_paint_raised_ = true;
  if (auto handler = OnFirstPaint) handler(this);
  // Over the window, now that it is there.
  if (startup_note_) {
    const QString note = *startup_note_;
    startup_note_.reset();
    dialogs_.ShowInfo("AVISO", note);
  }
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Only the first showing: restoring a minimised window is no new start.
  if (shown_once_) return;
  shown_once_ = true;
  if (QWindow* window = windowHandle()) window->installEventFilter(this);
  // A window started minimised is painted only once restored: what waits
  // for its first paint must not wait for that.
  QTimer::singleShot(kFirstPaintWait, this, [this] { RaiseFirstPaint(); });
  devices_started_ = Devices != nullptr;
  FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (FormClose())
    event->accept();
  else
    event->ignore();
}

bool TForm1::FormClose() {
  if (!AskSaveChanges()) return false;
  // A settings file that cannot be written is reported but does not keep
  // the operator from closing.
  SaveSettings();
  return true;
}

void TForm1::Salir1Click() { close(); }

void TForm1::Verpaneles1Click() {
  PanelsView->show();
  PanelsView->raise();
  PanelsView->activateWindow();
}

void TForm1::CellsChanged() {
  if (PanelsView) PanelsView->DocumentChanged();
  UpdateUnsentChanges();
}

PanelImages TForm1::DocumentImages() {
  TCasilla* cell = SelectedCell;
  if (!cell || ValidateCell(*cell)) return BuildPanelImages(CellSet.CellsByWire);
  const std::string typed = std::move(cell->Text);
  cell->Text.clear();
  PanelImages images = BuildPanelImages(CellSet.CellsByWire);
  cell->Text = typed;
  return images;
}

void TForm1::keyReleaseEvent(QKeyEvent* event) {
  // Windows reports one key-up for a held key; Qt repeats the pair.
  if (event->isAutoRepeat()) {
    event->ignore();
    return;
  }
  FormKeyUp(event->key(), event->modifiers());
  event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1 && event->type() == QEvent::KeyRelease) {
    keyReleaseEvent(static_cast<QKeyEvent*>(event));
    return true;
  }
  // The report labels let clicks through to the scrolling area, and with
  // them the pointer's rest: their tips are shown from here. A blinking
  // label keeps its tip while it is off.
  if (watched == ScrollContent && event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    for (QLabel* label : {LabelErrorPanelResultados, LabelErrorPanelBotes}) {
      if (!label->toolTip().isEmpty() && label->geometry().contains(help->pos())) {
        QToolTip::showText(help->globalPos(), label->toolTip(), ScrollContent);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  if (watched == windowHandle() && event->type() == QEvent::Expose) {
    // The window paints itself as it handles the expose: this runs after.
    windowHandle()->removeEventFilter(this);
    QTimer::singleShot(0, this, [this] { RaiseFirstPaint(); });
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TForm1::focusNextPrevChild(bool) { return false; }

}  // namespace quinterra
