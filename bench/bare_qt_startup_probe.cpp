// The smallest Qt program that shows a window: one empty QWidget.
#include <QApplication>
#include <QWidget>

#include "startup_probe.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  tessaly::bench::FirstPaintProbe probe(window);
  window.show();
  return application.exec();
}
