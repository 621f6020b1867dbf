#include "emulator/emulator_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace quinterra {
namespace {

// A whole number in [low, high], nothing else: decimal, or hexadecimal after
// "0x" (offsets read better so).
bool ParseNumber(const std::string& text, long long low, long long high, long long& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > (hex ? 15u : 19u)) return false;
  for (char c : digits) {
    if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
      return false;
  }
  errno = 0;
  const long long parsed = std::strtoll(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno != 0 || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace

TEmulatorCommandLine ParseEmulatorCommandLine(const std::vector<std::string>& arguments) {
  TEmulatorCommandLine result;
  TEmulatorOptions& options = result.Options;
  bool tcp_given = false;
  auto fail = [&](const std::string& message) {
    result.Error = message;
    return result;
  };

  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inline_value;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      inline_value = name.substr(equals + 1);
      name.resize(equals);
    }
    auto no_value = [&]() {
      return !inline_value.has_value();
    };
    auto value = [&](std::string& out) {
      if (inline_value) {
        out = *inline_value;
        return true;
      }
      if (i + 1 >= arguments.size()) return false;
      out = arguments[++i];
      return true;
    };
    auto number = [&](long long low, long long high, long long& out) -> std::string {
      std::string text;
      if (!value(text)) return name + " needs a value";
      if (!ParseNumber(text, low, high, out)) {
        return name + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
               ", not '" + text + "'";
      }
      return {};
    };

    long long n = 0;
    std::string problem;
    if (name == "--help" || name == "-h") {
      result.Help = true;
    } else if (name == "--pty") {
      if (!no_value()) return fail("--pty takes no value");
      options.UsePty = true;
    } else if (name == "--small-blocks") {
      if (!no_value()) return fail("--small-blocks takes no value");
      options.Device.SmallBlocks = true;
    } else if (name == "--log") {
      if (!no_value()) return fail("--log takes no value");
      options.Log = true;
    } else if (name == "--tcp") {
      if (!(problem = number(0, 65535, n)).empty()) return fail(problem);
      options.TcpPort = static_cast<int>(n);
      tcp_given = true;
    } else if (name == "--address") {
      if (!(problem = number(1, 127, n)).empty()) return fail(problem);
      options.Device.Address = static_cast<uint8_t>(n);
    } else if (name == "--model") {
      if (!(problem = number(10, 11, n)).empty()) return fail(problem);
      options.Device.Model = static_cast<int>(n);
    } else if (name == "--build") {
      if (!value(options.Device.BuildText)) return fail("--build needs a value");
    } else if (name == "--baud") {
      if (!(problem = number(1, 10000000, n)).empty()) return fail(problem);
      options.Baud = static_cast<uint32_t>(n);
    } else if (name == "--dump") {
      if (!value(options.DumpDir) || options.DumpDir.empty()) return fail("--dump needs a folder");
    } else if (name == "--silent-after") {
      if (!(problem = number(0, INT64_MAX, n)).empty()) return fail(problem);
      options.Device.SilentAfter = n;
    } else if (name == "--drop") {
      if (!(problem = number(0, 100, n)).empty()) return fail(problem);
      options.Device.DropPercent = static_cast<int>(n);
    } else if (name == "--corrupt") {
      if (!(problem = number(0, 100, n)).empty()) return fail(problem);
      options.Device.CorruptPercent = static_cast<int>(n);
    } else if (name == "--delay") {
      if (!(problem = number(0, 3600000, n)).empty()) return fail(problem);
      options.Device.DelayMs = static_cast<int>(n);
    } else if (name == "--corrupt-store") {
      std::string text;
      if (!value(text)) return fail("--corrupt-store needs OFFSET:MASK");
      const size_t colon = text.find(':');
      long long offset = 0, mask = 0;
      if (colon == std::string::npos || !ParseNumber(text.substr(0, colon), 0, 0xFFFFFF, offset) ||
          !ParseNumber(text.substr(colon + 1), 1, 255, mask)) {
        return fail("--corrupt-store needs OFFSET:MASK (a display offset and a mask of 1 to 255), not '" +
                    text + "'");
      }
      options.Device.StoreFault =
          TPanelDeviceOptions::StoredWrong{static_cast<uint32_t>(offset), static_cast<uint8_t>(mask)};
    } else if (name == "--line-time") {
      options.LineTime = true;
    } else if (name == "--no-reads") {
      options.Device.NoReads = true;
    } else if (name == "--short-read") {
      if (!(problem = number(0, 0xFFFFFF, n)).empty()) return fail(problem);
      options.Device.ShortReadDisplayOffset = static_cast<uint32_t>(n);
    } else if (name == "--seed") {
      if (!(problem = number(0, UINT32_MAX, n)).empty()) return fail(problem);
      options.Device.Seed = static_cast<uint32_t>(n);
    } else {
      return fail("unknown option '" + arguments[i] + "'");
    }
  }

  if (result.Help) return result;
  if (tcp_given && options.UsePty) return fail("--tcp and --pty exclude each other");
  if (options.Baud && !options.UsePty) return fail("--baud works on a pseudo-terminal only (--pty)");
  if (options.LineTime && !options.Baud) return fail("--line-time needs --baud");
  const std::string problem = TPanelDeviceEmulator::ValidateOptions(options.Device);
  if (!problem.empty()) return fail(problem);
  return result;
}

std::string EmulatorHelpText() {
  return R"(Usage: quinterra-emulator [--tcp PORT | --pty] [options]

Emulates one panel device of the Quinterra bus: it answers ping (0x01),
information (0x02), memory read (0x03), build (0x04), memory write (0x10) and
check (0x30) requests sent to its address, and keeps the device's memory.

Link (one of):
  --tcp PORT         listen on 127.0.0.1:PORT for one master at a time; the
                     next master is accepted when the previous one has left.
                     PORT 0 picks a free port. Default: --tcp 10001.
                     The first line printed is "TCP <port>".
  --pty              open a pseudo-terminal in raw mode; the first line
                     printed is "PTY <path of its terminal side>".

Device:
  --address N        bus address, 1 to 127 (default 1)
  --model 10|11      device model (default 10); model 10 has 879 display and
                     16 directory blocks, model 11 has 767 and 64
  --small-blocks     128-byte blocks (model 10 only: 383 display and 32
                     directory blocks); 256-byte blocks otherwise
  --build TEXT       build text of the build answer (default "EMU 1.0")
  --baud RATE        with --pty: answer only while the terminal side is set
                     to RATE bits per second; at any other rate input is
                     noise and is discarded
  --line-time        with --baud: each byte takes its time on the line (10
                     bits at RATE) both ways, as on a real serial line

Faults (repeatable for a given seed):
  --silent-after N   stop answering, and acting, after N answers
  --drop PERCENT     carry out PERCENT of requests without answering them
  --corrupt PERCENT  invert one byte in PERCENT of the answers
  --delay MS         wait MS milliseconds before sending each answer
  --corrupt-store OFFSET:MASK
                     store the display byte at OFFSET XORed with MASK (1 to
                     255) on every write that covers it, and still
                     acknowledge the write
  --no-reads         answer writes but never memory reads
  --short-read OFFSET
                     answer every display read that covers OFFSET with the
                     first half of the bytes asked for
  --seed N           seed of the fault choices (default 1)

Output:
  --dump DIR         write DIR/display.bin, DIR/directory.bin and
                     DIR/config.bin at start and after every memory write,
                     each replaced whole (written aside, then renamed)
  --log              one line per request and per answer on standard error
  --help             this text

Numbers may be written in hexadecimal after 0x (--corrupt-store 0x41:0x10).

Requests outside the device's memory areas, or running past an area's end,
reads of more than 512 bytes, unknown commands and damaged frames get no
answer. SIGINT or SIGTERM ends the program with exit status 0; a bad command
line ends it with status 2, a link that cannot be opened with status 1.
)";
}

}  // namespace quinterra
