#pragma once
// What crosses between the main window and the device side: which panels a
// delivery or check is for, a panel, what became of a panel, and the kind
// of link a device sits on. The numbers are those the files and the log use.

#include <cstddef>
#include <optional>

namespace quinterra {

// Which panels "ENVIAR", "Actualizar" and the start-up check ask for.
enum class TPanelMode { Both = 0, Results = 1, Jackpots = 2 };

// A panel, by the number of its device: 1 results, 2 jackpots.
enum class TPanel { Results = 1, Jackpots = 2 };

// What a delivery did for a panel: written and acknowledged (also when
// verification could not read a device back); also read back and found
// equal on every device; or failed (no answer in time, or a device read back
// different).
enum class TPanelResult { Sent, Verified, Failed };

// What became of one device of a delivery, a check or a read.
enum class TDeviceOutcome {
  Done,         // written and acknowledged, answered the check, or read
  Verified,     // written, read back and found equal
  Different,    // read back, but not what was written
  Unread,       // written and acknowledged, but not read back whole
  Silent,       // its link opened, but it did not answer in time
  LinkFailed,   // its link could not be opened (or could not be named)
};

// Where a device read back other bytes than were written: how many differ
// (the directory record's included), and the first of them, in the display,
// or in the directory record when only that differs.
struct TByteDifference {
  std::size_t Count = 0;
  std::size_t First = 0;
  bool InDirectory = false;
};

enum class TLinkKind { None = 0, Serial = 1, Tcp = 2 };

inline bool Requests(TPanelMode mode, TPanel panel) {
  return mode == TPanelMode::Both || static_cast<int>(mode) == static_cast<int>(panel);
}

}  // namespace quinterra
