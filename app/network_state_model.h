#pragma once
// Every shop of the network as a table row, kept from the office's client
// (its fleet and its own connection). Events only mark their shop; the rows
// are judged again in batches, so that ten thousand shops reporting at once
// cost the window a few short updates, not ten thousand.

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "network/fleet.h"
#include "platform/interval_timer.h"

namespace quinterra {

class TOfficeClient;

// What a row's colour says.
enum class TShopLook {
  Failed,    // red: failed, different, refused, unreadable, two agents
  Offline,   // grey: disconnected, never seen, or the office has no connection
  OnItsWay,  // yellow: not yet there, or there with something to look at
  Verified,  // green: verified at the latest version
};

TShopLook LookOf(const TShopRow& row);

class TShopsModel : public QAbstractTableModel {
 public:
  enum Column {
    ShopColumn,
    ConnectionColumn,
    StateColumn,
    VersionColumn,
    ResultsColumn,
    JackpotsColumn,
    LastCheckColumn,
    LastReportColumn,
    ReasonColumn,
    kColumns
  };
  // The value a column sorts by (numbers as numbers, times as seconds).
  static constexpr int kSortRole = Qt::UserRole;
  // The shops that need a look come first: TShopLook's order.
  static constexpr int kLookRole = Qt::UserRole + 1;
  static constexpr std::chrono::milliseconds kBatch{100};
  // The most rows judged in one turn of the window's loop.
  static constexpr size_t kSlice = 2000;

  TShopsModel(const TOfficeClient& client, ITimerFactory& timers, QObject* parent = nullptr);

  // The client's events: each is judged again within kBatch.
  void ShopChanged(const std::string& shop);
  void DocumentChanged();
  void LinkChanged();
  // Judges what changed now (the batch timer's work).
  void Refresh();
  // After each batch.
  std::function<void()> OnRefreshed;

  const TShopRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)).Row; }
  int RowOf(const std::string& shop) const;
  // "N de M tiendas muestran la versión V verificada", or why no version.
  QString Summary() const;
  // What the office itself lacks, with what to check; empty when connected.
  QString ConnectionProblem() const;
  int VerifiedCount() const { return verified_; }
  // The shops neither online nor (ever) heard from, by name.
  std::vector<std::string> OfflineShops() const;
  // Whether the office itself is without connection: then no row is news.
  bool OfficeOffline() const;
  // Every column's text of a row, lower case, for the filter.
  const QString& SearchText(int row) const { return rows_.at(static_cast<size_t>(row)).Search; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // What a sort compares, without a QVariant per comparison: ten thousand
  // rows sort in milliseconds.
  bool Less(int left, int right, int column, bool look_first) const;

 private:
  struct Entry {
    TShopRow Row;
    TShopLook Look = TShopLook::Offline;
    QString Search;
  };
  QString Text(const Entry& entry, int column) const;
  Entry Judged(TShopRow row) const;
  void Schedule();

  const TOfficeClient& client_;
  std::vector<Entry> rows_;
  std::map<std::string, int> index_;
  std::set<std::string> dirty_;
  bool all_dirty_ = true;
  int verified_ = 0;
  std::unique_ptr<IIntervalTimer> batch_, more_;
};

// Sorts by the chosen column, or, until a column is chosen, the shops that
// need a look first; ties by name. Filters on the text of every column.
class TShopsProxy : public QSortFilterProxyModel {
 public:
  explicit TShopsProxy(QObject* parent = nullptr);
  // A column chosen: sort by it from now on.
  void SortByColumn(int column, Qt::SortOrder order);
  bool NeedsLookFirst() const { return needs_look_first_; }
  // Shows only the rows whose text holds this, whatever its case.
  void SetFilterText(const QString& text);

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
  bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;

 private:
  bool needs_look_first_ = true;
  QString filter_;
};

}  // namespace quinterra
