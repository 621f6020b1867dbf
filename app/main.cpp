// The program: the main window of the panel editor, in Spanish.

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/searcher_panel_devices.h"
#include "app/qt_dialogs.h"
#include "devices/device_searcher.h"
#include "platform/qt_interval_timer.h"

int main(int argc, char* argv[]) {
  // Help and version need no display: answered before Qt starts.
  const quinterra::TProgramCommandLine asked =
      quinterra::ParseProgramCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (asked.Help) return std::cout << quinterra::ProgramHelpText(), 0;
  if (asked.Version) return std::cout << quinterra::ProgramVersionText(), 0;

  QApplication application(argc, argv);
  QApplication::setApplicationName("Quinterra");
  // The menu entry and the icon the desktop shows for the running program.
  QApplication::setDesktopFileName("quinterra");
  // Qt has taken its own options (-platform ...) out of argv by now.
  const quinterra::TProgramCommandLine line =
      quinterra::ParseProgramCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.Unknown.empty()) {
    std::cerr << "quinterra: argumento desconocido: " << line.Unknown << "\n"
              << "Pruebe 'quinterra --help'.\n";
    return 2;
  }

  // Spanish message boxes and dialogs ("Sí", "No", "Cancelar").
  QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
  QTranslator qt_translation;
  if (qt_translation.load(QLocale(QLocale::Spanish, QLocale::Spain), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qt_translation);

  // Before the windows exist: both take the current folder as theirs.
  if (line.UserFolder) {
    std::string failure;
    if (!quinterra::EnterUserFolder(&failure)) {
      QMessageBox::critical(nullptr, "Quinterra", QString::fromStdString(failure));
      return 1;
    }
  }

  quinterra::TQtDialogs dialogs;
  quinterra::QtTimerFactory timers;
  quinterra::TForm1 form(dialogs, timers);
  dialogs.SetOwner(&form);
  // What the window's first frame does not show is built once that frame is
  // painted: the icon, and the search window with its port list and the
  // device side, whose start-up check begins then.
  // Created after the main window, destroyed before it.
  std::unique_ptr<quinterra::TFormDeviceSearcher> searcher;
  std::unique_ptr<quinterra::TSearcherPanelDevices> devices;
  form.OnFirstPaint = [&](quinterra::TForm1*) {
    // Its own copy of the icon the package installs: a look-up in the icon
    // theme costs milliseconds and most of a megabyte.
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addFile(QString(":/icons/%1/quinterra.png").arg(size));
    QApplication::setWindowIcon(icon);
    searcher = std::make_unique<quinterra::TFormDeviceSearcher>(
        timers, quinterra::TFormDeviceSearcher::Environment{}, &form);
    devices = std::make_unique<quinterra::TSearcherPanelDevices>(*searcher);
    form.AttachDevices(devices.get());
  };
  form.show();
  return application.exec();
}
