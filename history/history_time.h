#pragma once
// The record's times: stored in UTC as "2026-12-08T19:32:05.123Z" (fixed
// width, so text order is time order in both databases); typed and shown
// in the machine's local time, as the operator reads a clock.

#include <chrono>
#include <optional>
#include <string>

namespace quinterra {

using TSystemTime = std::chrono::system_clock::time_point;

std::string UtcText(TSystemTime time);
inline std::string UtcNow() { return UtcText(std::chrono::system_clock::now()); }
// A stored time back; none for any other text.
std::optional<TSystemTime> ParseUtcText(const std::string& text);

// "AAAA-MM-DD HH:MM[:SS]" or "AAAA-MM-DD" in local time: the first moment
// of the day, minute or second typed, or with end_of_day its last.
std::optional<TSystemTime> ParseLocalMoment(const std::string& text, bool end_of_day = false);

// "08/12/2026 19:32:05" in local time; with_seconds false drops ":05".
std::string LocalText(TSystemTime time, bool with_seconds = true);
// The same for a stored time (the text itself when it does not read).
std::string LocalTextOfUtc(const std::string& utc, bool with_seconds = true);

}  // namespace quinterra
