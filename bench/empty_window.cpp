// empty_window WIDTH HEIGHT [--menus]: an empty Qt window of that size and
// nothing else, the yardstick of bench/startup.sh; with --menus, a main
// window whose only content is the program's visible menu bar.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3 && argc != 4) return 2;
  const bool menus = argc == 4 && QString(argv[3]) == "--menus";
  QMainWindow with_menus;
  QWidget empty;
  QWidget& window = menus ? static_cast<QWidget&>(with_menus) : empty;
  if (menus) {
    with_menus.menuBar()->addMenu("Archivo")->addAction("Nuevo");
    with_menus.menuBar()->addMenu("Comunicaciones")->addAction("Buscar Equipos");
    with_menus.setCentralWidget(new QWidget);
  }
  window.setWindowTitle("empty_window");
  window.resize(QString(argv[1]).toInt(), QString(argv[2]).toInt());
  window.show();
  return application.exec();
}
