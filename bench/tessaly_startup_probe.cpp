// Tessaly's main() with the site address given on the command line and a
// probe that reports when the window has first been painted.
#include <QApplication>

#include "site/site_jobs.h"
#include "startup_probe.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  QApplication application(argc, argv);
  tessaly::MainWindow window(tessaly::site::SiteJobRoutines(tessaly::Text(argv[1])));
  tessaly::bench::FirstPaintProbe probe(window);
  window.show();
  return application.exec();
}
