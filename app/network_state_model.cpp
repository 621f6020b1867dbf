#include "app/network_state_model.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>
#include <ctime>

#include "network/office_client.h"

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Today's times by the clock alone, older ones with their date. By the C
// library: ten thousand rows are written in a batch.
QString When(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  const std::time_t now = std::time(nullptr);
  std::tm local{}, today{};
  localtime_r(&time, &local);
  localtime_r(&now, &today);
  const bool same_day = local.tm_year == today.tm_year && local.tm_yday == today.tm_yday;
  char text[32];
  std::strftime(text, sizeof text, same_day ? "%H:%M:%S" : "%d/%m/%Y %H:%M", &local);
  return QString::fromLatin1(text);
}

const struct {
  TShopLook look;
  QColor colour;
} kLooks[] = {
    {TShopLook::Failed, QColor(245, 175, 175)},
    {TShopLook::Offline, QColor(215, 215, 215)},
    {TShopLook::OnItsWay, QColor(250, 235, 150)},
    {TShopLook::Verified, QColor(190, 235, 190)},
};

QColor Colour(TShopLook look) {
  for (const auto& entry : kLooks)
    if (entry.look == look) return entry.colour;
  return Qt::white;
}

const char* const kTitles[TShopsModel::kColumns] = {
    "Tienda", "Conexión", "Estado", "Versión", "Resultados", "Botes", "Último control",
    "Último informe", "Motivo"};

// A shop's own words, kept short: they are its text, not ours.
QString ShopWords(const std::string& words) {
  constexpr int kLongest = 200;
  QString text = Q(words);
  if (text.size() > kLongest) text = text.left(kLongest) + QString::fromUtf8("…");
  return text;
}

// A panel as the shop reports it, with the version it holds where that is
// not the one its report is about: "fallido, muestra la v7".
QString PanelText(const TShopState& state, const TShopPanel& panel) {
  QString text = QString::fromUtf8(PanelStatusText(panel.Status));
  if (panel.Version != 0 && panel.Version != state.Version)
    text += QString::fromUtf8(", muestra la v%1").arg(panel.Version);
  return text;
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

TShopsModel::TShopsModel(const TOfficeClient& client, ITimerFactory& timers, QObject* parent)
    : QAbstractTableModel(parent),
      client_(client),
      batch_(timers.CreateTimer()),
      more_(timers.CreateTimer()) {
  batch_->SetInterval(kBatch);
  batch_->OnTimer = [this] { Refresh(); };
  // The rest of a batch larger than a slice, as soon as the loop has turned.
  more_->SetInterval(std::chrono::milliseconds(1));
  more_->OnTimer = [this] { Refresh(); };
  Schedule();
}

void TShopsModel::Schedule() {
  if (!batch_->Enabled()) batch_->SetEnabled(true);
}

void TShopsModel::ShopChanged(const std::string& shop) {
  dirty_.insert(shop);
  Schedule();
}

void TShopsModel::DocumentChanged() {
  all_dirty_ = true;
  Schedule();
}

void TShopsModel::LinkChanged() {
  all_dirty_ = true;
  Schedule();
}

bool TShopsModel::OfficeOffline() const { return client_.Link() == TOfficeLink::Lost; }

TShopsModel::Entry TShopsModel::Judged(TShopRow row) const {
  Entry entry;
  entry.Row = std::move(row);
  // The office's own connection first: without it no shop's row is news.
  entry.Look = OfficeOffline() ? TShopLook::Offline : LookOf(entry.Row);
  for (int column = 0; column < kColumns; ++column) {
    if (column) entry.Search += '\n';
    entry.Search += Text(entry, column).toLower();
  }
  return entry;
}

void TShopsModel::Refresh() {
  batch_->SetEnabled(false);
  more_->SetEnabled(false);
  const TFleet& fleet = client_.Fleet();
  if (all_dirty_) {
    for (std::string& shop : fleet.Shops()) dirty_.insert(std::move(shop));
    all_dirty_ = false;
  }
  // A slice at a time: the window's loop turns between two.
  std::vector<TShopRow> fresh;
  while (!dirty_.empty() && fresh.size() < kSlice) {
    if (std::optional<TShopRow> row = fleet.Row(*dirty_.begin())) fresh.push_back(std::move(*row));
    dirty_.erase(dirty_.begin());
  }
  if (!dirty_.empty()) more_->SetEnabled(true);

  std::vector<Entry> added;
  std::vector<int> changed;
  for (TShopRow& row : fresh) {
    Entry entry = Judged(std::move(row));
    const auto found = index_.find(entry.Row.Shop);
    if (found == index_.end()) {
      added.push_back(std::move(entry));
      continue;
    }
    Entry& kept = rows_[static_cast<size_t>(found->second)];
    verified_ -= kept.Row.Verdict == TVerdict::Fine;
    verified_ += entry.Row.Verdict == TVerdict::Fine;
    kept = std::move(entry);
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
      index_[entry.Row.Shop] = rowCount();
      verified_ += entry.Row.Verdict == TVerdict::Fine;
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

std::vector<std::string> TShopsModel::OfflineShops() const {
  std::vector<std::string> shops;
  for (const Entry& entry : rows_)
    if (entry.Row.Online != true) shops.push_back(entry.Row.Shop);
  std::sort(shops.begin(), shops.end());
  return shops;
}

QString TShopsModel::Summary() const {
  const TFleet& fleet = client_.Fleet();
  const int shops = rowCount();
  if (!fleet.HasDocument())
    return QString::fromUtf8("Ningún documento publicado; tiendas conocidas: %1").arg(shops);
  if (!fleet.Document())
    return QString::fromUtf8("El documento publicado no es válido: ") +
           QString::fromUtf8(RefusalText(fleet.DocumentRefusal()));
  return QString::fromUtf8("%1 de %2 tiendas muestran la versión %3 verificada")
      .arg(verified_)
      .arg(shops)
      .arg(fleet.Document()->Version);
}

QString TShopsModel::ConnectionProblem() const {
  switch (client_.Link()) {
    case TOfficeLink::Ready:
    case TOfficeLink::Connecting:
      return {};
    case TOfficeLink::Syncing:
      return Q(client_.LinkProblem());
    case TOfficeLink::Lost:
      break;
  }
  const TNetworkBundle& bundle = client_.Office().Bundle;
  const QString why = Q(client_.LinkFailure());
  return QString::fromUtf8(
             "La oficina no tiene conexión con el servidor %1:%2 desde las %3: compruebe la red "
             "de esta oficina y que el servidor esté en marcha")
             .arg(Q(bundle.Host))
             .arg(bundle.Port)
             .arg(Q(ClockText(client_.LinkSince()))) +
         (why.isEmpty() ? QString() : " (" + why + ")");
}

QString TShopsModel::Text(const Entry& entry, int column) const {
  const TShopRow& row = entry.Row;
  const TShopState* state = row.State ? &*row.State : nullptr;
  const bool office_offline = OfficeOffline();
  switch (column) {
    case ShopColumn:
      return Q(row.Shop);
    case ConnectionColumn:
      if (office_offline)
        return QString::fromUtf8("sin datos (la oficina no tiene conexión desde %1)")
            .arg(Q(ClockText(client_.LinkSince())));
      if (row.Online == true) return QString::fromUtf8("en línea");
      // A disconnection found in the broker's snapshot has no known time.
      if (row.Online == false)
        return row.OfflineSince ? "desconectada desde " + When(row.OfflineSince)
                                : QString("desconectada");
      return QString("sin noticias");
    case StateColumn:
      if (office_offline) return QString("sin datos");
      if (row.Verdict == TVerdict::Fine && state && !state->Restored.empty())
        return QString::fromUtf8("bien, restaurado");
      return QString::fromUtf8(VerdictText(row.Verdict));
    case VersionColumn:
      return state ? QString::number(state->AppliedVersion) : QString();
    case ResultsColumn:
      return state ? PanelText(*state, state->Results) : QString();
    case JackpotsColumn:
      return state ? PanelText(*state, state->Jackpots) : QString();
    case LastCheckColumn:
      return row.CheckedAt ? When(row.CheckedAt) : QString();
    case LastReportColumn:
      return state ? When(state->Time) : QString();
    case ReasonColumn:
      return office_offline ? QString() : ShopWords(row.Why);
  }
  return {};
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
  const TShopRow& row = entry.Row;
  switch (role) {
    case Qt::DisplayRole:
      return Text(entry, index.column());
    case Qt::BackgroundRole:
      return QBrush(Colour(entry.Look));
    case Qt::ForegroundRole:
      return QBrush(Qt::black);
    case kLookRole:
      return static_cast<int>(entry.Look);
    case Qt::ToolTipRole: {
      // Shown as text: Qt would take markup in a tooltip as rich text, and
      // the reasons are the shops' own words.
      QStringList lines;
      if (OfficeOffline()) {
        lines << ConnectionProblem();
      } else {
        lines << QString::fromUtf8(VerdictAdvice(row.Verdict));
        if (!row.Why.empty()) lines << ShopWords(row.Why);
        if (row.State && !row.State->Restored.empty()) lines << ShopWords(row.State->Restored);
      }
      return "<qt>" + lines.join('\n').toHtmlEscaped().replace('\n', "<br>") + "</qt>";
    }
    case kSortRole: {
      const TShopState* state = row.State ? &*row.State : nullptr;
      switch (index.column()) {
        case ConnectionColumn: return row.Online == true ? 0 : row.Online == false ? 1 : 2;
        case StateColumn: return static_cast<int>(entry.Look);
        case VersionColumn: return state ? qint64(state->AppliedVersion) : qint64(-1);
        case ResultsColumn: return state ? int(state->Results.Status) : -1;
        case JackpotsColumn: return state ? int(state->Jackpots.Status) : -1;
        case LastCheckColumn: return qint64(row.CheckedAt);
        case LastReportColumn: return state ? qint64(state->Time) : qint64(-1);
        case ReasonColumn: return Q(row.Why);
        default: return Q(row.Shop);
      }
    }
    default:
      return {};
  }
}

bool TShopsModel::Less(int left, int right, int column, bool look_first) const {
  const Entry& a = rows_[static_cast<size_t>(left)];
  const Entry& b = rows_[static_cast<size_t>(right)];
  auto key = [look_first, column](const Entry& e) -> int64_t {
    const TShopState* state = e.Row.State ? &*e.Row.State : nullptr;
    if (look_first) return static_cast<int>(e.Look);
    switch (column) {
      case ConnectionColumn: return e.Row.Online == true ? 0 : e.Row.Online == false ? 1 : 2;
      case StateColumn: return static_cast<int>(e.Look);
      case VersionColumn: return state ? state->AppliedVersion : -1;
      case ResultsColumn: return state ? static_cast<int>(state->Results.Status) : -1;
      case JackpotsColumn: return state ? static_cast<int>(state->Jackpots.Status) : -1;
      case LastCheckColumn: return e.Row.CheckedAt;
      case LastReportColumn: return state ? state->Time : -1;
      default: return 0;
    }
  };
  if (!look_first && column == ReasonColumn && a.Row.Why != b.Row.Why) return a.Row.Why < b.Row.Why;
  const int64_t ka = key(a), kb = key(b);
  if (ka != kb) return ka < kb;
  // Ties, and the shop column itself, by name.
  return a.Row.Shop < b.Row.Shop;
}

QVariant TShopsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section >= 0 && section < kColumns ? QString::fromUtf8(kTitles[section]) : QVariant();
}

TShopsProxy::TShopsProxy(QObject* parent) : QSortFilterProxyModel(parent) {
  setDynamicSortFilter(true);
  sort(TShopsModel::ShopColumn, Qt::AscendingOrder);
}

void TShopsProxy::SortByColumn(int column, Qt::SortOrder order) {
  const bool look_first = needs_look_first_;
  needs_look_first_ = false;
  // The proxy skips a sort by the column and order it has, which the order
  // of the looks may have been.
  if (look_first && column == sortColumn() && order == sortOrder())
    invalidate();
  else
    sort(column, order);
}

void TShopsProxy::SetFilterText(const QString& text) {
  filter_ = text.toLower();
  invalidateFilter();
}

bool TShopsProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const auto* model = static_cast<const TShopsModel*>(sourceModel());
  return model->Less(left.row(), right.row(), left.column(), needs_look_first_);
}

bool TShopsProxy::filterAcceptsRow(int source_row, const QModelIndex&) const {
  if (filter_.isEmpty()) return true;
  return static_cast<const TShopsModel*>(sourceModel())->SearchText(source_row).contains(filter_);
}

}  // namespace quinterra
