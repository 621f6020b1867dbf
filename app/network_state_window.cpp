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
  LabelResumen = new QLabel;
  LabelResumen->setObjectName("LabelResumen");
  LabelResumen->setTextFormat(Qt::PlainText);
  QFont bold = LabelResumen->font();
  bold.setBold(true);
  LabelResumen->setFont(bold);
  layout->addWidget(LabelResumen);
  EditFiltro = new QLineEdit;
  EditFiltro->setObjectName("EditFiltro");
  EditFiltro->setPlaceholderText("Filtrar por texto");
  EditFiltro->setClearButtonEnabled(true);
  layout->addWidget(EditFiltro);

  Proxy = new TShopsProxy(this);
  Proxy->setSourceModel(&model);
  TablaTiendas = new QTableView;
  TablaTiendas->setObjectName("TablaTiendas");
  TablaTiendas->setModel(Proxy);
  TablaTiendas->setSelectionBehavior(QAbstractItemView::SelectRows);
  TablaTiendas->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TablaTiendas->verticalHeader()->hide();
  // Uniform rows: a thousand shops need no measuring of each.
  TablaTiendas->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  QHeaderView* header = TablaTiendas->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(true);
  const int widths[] = {130, 190, 60, 120, 120};
  for (int column = 0; column < 5; ++column) TablaTiendas->setColumnWidth(column, widths[column]);
  layout->addWidget(TablaTiendas);
  resize(800, 420);

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
  connect(EditFiltro, &QLineEdit::textChanged, this,
          [this](const QString& text) { Proxy->setFilterFixedString(text); });
  connect(TablaTiendas, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (OnShopChosen) OnShopChosen(ShopAt(index.row()));
  });
}

void TNetworkStateWindow::ShowSummary(const QString& connection_problem) {
  QString text = model_.Summary();
  if (!connection_problem.isEmpty()) text += " (" + connection_problem + ")";
  LabelResumen->setText(text);
}

std::string TNetworkStateWindow::ShopAt(int view_row) const {
  const QModelIndex source = Proxy->mapToSource(Proxy->index(view_row, 0));
  return source.isValid() ? model_.Row(source.row()).Shop : std::string();
}

}  // namespace quinterra
