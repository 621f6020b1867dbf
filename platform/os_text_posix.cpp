#include "platform/errno_text.h"
#include "platform/os_text.h"

namespace quinterra {

// In Spanish, as every text the operator reads.
std::string SystemErrorText(uint32_t code) { return ErrnoText(static_cast<int>(code)); }

}  // namespace quinterra
