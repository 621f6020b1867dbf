#include "app/network_state_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "app/network_state_model.h"

namespace quinterra {

TNetworkStateWindow::TNetworkStateWindow(TShopsModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
  setWindowTitle("Estado de la red");
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  SummaryLabel = new QLabel;
  SummaryLabel->setObjectName("SummaryLabel");
  SummaryLabel->setWordWrap(true);
  SummaryLabel->setTextFormat(Qt::PlainText);
  QFont bold = SummaryLabel->font();
  bold.setBold(true);
  SummaryLabel->setFont(bold);
  layout->addWidget(SummaryLabel);
  FilterEdit = new QLineEdit;
  FilterEdit->setObjectName("FilterEdit");
  FilterEdit->setPlaceholderText("Filtrar por texto");
  FilterEdit->setClearButtonEnabled(true);
  layout->addWidget(FilterEdit);

  Proxy = new TShopsProxy(this);
  Proxy->setSourceModel(&model);
  ShopsTable = new QTableView;
  ShopsTable->setObjectName("ShopsTable");
  ShopsTable->setModel(Proxy);
  ShopsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  ShopsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ShopsTable->verticalHeader()->hide();
  // Uniform rows: a thousand shops need no measuring of each.
  ShopsTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  QHeaderView* header = ShopsTable->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(true);
  const int widths[] = {100, 150, 100, 55, 145, 130, 95, 95};
  for (int column = 0; column < 8; ++column) ShopsTable->setColumnWidth(column, widths[column]);
  layout->addWidget(ShopsTable);
  resize(1140, 420);

  connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
    // The first click on a column sorts it ascending, the next ones turn it.
    const bool same = !Proxy->NeedsLookFirst() && header->sortIndicatorSection() == column;
    const Qt::SortOrder order = same && header->sortIndicatorOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    Proxy->SortByColumn(column, order);
    header->setSortIndicator(column, order);
    header->setSortIndicatorShown(true);
  });
  connect(FilterEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { Proxy->SetFilterText(text); });
  connect(ShopsTable, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (OnShopChosen) OnShopChosen(ShopAt(index.row()));
  });
}

void TNetworkStateWindow::ShowSummary() {
  const QString problem = model_.ConnectionProblem();
  SummaryLabel->setText(problem.isEmpty() ? model_.Summary() : problem);
  // The office's own trouble in red: it is not the shops'.
  QPalette palette = SummaryLabel->palette();
  palette.setColor(QPalette::WindowText,
                   problem.isEmpty() ? this->palette().color(QPalette::WindowText) : QColor(190, 0, 0));
  SummaryLabel->setPalette(palette);
}

std::string TNetworkStateWindow::ShopAt(int view_row) const {
  const QModelIndex source = Proxy->mapToSource(Proxy->index(view_row, 0));
  return source.isValid() ? model_.Row(source.row()).Shop : std::string();
}

}  // namespace quinterra
