#include "app/screenshot_mode.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"

namespace quinterra {

QString ScreenshotPath() { return qEnvironmentVariable("QUINTERRA_SCREENSHOT"); }

void ArrangeScreenshot(TForm1& form, const QString& png_path) {
  // Give the window system time to map and paint the window first.
  QTimer::singleShot(700, &form, [&form, png_path] {
    form.SetResultsActive(true);
    form.SetJackpotsActive(true);
    QTimer::singleShot(300, &form, [&form, png_path] {
      const bool written = form.grab().save(png_path, "PNG");
      if (!written) std::fprintf(stderr, "cannot write %s\n", qPrintable(png_path));
      // Leave without the closing questions: nothing was edited.
      QCoreApplication::exit(written ? 0 : 1);
    });
  });
}

}  // namespace quinterra
