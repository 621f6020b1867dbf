#include "history/sqlite_connection.h"

#include <sqlite3.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#endif

namespace quinterra {
namespace {

#ifndef _WIN32
// A folder shared with a group (setgid, as the shop's work folder is between
// the agent and the operator's program) gets a record the whole group can
// write, whoever's umask made it first; SQLite gives its journal files the
// record's own mode.
void ShareWithTheFoldersGroup(const std::string& path) {
  if (path.empty() || path[0] == ':' || path.rfind("file:", 0) == 0) return;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !(info.st_mode & S_ISGID)) return;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0660);
  if (fd >= 0) {
    ::fchmod(fd, 0660);  // past the umask
    ::close(fd);
    return;
  }
  // One made earlier by this user, before the folder was shared.
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
      (info.st_mode & 0060) != 0060)
    ::chmod(path.c_str(), (info.st_mode & 07777) | 0060);
}
#endif

class TSqliteRows : public ISqlRows {
 public:
  TSqliteRows(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
  ~TSqliteRows() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  bool Next() override {
    if (done_) return false;
    const int status = sqlite3_step(statement_);
    if (status == SQLITE_ROW) return true;
    done_ = true;
    if (status == SQLITE_DONE) return false;
    throw TSqlError(std::string(sqlite3_errmsg(db_)) + " (" + sqlite3_sql(statement_) + ")");
  }
  bool IsNull(int column) const override {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
  }
  int64_t Int(int column) const override { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) const override {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string();
  }
  std::vector<uint8_t> Blob(int column) const override {
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>();
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_;
  bool done_ = false;
};

}  // namespace

TSqliteConnection::TSqliteConnection(const std::string& path,
                                     std::chrono::milliseconds busy_timeout) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
#ifndef _WIN32
  ShareWithTheFoldersGroup(path);
#endif
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string reason = db_ ? sqlite3_errmsg(db_) : "sin memoria";
    sqlite3_close(db_);
    db_ = nullptr;
    throw TSqlError("no se pudo abrir " + path + ": " + reason);
  }
  sqlite3_busy_timeout(db_, static_cast<int>(busy_timeout.count()));
  sqlite3_extended_result_codes(db_, 1);
  // WAL is kept in the file: only its first opener changes it.
  Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
}

TSqliteConnection::~TSqliteConnection() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

void TSqliteConnection::Fail(const std::string& doing) {
  throw TSqlError(std::string(sqlite3_errmsg(db_)) + " (" + doing + ")");
}

void TSqliteConnection::Execute(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

std::unique_ptr<ISqlRows> TSqliteConnection::Query(const std::string& sql,
                                                   const std::vector<TSqlValue>& parameters) {
  sqlite3_stmt*& statement = statements_[sql];
  if (!statement && sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                       SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
    statements_.erase(sql);
    Fail(sql);
  }
  // $1..$n by name: SQLite numbers named parameters in order of first use.
  for (size_t i = 0; i < parameters.size(); ++i) {
    const int index = sqlite3_bind_parameter_index(statement, ("$" + std::to_string(i + 1)).c_str());
    if (index == 0) continue;
    const TSqlValue& value = parameters[i];
    int status = SQLITE_OK;
    if (const auto* number = std::get_if<int64_t>(&value)) {
      status = sqlite3_bind_int64(statement, index, *number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      status = sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                                 SQLITE_TRANSIENT);
    } else if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
      // An empty vector may have no data pointer, which SQLite would take for NULL.
      status = bytes->empty() ? sqlite3_bind_zeroblob(statement, index, 0)
                              : sqlite3_bind_blob(statement, index, bytes->data(),
                                                  static_cast<int>(bytes->size()), SQLITE_TRANSIENT);
    } else {
      status = sqlite3_bind_null(statement, index);
    }
    if (status != SQLITE_OK) {
      sqlite3_clear_bindings(statement);
      Fail(sql);
    }
  }
  return std::make_unique<TSqliteRows>(db_, statement);
}

}  // namespace quinterra
