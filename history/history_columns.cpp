#include "history/history_columns.h"

#include "history/sha256.h"

namespace quinterra {

TSqlValue HashValue(const std::string& hex) {
  if (hex.empty()) return std::monostate{};
  std::optional<std::vector<uint8_t>> bytes = HexBytes(hex);
  if (!bytes) throw TSqlError("hash no hexadecimal: " + hex);
  return std::move(*bytes);
}

std::vector<TSqlValue> EventValues(const THistoryEvent& e) {
  return {e.Id,
          e.Time,
          e.Source,
          e.Shop,
          e.Device,
          e.DeviceName,
          e.Panel,
          e.Kind,
          e.Outcome,
          HashValue(e.ImageSha256),
          HashValue(e.DocumentSha256),
          e.Version ? TSqlValue(*e.Version) : TSqlValue(std::monostate{}),
          HashValue(e.Chain),
          e.Detail.empty() ? TSqlValue(std::monostate{}) : TSqlValue(e.Detail)};
}

THistoryEvent EventOfRow(const ISqlRows& rows) {
  auto hash = [&rows](int column) {
    if (rows.IsNull(column)) return std::string();
    const std::vector<uint8_t> bytes = rows.Blob(column);
    return HexText(bytes.data(), bytes.size());
  };
  THistoryEvent e;
  e.Id = rows.Int(0);
  e.Time = rows.Text(1);
  e.Source = rows.Text(2);
  e.Shop = rows.Text(3);
  e.Device = rows.Text(4);
  e.DeviceName = rows.Text(5);
  e.Panel = rows.Text(6);
  e.Kind = rows.Text(7);
  e.Outcome = rows.Text(8);
  e.ImageSha256 = hash(9);
  e.DocumentSha256 = hash(10);
  if (!rows.IsNull(11)) e.Version = rows.Int(11);
  e.Chain = hash(12);
  if (!rows.IsNull(13)) e.Detail = rows.Text(13);
  return e;
}

}  // namespace quinterra
