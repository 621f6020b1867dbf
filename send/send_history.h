#pragma once
// quinterra-send's questions to the shop's record (historial.db in the
// folder): the events, whether their chain holds, and what the panels
// showed at a moment, drawn as the panels view draws them when asked.

#include <iosfwd>

#include "send/send_options.h"

namespace quinterra {

// History and ShownAt; the exit status (0, 1 as --help says, 2 when there
// is no record to ask).
int RunHistoryCommand(const TSendOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quinterra
