#include "history/postgres_connection.h"

#include <libpq-fe.h>

#include <cstring>

namespace quinterra {
namespace {

// Type numbers of the built-in types (catalog pg_type).
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kTextOid = 25;

std::string ErrorOf(PGconn* connection) {
  std::string text = PQerrorMessage(connection);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

uint64_t BigEndian(const char* bytes, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  return value;
}

class TPostgresRows : public ISqlRows {
 public:
  TPostgresRows(PGconn* connection, std::string sql) : connection_(connection), sql_(std::move(sql)) {}
  ~TPostgresRows() override {
    Clear();
    // Rows not read are taken and dropped: the connection is free again.
    while (PGresult* rest = PQgetResult(connection_)) PQclear(rest);
  }
  bool Next() override {
    Clear();
    if (done_) return false;
    row_ = PQgetResult(connection_);
    const ExecStatusType status = row_ ? PQresultStatus(row_) : PGRES_COMMAND_OK;
    if (status == PGRES_SINGLE_TUPLE) return true;
    done_ = true;
    if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return false;
    const std::string reason = row_ ? PQresultErrorMessage(row_) : ErrorOf(connection_);
    throw TSqlError(reason + " (" + sql_ + ")");
  }
  bool IsNull(int column) const override { return PQgetisnull(row_, 0, column) != 0; }
  int64_t Int(int column) const override {
    const int size = PQgetlength(row_, 0, column);
    const uint64_t raw = BigEndian(PQgetvalue(row_, 0, column), size);
    // Sign-extend a 2- or 4-byte integer.
    if (size > 0 && size < 8) {
      const int shift = 64 - 8 * size;
      return static_cast<int64_t>(raw << shift) >> shift;
    }
    return static_cast<int64_t>(raw);
  }
  std::string Text(int column) const override {
    return std::string(PQgetvalue(row_, 0, column), static_cast<size_t>(PQgetlength(row_, 0, column)));
  }
  std::vector<uint8_t> Blob(int column) const override {
    const auto* bytes = reinterpret_cast<const uint8_t*>(PQgetvalue(row_, 0, column));
    return std::vector<uint8_t>(bytes, bytes + PQgetlength(row_, 0, column));
  }

 private:
  void Clear() {
    if (row_) PQclear(row_);
    row_ = nullptr;
  }
  PGconn* connection_;
  std::string sql_;
  PGresult* row_ = nullptr;
  bool done_ = false;
};

}  // namespace

TPostgresConnection::TPostgresConnection(const std::string& conninfo) {
  connection_ = PQconnectdb(conninfo.c_str());
  if (!connection_ || PQstatus(connection_) != CONNECTION_OK) {
    const std::string reason = connection_ ? ErrorOf(connection_) : "sin memoria";
    PQfinish(connection_);
    connection_ = nullptr;
    throw TSqlError("no se pudo conectar con la base de datos: " + reason);
  }
  // Notices ("relation already exists, skipping") are not for the log.
  PQsetNoticeProcessor(connection_, [](void*, const char*) {}, nullptr);
}

TPostgresConnection::~TPostgresConnection() { PQfinish(connection_); }

void TPostgresConnection::Execute(const std::string& sql) {
  PGresult* result = PQexec(connection_, sql.c_str());
  const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  const std::string reason = result ? PQresultErrorMessage(result) : ErrorOf(connection_);
  PQclear(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw TSqlError(reason + " (" + sql + ")");
}

std::unique_ptr<ISqlRows> TPostgresConnection::Query(const std::string& sql,
                                                     const std::vector<TSqlValue>& parameters) {
  const size_t count = parameters.size();
  std::vector<Oid> types(count, 0);
  std::vector<std::string> storage(count);
  std::vector<const char*> values(count, nullptr);
  std::vector<int> lengths(count, 0), formats(count, 1);
  for (size_t i = 0; i < count; ++i) {
    const TSqlValue& value = parameters[i];
    if (const auto* number = std::get_if<int64_t>(&value)) {
      types[i] = kInt8Oid;
      std::string& bytes = storage[i];
      for (int shift = 56; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>(static_cast<uint64_t>(*number) >> shift & 0xFF));
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      types[i] = kTextOid;
      storage[i] = *text;
    } else if (const auto* blob = std::get_if<std::vector<uint8_t>>(&value)) {
      types[i] = kByteaOid;
      storage[i].assign(blob->begin(), blob->end());
    } else {
      continue;  // NULL: no value
    }
    values[i] = storage[i].data();
    lengths[i] = static_cast<int>(storage[i].size());
  }
  if (!PQsendQueryParams(connection_, sql.c_str(), static_cast<int>(count), types.data(),
                         values.data(), lengths.data(), formats.data(), 1)) {
    throw TSqlError(ErrorOf(connection_) + " (" + sql + ")");
  }
  PQsetSingleRowMode(connection_);
  return std::make_unique<TPostgresRows>(connection_, sql);
}

}  // namespace quinterra
