// GoogleTest main with a QCoreApplication, so that events of the serial
// worker and of the sockets run on this (the UI) thread.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
