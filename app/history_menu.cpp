#include "app/history_menu.h"

#include <QAction>
#include <QMenu>

#include "app/history_window.h"
#include "app/main_window.h"
#include "app/panels_view_window.h"
#include "history/history_open.h"

namespace quinterra {

THistoryMenu::THistoryMenu(TForm1& form) : form_(form) {
  HistorialDeLosPaneles1 = new QAction(QString::fromUtf8("Historial de los paneles…"), form.Archivo1);
  HistorialDeLosPaneles1->setObjectName("HistorialDeLosPaneles1");
  HistorialDeLosPaneles1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  // Right after "Ver paneles", before its separator.
  const QList<QAction*> items = form.Archivo1->actions();
  const int view = static_cast<int>(items.indexOf(form.Verpaneles1));
  form.Archivo1->insertAction(view + 1 < items.size() ? items[view + 1] : nullptr,
                              HistorialDeLosPaneles1);
  QObject::connect(HistorialDeLosPaneles1, &QAction::triggered, &form,
                   [this] { HistorialDeLosPaneles1Click(); });
}

THistoryMenu::~THistoryMenu() { delete Window; }

void THistoryMenu::HistorialDeLosPaneles1Click() {
  if (!Window) {
    Window = new THistoryWindow(HistoryPath(form_.AppFolder), &form_);
    Window->setObjectName("HistoryWindow");
    Window->OnShowPanels = [this](const QString& name, const PanelImages& panels) {
      PanelsViewSource source;
      source.name = name;
      source.results = panels.results;
      source.jackpots = panels.jackpots;
      // Compared with nothing but itself: the document typed now is not
      // what the panels were asked to show then.
      source.compared_with = panels;
      form_.PanelsView->ShowHistorySource(std::move(source));
      form_.Verpaneles1Click();
    };
  }
  Window->show();
  Window->ShowLatestDay();
  Window->raise();
  Window->activateWindow();
}

}  // namespace quinterra
