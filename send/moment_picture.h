#pragma once
// The panels of a moment drawn into a PNG by quinterra-image --png, the
// panels view's own drawing. A program of its own, so that quinterra-send
// does not load Qt's graphics at every start.

#include <string>

#include "history/history_moment.h"

namespace quinterra {

// False, with the reason, when the picture could not be made.
bool DrawMomentPicture(const std::string& png, const TPanelsAtMoment& panels, std::string& reason);

// quinterra-image beside this program (installed), in the build's tools/
// folder, or on the PATH.
std::string ImageToolPath();

}  // namespace quinterra
