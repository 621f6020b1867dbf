#pragma once
// The events' columns in the order THistoryStore reads them, and the values
// of an event for them (hashes as bytes, none as NULL).

#include <vector>

#include "history/history_event.h"
#include "history/sql_connection.h"

namespace quinterra {

inline constexpr const char* kEventColumns =
    "id, time, source, shop, device, device_name, panel, kind, outcome, image_sha256, "
    "document_sha256, version, chain, detail";

std::vector<TSqlValue> EventValues(const THistoryEvent& event);
THistoryEvent EventOfRow(const ISqlRows& rows);
TSqlValue HashValue(const std::string& hex);

}  // namespace quinterra
