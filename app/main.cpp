// The program: the main window of the panel editor, in Spanish.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/main_window.h"
#include "app/searcher_panel_devices.h"
#include "app/qt_dialogs.h"
#include "devices/device_searcher.h"
#include "platform/qt_interval_timer.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quinterra");

  // Spanish message boxes and dialogs ("Sí", "No", "Cancelar").
  QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
  QTranslator qt_translation;
  if (qt_translation.load(QLocale(QLocale::Spanish, QLocale::Spain), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qt_translation);

  quinterra::TQtDialogs dialogs;
  quinterra::QtTimerFactory timers;
  quinterra::TForm1 form(dialogs, timers);
  dialogs.SetOwner(&form);
  // Created after the main window, destroyed before it.
  quinterra::TFormDeviceSearcher searcher(timers, {}, &form);
  quinterra::TSearcherPanelDevices devices(searcher);
  form.AttachDevices(&devices);

  form.show();
  return application.exec();
}
