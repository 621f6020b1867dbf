#include "app/panels_view_png.h"

#include <QGuiApplication>
#include <memory>

#include "app/panels_view_drawing.h"
#include "panels/panel_layout.h"

namespace quinterra {

namespace {

// The tool has no display: fonts and painting need only the offscreen
// platform. Null when an application object exists already.
std::unique_ptr<QGuiApplication> OffscreenApplication() {
  if (QCoreApplication::instance() != nullptr) return nullptr;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "quinterra-image";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

bool WritePanelsViewPng(const std::string& path, const Bytes* results, const Bytes* jackpots,
                        std::string& reason) {
  PanelsViewContent content;
  if (results && !(content.results = DecodeResultsImage(*results))) {
    reason = "the results image is not " + std::to_string(kResultsImageSize) + " bytes";
    return false;
  }
  if (jackpots && !(content.jackpots = DecodeJackpotsImage(*jackpots))) {
    reason = "the jackpots image is not " + std::to_string(kJackpotsImageSize) + " bytes";
    return false;
  }
  const std::unique_ptr<QGuiApplication> application = OffscreenApplication();
  if (!DrawPanelsView(content).save(QString::fromStdString(path), "PNG")) {
    reason = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace quinterra
