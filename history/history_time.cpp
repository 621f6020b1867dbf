#include "history/history_time.h"

#include <cstdio>
#include <ctime>

namespace quinterra {
namespace {

using std::chrono::milliseconds;

// Digits of text[from..from+count), or -1 when any is not one.
int Digits(const std::string& text, size_t from, size_t count) {
  if (from + count > text.size()) return -1;
  int value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool Plausible(const std::tm& t) {
  return t.tm_year >= 70 && t.tm_mon >= 0 && t.tm_mon < 12 && t.tm_mday >= 1 && t.tm_mday <= 31 &&
         t.tm_hour >= 0 && t.tm_hour < 24 && t.tm_min >= 0 && t.tm_min < 60 && t.tm_sec >= 0 &&
         t.tm_sec < 60;
}

// "AAAA-MM-DD" at the start of text into t.
bool ReadDate(const std::string& text, std::tm& t) {
  const int year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  if (year < 0 || month < 0 || day < 0 || text[4] != '-' || text[7] != '-') return false;
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  return true;
}

}  // namespace

std::string UtcText(TSystemTime time) {
  const auto since = std::chrono::duration_cast<milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(since / 1000);
  std::tm t{};
  gmtime_r(&seconds, &t);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                static_cast<int>(since % 1000));
  return text;
}

std::optional<TSystemTime> ParseUtcText(const std::string& text) {
  std::tm t{};
  if (text.size() != 24 || !ReadDate(text, t) || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != '.' || text[23] != 'Z')
    return std::nullopt;
  t.tm_hour = Digits(text, 11, 2);
  t.tm_min = Digits(text, 14, 2);
  t.tm_sec = Digits(text, 17, 2);
  const int millis = Digits(text, 20, 3);
  if (millis < 0 || !Plausible(t)) return std::nullopt;
  return std::chrono::system_clock::from_time_t(timegm(&t)) + milliseconds(millis);
}

std::optional<TSystemTime> ParseLocalMoment(const std::string& text, bool end_of_day) {
  std::tm t{};
  if (text.size() < 10 || !ReadDate(text, t)) return std::nullopt;
  bool date_only = text.size() == 10;
  if (!date_only) {
    if ((text.size() != 16 && text.size() != 19) || (text[10] != ' ' && text[10] != 'T') ||
        text[13] != ':')
      return std::nullopt;
    t.tm_hour = Digits(text, 11, 2);
    t.tm_min = Digits(text, 14, 2);
    t.tm_sec = 0;
    if (text.size() == 19) {
      if (text[16] != ':') return std::nullopt;
      t.tm_sec = Digits(text, 17, 2);
    }
  }
  if (!Plausible(t)) return std::nullopt;
  const int day = t.tm_mday;
  t.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&t);
  // mktime carries 31 February into March; such a date is refused.
  if (seconds == static_cast<std::time_t>(-1) || t.tm_mday != day) return std::nullopt;
  TSystemTime moment = std::chrono::system_clock::from_time_t(seconds);
  if (date_only && end_of_day) {
    // The next day's start, less a millisecond (a day may be 23 or 25 hours).
    std::tm next{};
    ReadDate(text, next);
    next.tm_mday += 1;
    next.tm_isdst = -1;
    moment = std::chrono::system_clock::from_time_t(std::mktime(&next)) - milliseconds(1);
  } else if (end_of_day) {
    moment += (text.size() == 16 ? std::chrono::seconds(60) : std::chrono::seconds(1)) -
              milliseconds(1);
  }
  return moment;
}

std::string LocalText(TSystemTime time, bool with_seconds) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::seconds>(time));
  std::tm t{};
  localtime_r(&seconds, &t);
  char text[64];
  if (with_seconds) {
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  } else {
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min);
  }
  return text;
}

std::string LocalTextOfUtc(const std::string& utc, bool with_seconds) {
  const std::optional<TSystemTime> time = ParseUtcText(utc);
  return time ? LocalText(*time, with_seconds) : utc;
}

}  // namespace quinterra
