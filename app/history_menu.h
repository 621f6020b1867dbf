#pragma once
// "Archivo" > "Historial de los paneles…" (Ctrl+H): the window of the
// record of what the panels showed, whose moments open in "Vista de los
// paneles" with Origen "Historial: 08/12/2026 19:32".

#include <QPointer>

class QAction;

namespace quinterra {

class TForm1;
class THistoryWindow;

class THistoryMenu {
 public:
  // Adds the item after "Ver paneles".
  explicit THistoryMenu(TForm1& form);
  ~THistoryMenu();

  QAction* HistorialDeLosPaneles1 = nullptr;
  QPointer<THistoryWindow> Window;  // made on first use

  void HistorialDeLosPaneles1Click();

 private:
  TForm1& form_;
};

}  // namespace quinterra
