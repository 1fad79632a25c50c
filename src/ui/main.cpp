#include <QApplication>

#include "ui/main_window.h"
#include "site/site_jobs.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Closing the window stops every job and joins its thread, so no job
  // outlives the window, let alone main.
  tessaly::MainWindow window(tessaly::site::SiteJobRoutines(tessaly::Text(TESSALY_SITE_URL)));
  window.show();
  return application.exec();
}
