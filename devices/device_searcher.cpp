#include "devices/device_searcher.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QHideEvent>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <chrono>

#include "devices/searcher_dialogs.h"
#include "links/link_layer.h"
#include "links/port_listing.h"
#include "platform/interval_timer.h"
#include "platform/profile_file.h"

namespace quinterra {
namespace {

// The stored layout, in pixels inside the window.
constexpr int kClientWidth = 605;
constexpr int kCheckBoxTop = 328;
constexpr int kCheckBoxHeight = 17;
constexpr int kMemoHeight = 127;
constexpr int kLogGap = 10;

// A control of the client area, with its caption if it has one, at its
// stored place.
template <typename Control, typename... Caption>
Control* Placed(QWidget* parent, const QRect& place, const Caption&... caption) {
  auto* control = new Control(QString::fromUtf8(caption)..., parent);
  control->setGeometry(place);
  return control;
}

// The folder (the current one when none) with its separator: its files are
// named by appending.
std::string FolderPrefix(const std::string& folder) {
  return (std::filesystem::path(folder.empty() ? QDir::currentPath().toStdString() : folder) / "")
      .string();
}

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

TFormDeviceSearcher::TFormDeviceSearcher(ITimerFactory& timers, Environment environment,
                                         QWidget* parent)
    : QDialog(parent),
      start_folder_(FolderPrefix(environment.StartFolder)),
      dialogs_(environment.Dialogs ? environment.Dialogs
                                   : std::make_shared<MessageBoxDialogs>()),
      present_ports_(std::move(environment.PresentPorts)),
      settable_rates_(std::move(environment.SettableRates)) {
  setWindowTitle(QString::fromUtf8("Buscador de dispositivos"));
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  BuildMenu();
  BuildControls();

  // The order of creation: the session (the check bytes' generator, the
  // registry file, the engine), the ports and the rates of the first, the
  // log hidden, then "SERIE".
  com_ports_.ReadOverrides(TProfileFile(start_folder_ + "config.ini"));
  session_ = std::make_unique<TDeviceSession>(
      timers, std::make_unique<TLinkLayer>(com_ports_), start_folder_,
      environment.RandomSeed ? *environment.RandomSeed : TickCount());
  session_->TakeTurnsWithOtherPrograms();
  session_->OnLog = [this](TDeviceSession*, const std::string& line) {
    AppendLogLine(QString::fromStdString(line));
  };
  session_->OnRowsChanged = [this](TDeviceSession*) {
    RefreshListView();
    if (OnRowsChanged) OnRowsChanged(this);
  };
  session_->OnRunningChanged = [this](TDeviceSession*, TCycleKind kind, bool running) {
    CycleRunningChanged(kind, running);
  };
  session_->OnProgress = [this](TDeviceSession*, int percent) { CycleProgress(percent); };

  if (!present_ports_) {
    present_ports_ = [this] { return PresentPortNames(com_ports_); };
  }
  if (!settable_rates_) {
    settable_rates_ = [this](int com_number) { return SettableRates(com_number, com_ports_); };
  }
  ListComPorts();
  ports_timer_ = timers.CreateTimer();
  ports_timer_->SetInterval(kPortPollPeriod);
  ports_timer_->OnTimer = [this] { RefreshComPorts(); };

  ShowLog(false);

  RadioButton2->setChecked(true);
  RadioButton2Click();
}

TFormDeviceSearcher::~TFormDeviceSearcher() {
  // Quietly: the session's last events would reach widgets being taken apart.
  session_->OnLog = nullptr;
  session_->OnRowsChanged = nullptr;
  session_->OnRunningChanged = nullptr;
  session_->OnProgress = nullptr;
}

void TFormDeviceSearcher::BuildMenu() {
  MainMenu1 = new QMenuBar(this);
  Archivo1 = MainMenu1->addMenu(QString::fromUtf8("Archivo"));
  Limpiarlog1 = Archivo1->addAction(QString::fromUtf8("Limpiar log"));
  Savelog1 = Archivo1->addAction(QString::fromUtf8("Save log"));
  connect(Limpiarlog1, &QAction::triggered, this, [this] { Limpiarlog1Click(); });
  connect(Savelog1, &QAction::triggered, this, [this] { Savelog1Click(); });
}

void TFormDeviceSearcher::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(MainMenu1);
  ClientArea = new QWidget(this);
  layout->addWidget(ClientArea);
  ClientArea->installEventFilter(this);
  // The stored layout is the smallest; a larger window gives the list and
  // the log the room.
  setSizeGripEnabled(true);

  ListView1 = Placed<QTreeWidget>(ClientArea, {0, 0, kClientWidth, 233});
  ListView1->setHeaderLabels({QString::fromUtf8("N"), QString::fromUtf8("COM/IP"),
                              QString::fromUtf8("Veloc./Puerto"), QString::fromUtf8("Version"),
                              QString::fromUtf8("Compilación"), QString::fromUtf8("Nombre"),
                              QString::fromUtf8("S")});
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setSortingEnabled(false);
  QHeaderView* header = ListView1->header();
  header->setSectionsClickable(false);
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
  // "N" keeps the list view's default width; "Nombre" takes what is left.
  const int widths[] = {50, 75, 80, 103, 100, 0, 20};
  for (int column = 0; column < 7; ++column) {
    if (column == 5) continue;
    header->setSectionResizeMode(column, QHeaderView::Fixed);
    ListView1->setColumnWidth(column, widths[column]);
  }
  header->setSectionResizeMode(5, QHeaderView::Stretch);
  // The highlighted row stays visible while another control has the focus.
  QPalette palette = ListView1->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  ListView1->setPalette(palette);

  Bevel1 = Placed<QFrame>(ClientArea, {8, 240, 212, 82});
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel2 = Placed<QFrame>(ClientArea, {228, 240, 280, 82});
  Bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);

  RadioButton1 = Placed<QRadioButton>(ClientArea, {16, 245, 120, 17}, "TCP/IP");
  Label1 = Placed<QLabel>(ClientArea, {16, 269, 60, 17}, "IP:");
  Edit1 = Placed<QLineEdit>(ClientArea, {80, 266, 130, 22}, "10.0.0.169");
  Label2 = Placed<QLabel>(ClientArea, {16, 296, 60, 17}, "Puerto:");
  Edit2 = Placed<QLineEdit>(ClientArea, {80, 293, 70, 22}, "10001");

  RadioButton2 = Placed<QRadioButton>(ClientArea, {236, 245, 120, 17}, "SERIE");
  Label3 = Placed<QLabel>(ClientArea, {236, 269, 70, 17}, "COM:");
  ComboBox1 = Placed<QComboBox>(ClientArea, {308, 266, 192, 22});
  Label4 = Placed<QLabel>(ClientArea, {236, 296, 70, 17}, "Velocidad:");
  ComboBox2 = Placed<QComboBox>(ClientArea, {308, 293, 100, 22});
  // The design-time list; ListRates replaces it at creation.
  for (const char* rate : {"Auto", "2400", "4800", "9600", "14400", "19200", "38400", "56000",
                           "57600", "115200", "128000", "256000"}) {
    ComboBox2->addItem(QString::fromUtf8(rate));
  }

  Button1 = Placed<QPushButton>(ClientArea, {516, 246, 80, 27}, "Buscar");
  Button2 = Placed<QPushButton>(ClientArea, {516, 290, 80, 27}, "Eliminar");
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);

  CheckBox1 = Placed<QCheckBox>(ClientArea, {8, kCheckBoxTop, 97, kCheckBoxHeight}, "Log");
  BuildProgressBar();

  Memo1 = new QPlainTextEdit(ClientArea);
  Memo1->setReadOnly(true);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setGeometry(0, kCheckBoxTop + kCheckBoxHeight + kLogGap, kClientWidth, kMemoHeight);

  connect(RadioButton1, &QRadioButton::clicked, this, [this] { RadioButton1Click(); });
  connect(RadioButton2, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
  connect(ComboBox1, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox1Change(); });
  connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

int TFormDeviceSearcher::ClientHeight() const { return ClientArea->height(); }

void TFormDeviceSearcher::RadioButton1Click() {
  Edit1->setEnabled(true);
  Edit2->setEnabled(true);
  ComboBox1->setEnabled(false);
  ComboBox2->setEnabled(false);
}

void TFormDeviceSearcher::RadioButton2Click() {
  Edit1->setEnabled(false);
  Edit2->setEnabled(false);
  ComboBox1->setEnabled(true);
  ComboBox2->setEnabled(true);
}

void TFormDeviceSearcher::ComboBox1Change() { ListRates(ComboBox1->currentText()); }

void TFormDeviceSearcher::CheckBox1Click() { ShowLog(CheckBox1->isChecked()); }

void TFormDeviceSearcher::ShowLog(bool show) {
  const int below_check_box = kCheckBoxTop + kCheckBoxHeight + kLogGap;
  const int width = std::max(kClientWidth, ClientArea->width());
  if (show) {
    Memo1->move(0, below_check_box);
    Memo1->show();
    ClientArea->setMinimumSize(kClientWidth, below_check_box + kMemoHeight);
    ClientArea->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    ClientArea->resize(width, below_check_box + kMemoHeight);
  } else {
    Memo1->hide();
    // Without the log there is nothing to grow downwards.
    ClientArea->setMinimumSize(kClientWidth, below_check_box);
    ClientArea->setMaximumSize(QWIDGETSIZE_MAX, below_check_box);
    ClientArea->resize(width, below_check_box);
  }
  resize(width, MainMenu1->sizeHint().height() + ClientArea->height());
  FitToClientArea();
  // Lines added while it was hidden: the newest shows.
  if (show) Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TFormDeviceSearcher::FitToClientArea() {
  const int width = ClientArea->width();
  ListView1->resize(width, ListView1->height());
  if (Memo1->isHidden()) return;
  QScrollBar* bar = Memo1->verticalScrollBar();
  const bool at_newest = bar->value() >= bar->maximum();
  Memo1->resize(width, std::max(kMemoHeight, ClientArea->height() - Memo1->y()));
  if (at_newest) bar->setValue(bar->maximum());
}

bool TFormDeviceSearcher::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ClientArea && event->type() == QEvent::Resize) FitToClientArea();
  return QDialog::eventFilter(watched, event);
}

void TFormDeviceSearcher::CycleRunningChanged(TCycleKind kind, bool running) {
  ShowCycleRunning(running);
  if (!running) {
    SetControlsEnabled(true);
  } else if (kind == TCycleKind::Search) {
    SetControlsEnabled(false);
  } else {
    // A delivery or check walks the rows and holds the link: a search or a
    // removal now could not act. Showing it beats ignoring the click.
    Button1->setEnabled(false);
    Button2->setEnabled(false);
  }
  if (OnCycleRunningChanged) OnCycleRunningChanged(this, kind, running);
}

void TFormDeviceSearcher::SetControlsEnabled(bool enabled) {
  RadioButton1->setEnabled(enabled);
  RadioButton2->setEnabled(enabled);
  Button1->setEnabled(enabled);
  Button2->setEnabled(enabled);
  if (!enabled) {
    ComboBox1->setEnabled(false);
    ComboBox2->setEnabled(false);
    Edit1->setEnabled(false);
    Edit2->setEnabled(false);
  } else if (RadioButton1->isChecked()) {
    RadioButton1Click();
  } else if (RadioButton2->isChecked()) {
    RadioButton2Click();
  }
}

void TFormDeviceSearcher::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Hidden, the window may have missed ports coming and going.
  RefreshComPorts();
  ports_timer_->SetEnabled(true);
  if (centred_) return;
  centred_ = true;
  if (QScreen* where = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TFormDeviceSearcher::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  ports_timer_->SetEnabled(false);
}

void TFormDeviceSearcher::closeEvent(QCloseEvent* event) {
  if (!isVisible()) {
    event->accept();
    return;
  }
  if (MayClose()) {
    QDialog::reject();
    event->accept();
  } else {
    event->ignore();
  }
}

void TFormDeviceSearcher::reject() {
  if (MayClose()) QDialog::reject();
}

void TFormDeviceSearcher::Button1Click() { session_->Search(LinkSettings()); }

bool TFormDeviceSearcher::MayClose() {
  CloseAction action = CloseAction::Hide;
  FormClose(action);
  return action == CloseAction::Hide;
}

}  // namespace quinterra
