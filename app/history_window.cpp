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
  PreviousDayButton = new QPushButton(QString::fromUtf8("◀"));
  PreviousDayButton->setObjectName("PreviousDayButton");
  PreviousDayButton->setToolTip(QString::fromUtf8("El día anterior con eventos"));
  DayEdit = new QDateEdit(QDate::currentDate());
  DayEdit->setObjectName("DayEdit");
  DayEdit->setCalendarPopup(true);
  DayEdit->setDisplayFormat("dd/MM/yyyy");
  NextDayButton = new QPushButton(QString::fromUtf8("▶"));
  NextDayButton->setObjectName("NextDayButton");
  NextDayButton->setToolTip(QString::fromUtf8("El día siguiente con eventos"));
  for (QPushButton* step : {PreviousDayButton, NextDayButton}) step->setFixedWidth(32);
  filters->addWidget(PreviousDayButton);
  filters->addWidget(DayEdit);
  filters->addWidget(NextDayButton);
  filters->addSpacing(16);
  filters->addWidget(new QLabel("Panel:"));
  PanelFilter = new QComboBox;
  PanelFilter->setObjectName("PanelFilter");
  PanelFilter->addItem("Todos", QString());
  PanelFilter->addItem("Panel Resultados", kResultsPanelName);
  PanelFilter->addItem("Panel Botes", kJackpotsPanelName);
  filters->addWidget(PanelFilter);
  filters->addWidget(new QLabel("Resultado:"));
  OutcomeFilter = new QComboBox;
  OutcomeFilter->setObjectName("OutcomeFilter");
  OutcomeFilter->addItem("Todos", QString());
  for (const char* outcome : kOutcomes) OutcomeFilter->addItem(Q(OutcomeText(outcome)), outcome);
  filters->addWidget(OutcomeFilter);
  filters->addStretch();
  layout->addLayout(filters);

  EventsTable = new QTableWidget(0, 8);
  EventsTable->setObjectName("EventsTable");
  EventsTable->setHorizontalHeaderLabels({QString::fromUtf8("Nº"), "Hora", "Origen", QString::fromUtf8("Acción"),
                                      "Panel", "Equipo", "Resultado", "Imagen"});
  EventsTable->verticalHeader()->hide();
  EventsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  EventsTable->setSelectionMode(QAbstractItemView::SingleSelection);
  EventsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  EventsTable->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(EventsTable);

  auto* bottom = new QHBoxLayout;
  StatusLabel = new QLabel;
  StatusLabel->setObjectName("StatusLabel");
  bottom->addWidget(StatusLabel);
  bottom->addStretch();
  ShowEventButton = new QPushButton("Ver el evento");
  ShowEventButton->setObjectName("ShowEventButton");
  ShowEventButton->setEnabled(false);
  bottom->addWidget(ShowEventButton);
  bottom->addSpacing(16);
  bottom->addWidget(new QLabel(QString::fromUtf8("¿Qué mostraban a las…?")));
  MomentEdit = new QDateTimeEdit(QDateTime::currentDateTime());
  MomentEdit->setObjectName("MomentEdit");
  MomentEdit->setDisplayFormat("dd/MM/yyyy HH:mm:ss");
  MomentEdit->setCalendarPopup(true);
  bottom->addWidget(MomentEdit);
  ShowMomentButton = new QPushButton("Ver");
  ShowMomentButton->setObjectName("ShowMomentButton");
  bottom->addWidget(ShowMomentButton);
  layout->addLayout(bottom);
  resize(980, 560);

  connect(DayEdit, &QDateEdit::dateChanged, this, [this] { Refresh(); });
  connect(PanelFilter, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { Refresh(); });
  connect(OutcomeFilter, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { Refresh(); });
  connect(PreviousDayButton, &QPushButton::clicked, this, [this] { StepDay(-1); });
  connect(NextDayButton, &QPushButton::clicked, this, [this] { StepDay(+1); });
  connect(EventsTable, &QTableWidget::itemSelectionChanged, this,
          [this] { ShowEventButton->setEnabled(!EventsTable->selectedItems().isEmpty()); });
  connect(EventsTable, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { ShowEvent(row); });
  connect(ShowEventButton, &QPushButton::clicked, this, [this] { ShowEvent(EventsTable->currentRow()); });
  connect(ShowMomentButton, &QPushButton::clicked, this, [this] { ShowMoment(MomentEdit->dateTime()); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

THistoryWindow::~THistoryWindow() = default;

std::unique_ptr<THistoryStore> THistoryWindow::Open() {
  if (!std::filesystem::exists(path_)) {
    StatusLabel->setText(QString::fromUtf8("Aún no hay historial: se anota desde el primer envío, lectura o comprobación."));
    return nullptr;
  }
  try {
    return OpenHistory(path_);
  } catch (const TSqlError& error) {
    StatusLabel->setText(QString::fromUtf8("No se pudo leer el historial: ") + Q(error.what()));
    return nullptr;
  }
}

void THistoryWindow::ShowLatestDay() {
  std::optional<std::string> latest;
  if (std::unique_ptr<THistoryStore> store = Open()) latest = store->PreviousEventTime("9999");
  const QDate day = latest ? LocalOf(*latest).date() : QDate::currentDate();
  if (DayEdit->date() == day) Refresh(); else DayEdit->setDate(day);
}

void THistoryWindow::ShowDay(const QDate& day) {
  if (DayEdit->date() == day) Refresh(); else DayEdit->setDate(day);
}

void THistoryWindow::StepDay(int direction) {
  std::unique_ptr<THistoryStore> store = Open();
  if (!store) return;
  const QDate day = DayEdit->date();
  const std::optional<std::string> found =
      direction > 0 ? store->NextEventTime(Utc(QDateTime(day.addDays(1), QTime(0, 0))))
                    : store->PreviousEventTime(Utc(QDateTime(day, QTime(0, 0))));
  if (found) ShowDay(LocalOf(*found).date());
}

void THistoryWindow::Refresh() {
  listed_.clear();
  EventsTable->setRowCount(0);
  std::unique_ptr<THistoryStore> store = Open();
  if (!store) return;
  THistoryFilter filter;
  const QDate day = DayEdit->date();
  filter.From = Utc(QDateTime(day, QTime(0, 0)));
  filter.To = Utc(QDateTime(day.addDays(1), QTime(0, 0)).addMSecs(-1));
  filter.Panel = PanelFilter->currentData().toString().toStdString();
  filter.Outcome = OutcomeFilter->currentData().toString().toStdString();
  try {
    listed_ = store->Events(filter);
  } catch (const TSqlError& error) {
    StatusLabel->setText(QString::fromUtf8("No se pudo leer el historial: ") + Q(error.what()));
    return;
  }
  EventsTable->setRowCount(static_cast<int>(listed_.size()));
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
      EventsTable->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  EventsTable->resizeColumnsToContents();
  StatusLabel->setText(listed_.empty() ? QString::fromUtf8("Ningún evento este día")
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
      StatusLabel->setText(QString::fromUtf8("No consta lo que mostraba ningún panel el ") +
                      name.mid(QString("Historial: ").size()));
      return;
    }
    if (OnShowPanels) OnShowPanels(name, PanelImages{panels.ResultsImage, panels.JackpotsImage});
  } catch (const TSqlError& error) {
    StatusLabel->setText(QString::fromUtf8("No se pudo leer el historial: ") + Q(error.what()));
  }
}

}  // namespace quinterra
