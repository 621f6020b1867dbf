#pragma once
// Every shop of the network as a table row, kept from the office's fleet
// (the retained state and online topics). Messages only mark their shop;
// the rows are judged again in batches, so that a thousand shops reporting
// at once cost the window a few short updates, not a thousand.

#include <QAbstractTableModel>
#include <QDateTime>
#include <QSortFilterProxyModel>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "network/fleet.h"

namespace quinterra {

// What a row's colour says.
enum class TShopLook {
  Failed,   // red: failed, different, refused, unreadable
  Offline,  // grey: disconnected, or never seen
  OnItsWay, // yellow: connected, not yet at the latest version
  Verified, // green: verified at the latest version
};

TShopLook LookOf(const TShopRow& row);

class TShopsModel : public QAbstractTableModel {
 public:
  enum Column { Tienda, Conexion, Version, Resultados, Botes, UltimoInforme, kColumns };
  // The value a column sorts by (numbers as numbers, times as seconds).
  static constexpr int kSortRole = Qt::UserRole;
  // The shops that need a look come first: TShopLook's order.
  static constexpr int kLookRole = Qt::UserRole + 1;
  static constexpr std::chrono::milliseconds kBatch{100};

  // live tells whether a message now is news (not the retained snapshot
  // the broker sends on subscription): only then is a disconnection's
  // time known.
  TShopsModel(const TFleet& fleet, std::function<bool()> live, QObject* parent = nullptr);

  // A message of the fleet's topics came; its shop is judged again within
  // kBatch (every shop, for the document).
  void Changed(const std::string& topic);
  // Judges what changed now (the batch timer's work).
  void Refresh();
  // After each batch.
  std::function<void()> OnRefreshed;

  const TShopRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)).row; }
  int RowOf(const std::string& shop) const;
  // "N de M tiendas muestran la versión V verificada", or why no version.
  QString Summary() const;
  int VerifiedCount() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Entry {
    TShopRow row;
    std::optional<QDateTime> offline_since;
  };
  QString ConnectionText(const Entry& entry) const;

  const TFleet& fleet_;
  std::function<bool()> live_;
  std::vector<Entry> rows_;
  std::map<std::string, int> index_;
  std::set<std::string> dirty_;
  bool all_dirty_ = true;
  // When each shop's latest online message came, while live.
  std::map<std::string, QDateTime> online_news_;
  QTimer batch_;
};

// Sorts by the chosen column, or, until a column is chosen, the shops that
// need a look first; ties by name. Filters on the text of every column.
class TShopsProxy : public QSortFilterProxyModel {
 public:
  explicit TShopsProxy(QObject* parent = nullptr);
  // A column chosen: sort by it from now on.
  void SortByColumn(int column, Qt::SortOrder order);
  bool NeedsLookFirst() const { return needs_look_first_; }

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  bool needs_look_first_ = true;
};

}  // namespace quinterra
