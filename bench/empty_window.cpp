// empty_window WIDTH HEIGHT: an empty Qt window of that size and nothing
// else, the yardstick of bench/startup.sh.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) return 2;
  QWidget window;
  window.setWindowTitle("empty_window");
  window.resize(QString(argv[1]).toInt(), QString(argv[2]).toInt());
  window.show();
  return application.exec();
}
