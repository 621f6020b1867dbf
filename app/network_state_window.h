#pragma once
// "Estado de la red": one row per shop, as the shops report, with a line
// that sums it up, or says what the office itself lacks when it has no
// connection. Rows can be sorted by any column and filtered by text; until
// a column is chosen, the shops that need a look come first.
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

  // The summary again, or the office's own connection problem.
  void ShowSummary();
  // The shop at a row of the view, as shown (sorted and filtered).
  std::string ShopAt(int view_row) const;

  // A shop double-clicked.
  std::function<void(const std::string& shop)> OnShopChosen;

  QLabel* SummaryLabel = nullptr;
  QLineEdit* FilterEdit = nullptr;
  QTableView* ShopsTable = nullptr;
  TShopsProxy* Proxy = nullptr;

 private:
  TShopsModel& model_;
};

}  // namespace quinterra
