#include "app/history_window.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "history/history_moment.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "history/history_texts.h"
#include "history/history_time.h"
#include "history/sql_connection.h"

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The UTC text of a local moment.
std::string Utc(const QDateTime& local) {
  return UtcText(TSystemTime(std::chrono::milliseconds(local.toMSecsSinceEpoch())));
}

QDateTime LocalOf(const std::string& utc) {
  const std::optional<TSystemTime> time = ParseUtcText(utc);
  if (!time) return {};
  return QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(time->time_since_epoch()).count());
}

const char* const kOutcomes[] = {
    history_outcome::kVerified, history_outcome::kDifferent, history_outcome::kRead,
    history_outcome::kWritten,  history_outcome::kPresent,   history_outcome::kUnread,
    history_outcome::kSilent,   history_outcome::kLinkFailed};

}  // namespace

THistoryWindow::THistoryWindow(std::string path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(std::move(path)) {
  setWindowTitle(QString::fromUtf8("Historial de los paneles"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);

  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(QString::fromUtf8("Día:")));
  DiaAnterior = new QPushButton(QString::fromUtf8("◀"));
  DiaAnterior->setObjectName("DiaAnterior");
  DiaAnterior->setToolTip(QString::fromUtf8("El día anterior con eventos"));
  Dia = new QDateEdit(QDate::currentDate());
  Dia->setObjectName("Dia");
  Dia->setCalendarPopup(true);
  Dia->setDisplayFormat("dd/MM/yyyy");
  DiaSiguiente = new QPushButton(QString::fromUtf8("▶"));
  DiaSiguiente->setObjectName("DiaSiguiente");
  DiaSiguiente->setToolTip(QString::fromUtf8("El día siguiente con eventos"));
  for (QPushButton* step : {DiaAnterior, DiaSiguiente}) step->setFixedWidth(32);
  filters->addWidget(DiaAnterior);
  filters->addWidget(Dia);
  filters->addWidget(DiaSiguiente);
  filters->addSpacing(16);
  filters->addWidget(new QLabel("Panel:"));
  FiltroPanel = new QComboBox;
  FiltroPanel->setObjectName("FiltroPanel");
  FiltroPanel->addItem("Todos", QString());
  FiltroPanel->addItem("Panel Resultados", kResultsPanelName);
  FiltroPanel->addItem("Panel Botes", kJackpotsPanelName);
  filters->addWidget(FiltroPanel);
  filters->addWidget(new QLabel("Resultado:"));
  FiltroResultado = new QComboBox;
  FiltroResultado->setObjectName("FiltroResultado");
  FiltroResultado->addItem("Todos", QString());
  for (const char* outcome : kOutcomes) FiltroResultado->addItem(Q(OutcomeText(outcome)), outcome);
  filters->addWidget(FiltroResultado);
  filters->addStretch();
  layout->addLayout(filters);

  Eventos = new QTableWidget(0, 8);
  Eventos->setObjectName("Eventos");
  Eventos->setHorizontalHeaderLabels({QString::fromUtf8("Nº"), "Hora", "Origen", QString::fromUtf8("Acción"),
                                      "Panel", "Equipo", "Resultado", "Imagen"});
  Eventos->verticalHeader()->hide();
  Eventos->setSelectionBehavior(QAbstractItemView::SelectRows);
  Eventos->setSelectionMode(QAbstractItemView::SingleSelection);
  Eventos->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Eventos->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(Eventos);

  auto* bottom = new QHBoxLayout;
  Estado = new QLabel;
  Estado->setObjectName("Estado");
  bottom->addWidget(Estado);
  bottom->addStretch();
  VerEvento = new QPushButton("Ver el evento");
  VerEvento->setObjectName("VerEvento");
  VerEvento->setEnabled(false);
  bottom->addWidget(VerEvento);
  bottom->addSpacing(16);
  bottom->addWidget(new QLabel(QString::fromUtf8("¿Qué mostraban a las…?")));
  Momento = new QDateTimeEdit(QDateTime::currentDateTime());
  Momento->setObjectName("Momento");
  Momento->setDisplayFormat("dd/MM/yyyy HH:mm:ss");
  Momento->setCalendarPopup(true);
  bottom->addWidget(Momento);
  VerMomento = new QPushButton("Ver");
  VerMomento->setObjectName("VerMomento");
  bottom->addWidget(VerMomento);
  layout->addLayout(bottom);
  resize(980, 560);

  connect(Dia, &QDateEdit::dateChanged, this, [this] { Refresh(); });
  connect(FiltroPanel, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { Refresh(); });
  connect(FiltroResultado, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { Refresh(); });
  connect(DiaAnterior, &QPushButton::clicked, this, [this] { StepDay(-1); });
  connect(DiaSiguiente, &QPushButton::clicked, this, [this] { StepDay(+1); });
  connect(Eventos, &QTableWidget::itemSelectionChanged, this,
          [this] { VerEvento->setEnabled(!Eventos->selectedItems().isEmpty()); });
  connect(Eventos, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { ShowEvent(row); });
  connect(VerEvento, &QPushButton::clicked, this, [this] { ShowEvent(Eventos->currentRow()); });
  connect(VerMomento, &QPushButton::clicked, this, [this] { ShowMoment(Momento->dateTime()); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

THistoryWindow::~THistoryWindow() = default;

std::unique_ptr<THistoryStore> THistoryWindow::Open() {
  if (!std::filesystem::exists(path_)) {
    Estado->setText(QString::fromUtf8("Aún no hay historial: se anota desde el primer envío, lectura o comprobación."));
    return nullptr;
  }
  try {
    return OpenHistory(path_);
  } catch (const TSqlError& error) {
    Estado->setText(QString::fromUtf8("No se pudo leer el historial: ") + Q(error.what()));
    return nullptr;
  }
}

void THistoryWindow::ShowLatestDay() {
  std::optional<std::string> latest;
  if (std::unique_ptr<THistoryStore> store = Open()) latest = store->PreviousEventTime("9999");
  const QDate day = latest ? LocalOf(*latest).date() : QDate::currentDate();
  if (Dia->date() == day) Refresh(); else Dia->setDate(day);
}

void THistoryWindow::ShowDay(const QDate& day) {
  if (Dia->date() == day) Refresh(); else Dia->setDate(day);
}

void THistoryWindow::StepDay(int direction) {
  std::unique_ptr<THistoryStore> store = Open();
  if (!store) return;
  const QDate day = Dia->date();
  const std::optional<std::string> found =
      direction > 0 ? store->NextEventTime(Utc(QDateTime(day.addDays(1), QTime(0, 0))))
                    : store->PreviousEventTime(Utc(QDateTime(day, QTime(0, 0))));
  if (found) ShowDay(LocalOf(*found).date());
}

void THistoryWindow::Refresh() {
  listed_.clear();
  Eventos->setRowCount(0);
  std::unique_ptr<THistoryStore> store = Open();
  if (!store) return;
  THistoryFilter filter;
  const QDate day = Dia->date();
  filter.From = Utc(QDateTime(day, QTime(0, 0)));
  filter.To = Utc(QDateTime(day.addDays(1), QTime(0, 0)).addMSecs(-1));
  filter.Panel = FiltroPanel->currentData().toString().toStdString();
  filter.Outcome = FiltroResultado->currentData().toString().toStdString();
  try {
    listed_ = store->Events(filter);
  } catch (const TSqlError& error) {
    Estado->setText(QString::fromUtf8("No se pudo leer el historial: ") + Q(error.what()));
    return;
  }
  Eventos->setRowCount(static_cast<int>(listed_.size()));
  for (int row = 0; row < static_cast<int>(listed_.size()); ++row) {
    const THistoryEvent& e = listed_[static_cast<size_t>(row)];
    const QString cells[] = {QString::number(e.Id),
                             LocalOf(e.Time).toString("HH:mm:ss"),
                             Q(SourceText(e.Source)),
                             Q(KindText(e.Kind)),
                             Q(PanelText(e.Panel)),
                             Q(DeviceText(e)),
                             Q(OutcomeText(e.Outcome)),
                             Q(e.ImageSha256.substr(0, 12))};
    for (int column = 0; column < 8; ++column)
      Eventos->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  Eventos->resizeColumnsToContents();
  Estado->setText(listed_.empty() ? QString::fromUtf8("Ningún evento este día")
                                  : QString::number(listed_.size()) +
                                        (listed_.size() == 1 ? " evento" : " eventos"));
}

void THistoryWindow::ShowEvent(int row) {
  if (row < 0 || row >= static_cast<int>(listed_.size())) return;
  std::unique_ptr<THistoryStore> store = Open();
  if (!store) return;
  const THistoryEvent event = listed_[static_cast<size_t>(row)];
  Hand("Historial: " + Q(LocalTextOfUtc(event.Time, false)), *store, event.Time, &event);
}

void THistoryWindow::ShowMoment(const QDateTime& moment) {
  std::unique_ptr<THistoryStore> store = Open();
  if (!store) return;
  // The whole second shown in the box.
  Hand("Historial: " + moment.toString("dd/MM/yyyy HH:mm"), *store, Utc(moment.addMSecs(999)), nullptr);
}

void THistoryWindow::Hand(const QString& name, THistoryStore& store, const std::string& moment,
                          const THistoryEvent* chosen) {
  try {
    const TPanelsAtMoment panels = PanelsAt(store, moment, chosen);
    if (!panels.Results && !panels.Jackpots) {
      Estado->setText(QString::fromUtf8("No consta lo que mostraba ningún panel el ") +
                      name.mid(QString("Historial: ").size()));
      return;
    }
    if (OnShowPanels) OnShowPanels(name, PanelImages{panels.ResultsImage, panels.JackpotsImage});
  } catch (const TSqlError& error) {
    Estado->setText(QString::fromUtf8("No se pudo leer el historial: ") + Q(error.what()));
  }
}

}  // namespace quinterra
