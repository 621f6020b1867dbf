// Times typed and shown in local time, stored in UTC.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "history/history_time.h"

namespace quinterra {
namespace {

class HistoryTimeTest : public ::testing::Test {
 protected:
  // Madrid's rule, spelt out: no time zone files needed.
  void SetUp() override {
    const char* zone = std::getenv("TZ");
    if (zone) saved_ = zone;
    had_zone_ = zone != nullptr;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (had_zone_) setenv("TZ", saved_.c_str(), 1); else unsetenv("TZ");
    tzset();
  }
  static std::string Utc(const std::string& local, bool end_of_day = false) {
    const std::optional<TSystemTime> moment = ParseLocalMoment(local, end_of_day);
    return moment ? UtcText(*moment) : "none";
  }

 private:
  std::string saved_;
  bool had_zone_ = false;
};

TEST_F(HistoryTimeTest, LocalMomentsBecomeUtcAcrossTheSummerChange) {
  EXPECT_EQ(Utc("2026-12-08 19:32"), "2026-12-08T18:32:00.000Z");
  EXPECT_EQ(Utc("2026-07-08 19:32:05"), "2026-07-08T17:32:05.000Z");
  EXPECT_EQ(Utc("2026-12-08"), "2026-12-07T23:00:00.000Z");
  EXPECT_EQ(Utc("2026-12-08", true), "2026-12-08T22:59:59.999Z");
  EXPECT_EQ(Utc("2026-12-08 19:32", true), "2026-12-08T18:32:59.999Z");
  EXPECT_EQ(Utc("2026-12-08 19:32:05", true), "2026-12-08T18:32:05.999Z");
  // The day summer time starts has 23 hours.
  EXPECT_EQ(Utc("2026-03-29", true), "2026-03-29T21:59:59.999Z");
  EXPECT_EQ(LocalTextOfUtc("2026-12-08T18:32:05.120Z"), "08/12/2026 19:32:05");
  EXPECT_EQ(LocalTextOfUtc("2026-12-08T18:32:05.120Z", false), "08/12/2026 19:32");
}

TEST_F(HistoryTimeTest, TextsThatNameNoMomentAreRefused) {
  for (const char* text : {"", "2026-02-31", "2026-12-08 25:00", "2026-12-8 19:32", "08/12/2026",
                           "2026-12-08 19:32:5", "2026-12-08x19:32"})
    EXPECT_EQ(Utc(text), "none") << text;
  EXPECT_FALSE(ParseUtcText("2026-12-08 18:32:05"));
  EXPECT_EQ(UtcText(*ParseUtcText("2026-12-08T18:32:05.120Z")), "2026-12-08T18:32:05.120Z");
}

}  // namespace
}  // namespace quinterra
