#pragma once
// The record's tests run against both backends: an SQLite file in a
// temporary folder, and a database of its own on one PostgreSQL server
// that the test binary starts once. Without PostgreSQL installed, its
// cases are skipped, loudly.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "history/history_database.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_folder.h"

namespace quinterra::history_test {

enum class Backend { Sqlite, Postgres };

std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

// The one server of this binary, started on first use; null, with the
// reason, when it cannot start.
test::PostgresServer* Postgres(std::string* failure);

class BackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override;
  // A store on this test's database (the same database each call).
  std::unique_ptr<THistoryStore> Open() const { return OpenHistoryDatabase(where_); }
  const std::string& Where() const { return where_; }

  test::TempFolder folder_;

 private:
  std::string where_;
};

// An event of the shop with the usual fields; time a UTC text.
THistoryEvent MakeEvent(const std::string& time, const std::string& panel, const std::string& device,
                        const std::string& outcome, const std::vector<uint8_t>& image = {});

}  // namespace quinterra::history_test
