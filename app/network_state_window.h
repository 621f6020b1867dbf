#pragma once
// "Estado de la red": one row per shop, as the shops report, with a line
// that sums it up. Rows can be sorted by any column and filtered by text;
// until a column is chosen, the shops that need a look come first.
// Double-clicking a shop asks for its panels.

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QTableView;

namespace quinterra {

class TShopsModel;
class TShopsProxy;

class TNetworkStateWindow : public QWidget {
 public:
  TNetworkStateWindow(TShopsModel& model, QWidget* parent = nullptr);

  // The summary again, with how the connection is, when not synced.
  void ShowSummary(const QString& connection_problem);
  // The shop at a row of the view, as shown (sorted and filtered).
  std::string ShopAt(int view_row) const;

  // A shop double-clicked.
  std::function<void(const std::string& shop)> OnShopChosen;

  QLabel* LabelResumen = nullptr;
  QLineEdit* EditFiltro = nullptr;
  QTableView* TablaTiendas = nullptr;
  TShopsProxy* Proxy = nullptr;

 private:
  TShopsModel& model_;
};

}  // namespace quinterra
