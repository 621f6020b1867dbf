#pragma once
// "Historial de los paneles": the record of what the panels showed, day by
// day (historial.db in the work folder), filtered by panel and outcome. An
// event chosen, or a moment asked ("¿Qué mostraban a las…?"), is handed on
// as both panels' bytes of that moment, for "Vista de los paneles".
//
// The record is read afresh each time the day or a filter changes; it may
// grow meanwhile (the agent and quinterra-send write it too).

#include <QDate>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/history_event.h"
#include "panels/display_image.h"

class QComboBox;
class QDateEdit;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quinterra {

class THistoryStore;

class THistoryWindow : public QWidget {
  Q_OBJECT
 public:
  // path: the record's file; it is never created here.
  explicit THistoryWindow(std::string path, QWidget* parent = nullptr);
  ~THistoryWindow() override;

  // The panels at a moment: its name ("Historial: 08/12/2026 19:32") and
  // both panels' bytes (empty: nothing known of that panel).
  std::function<void(const QString& name, const PanelImages& panels)> OnShowPanels;

  // Shows the day of the latest event (today when there is none).
  void ShowLatestDay();
  void ShowDay(const QDate& day);
  // The events listed now, in order.
  const std::vector<THistoryEvent>& Listed() const { return listed_; }
  // Hands on the panels at the listed event's time, its own bytes for its panel.
  void ShowEvent(int row);
  // Hands on the panels at a local moment.
  void ShowMoment(const QDateTime& moment);

  QDateEdit* DayEdit = nullptr;
  QPushButton* PreviousDayButton = nullptr;
  QPushButton* NextDayButton = nullptr;
  QComboBox* PanelFilter = nullptr;
  QComboBox* OutcomeFilter = nullptr;
  QTableWidget* EventsTable = nullptr;
  QLabel* StatusLabel = nullptr;
  QDateTimeEdit* MomentEdit = nullptr;
  QPushButton* ShowMomentButton = nullptr;
  QPushButton* ShowEventButton = nullptr;

 private:
  // The record, or none (and says why in StatusLabel).
  std::unique_ptr<THistoryStore> Open();
  void Refresh();
  // The nearest day with events before (-1) or after (+1) the one shown.
  void StepDay(int direction);
  void Hand(const QString& name, THistoryStore& store, const std::string& moment,
            const THistoryEvent* chosen);

  std::string path_;
  std::vector<THistoryEvent> listed_;
};

}  // namespace quinterra
