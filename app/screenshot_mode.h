#pragma once
// A developer switch for pictures of the window: with QUINTERRA_SCREENSHOT
// set to a PNG path, the program makes both panels active, grabs the shown
// window into that file and quits. The document is the one config.ini names.

#include <QString>

namespace quinterra {

class TForm1;

// The PNG path asked for, empty when the switch is off.
QString ScreenshotPath();

// Arranges the grab once the window is shown; the program's exit code is 0
// when the file was written, 1 otherwise.
void ArrangeScreenshot(TForm1& form, const QString& png_path);

}  // namespace quinterra
