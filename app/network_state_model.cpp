#include "app/network_state_model.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

#include "network/names.h"
#include "network/office_publish.h"

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Today's times by the clock alone, older ones with their date.
QString When(const QDateTime& time) {
  return time.date() == QDate::currentDate() ? time.toString("HH:mm:ss")
                                             : time.toString("dd/MM/yyyy HH:mm");
}

QColor Colour(TShopLook look) {
  switch (look) {
    case TShopLook::Verified: return QColor(190, 235, 190);
    case TShopLook::OnItsWay: return QColor(250, 235, 150);
    case TShopLook::Failed: return QColor(245, 175, 175);
    case TShopLook::Offline: return QColor(215, 215, 215);
  }
  return Qt::white;
}

// A shop's reason as a tooltip: it is the shop's own text, so it is shown
// as text (Qt would take markup in a tooltip as rich text) and kept short.
QString ReasonTip(const std::string& why) {
  constexpr int kLongest = 200;
  QString text = Q(why);
  if (text.size() > kLongest) text = text.left(kLongest) + QString::fromUtf8("…");
  return "<qt>" + text.toHtmlEscaped() + "</qt>";
}

}  // namespace

TShopLook LookOf(const TShopRow& row) {
  // Connected but silent so far: its first report is on its way.
  if (row.Verdict == TVerdict::Unknown)
    return row.Online == true ? TShopLook::OnItsWay : TShopLook::Offline;
  switch (VerdictTone(row.Verdict)) {
    case TVerdictTone::Good: return TShopLook::Verified;
    case TVerdictTone::Warning: return TShopLook::OnItsWay;
    case TVerdictTone::Bad: return TShopLook::Failed;
    case TVerdictTone::Off: break;
  }
  return TShopLook::Offline;
}

TShopsModel::TShopsModel(const TFleet& fleet, std::function<bool()> live, QObject* parent)
    : QAbstractTableModel(parent), fleet_(fleet), live_(std::move(live)) {
  batch_.setSingleShot(true);
  connect(&batch_, &QTimer::timeout, this, [this] { Refresh(); });
  batch_.start(kBatch);
}

void TShopsModel::Changed(const std::string& topic) {
  const std::string& network = fleet_.Network();
  const std::string shop = ShopOfTopic(network, topic);
  if (!shop.empty()) {
    dirty_.insert(shop);
    if (topic == OnlineTopic(network, shop)) {
      if (live_ && live_())
        online_news_[shop] = QDateTime::currentDateTime();
      else
        online_news_.erase(shop);
    }
  } else if (topic == DocumentTopic(network)) {
    all_dirty_ = true;
  } else {
    return;
  }
  if (!batch_.isActive()) batch_.start(kBatch);
}

void TShopsModel::Refresh() {
  batch_.stop();
  std::vector<TShopRow> fresh;
  if (all_dirty_) {
    fresh = fleet_.Rows();
  } else {
    for (const std::string& shop : dirty_)
      if (std::optional<TShopRow> row = fleet_.Row(shop)) fresh.push_back(std::move(*row));
  }
  all_dirty_ = false;
  dirty_.clear();

  std::vector<Entry> added;
  std::vector<int> changed;
  for (TShopRow& row : fresh) {
    Entry entry{std::move(row), std::nullopt};
    const auto news = online_news_.find(entry.row.Shop);
    if (entry.row.Online == false && news != online_news_.end()) entry.offline_since = news->second;
    const auto found = index_.find(entry.row.Shop);
    if (found == index_.end()) {
      added.push_back(std::move(entry));
      continue;
    }
    rows_[static_cast<size_t>(found->second)] = std::move(entry);
    changed.push_back(found->second);
  }
  // One signal per run of neighbouring rows: a signal over rows that did
  // not change would have the sorted view look at each of them again.
  std::sort(changed.begin(), changed.end());
  for (size_t first = 0; first < changed.size();) {
    size_t last = first;
    while (last + 1 < changed.size() && changed[last + 1] == changed[last] + 1) ++last;
    emit dataChanged(index(changed[first], 0), index(changed[last], kColumns - 1));
    first = last + 1;
  }
  if (!added.empty()) {
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    for (Entry& entry : added) {
      index_[entry.row.Shop] = rowCount();
      rows_.push_back(std::move(entry));
    }
    endInsertRows();
  }
  if (OnRefreshed) OnRefreshed();
}

int TShopsModel::RowOf(const std::string& shop) const {
  const auto found = index_.find(shop);
  return found == index_.end() ? -1 : found->second;
}

int TShopsModel::VerifiedCount() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Entry& entry) {
    return entry.row.Verdict == TVerdict::Fine;
  }));
}

QString TShopsModel::Summary() const {
  const int shops = rowCount();
  if (!fleet_.HasDocument())
    return QString::fromUtf8("Ningún documento publicado; tiendas conocidas: %1").arg(shops);
  if (!fleet_.Document())
    return QString::fromUtf8("El documento publicado no es válido: ") +
           QString::fromUtf8(RefusalText(fleet_.DocumentRefusal()));
  return QString::fromUtf8("%1 de %2 tiendas muestran la versión %3 verificada")
      .arg(VerifiedCount())
      .arg(shops)
      .arg(fleet_.Document()->Version);
}

QString TShopsModel::ConnectionText(const Entry& entry) const {
  if (entry.row.Online == true) return QString::fromUtf8("en línea");
  if (entry.row.Online == false) {
    // A disconnection found in the broker's snapshot has no known time.
    return entry.offline_since ? "desconectada desde " + When(*entry.offline_since)
                               : QString("desconectada");
  }
  return QString("sin noticias");
}

int TShopsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TShopsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant TShopsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Entry& entry = rows_[static_cast<size_t>(index.row())];
  const TShopRow& row = entry.row;
  const TShopState* state = row.State ? &*row.State : nullptr;
  switch (role) {
    case Qt::BackgroundRole: return QBrush(Colour(LookOf(row)));
    case Qt::ForegroundRole: return QBrush(Qt::black);
    case Qt::ToolTipRole: return row.Why.empty() ? QVariant() : QVariant(ReasonTip(row.Why));
    case kLookRole: return static_cast<int>(LookOf(row));
    default: break;
  }
  const int column = index.column();
  if (role == kSortRole) {
    switch (column) {
      case Tienda: return Q(row.Shop);
      case Conexion: return row.Online == true ? 0 : row.Online == false ? 1 : 2;
      case Version: return state ? qint64(state->AppliedVersion) : qint64(-1);
      case Resultados: return state ? int(state->Results.Status) : -1;
      case Botes: return state ? int(state->Jackpots.Status) : -1;
      case UltimoInforme: return state ? qint64(state->Time) : qint64(-1);
    }
    return {};
  }
  if (role != Qt::DisplayRole) return {};
  switch (column) {
    case Tienda: return Q(row.Shop);
    case Conexion: return ConnectionText(entry);
    case Version: return state ? QString::number(state->AppliedVersion) : QString();
    case Resultados: return state ? QString::fromUtf8(PanelWord(state->Results.Status)) : QString();
    case Botes: return state ? QString::fromUtf8(PanelWord(state->Jackpots.Status)) : QString();
    case UltimoInforme:
      return state ? When(QDateTime::fromSecsSinceEpoch(state->Time)) : QString();
  }
  return {};
}

QVariant TShopsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumns] = {"Tienda", "Conexión", "Versión",
                                                "Resultados", "Botes", "Último informe"};
  return section >= 0 && section < kColumns ? QString::fromUtf8(kTitles[section]) : QVariant();
}

TShopsProxy::TShopsProxy(QObject* parent) : QSortFilterProxyModel(parent) {
  setFilterCaseSensitivity(Qt::CaseInsensitive);
  setFilterKeyColumn(-1);
  setSortRole(TShopsModel::kSortRole);
  setDynamicSortFilter(true);
  sort(TShopsModel::Tienda, Qt::AscendingOrder);
}

void TShopsProxy::SortByColumn(int column, Qt::SortOrder order) {
  needs_look_first_ = false;
  sort(column, order);
  invalidate();
}

bool TShopsProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const int role = needs_look_first_ ? TShopsModel::kLookRole : TShopsModel::kSortRole;
  const QPartialOrdering order =
      QVariant::compare(left.data(role), right.data(role));
  if (order == QPartialOrdering::Less) return true;
  if (order == QPartialOrdering::Greater) return false;
  const QString a = left.sibling(left.row(), TShopsModel::Tienda).data().toString();
  const QString b = right.sibling(right.row(), TShopsModel::Tienda).data().toString();
  return a < b;
}

}  // namespace quinterra
