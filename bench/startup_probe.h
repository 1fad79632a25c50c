// Start-up probes: a program built around one top-level widget prints the
// CLOCK_MONOTONIC time (nanoseconds) at which that widget was first painted,
// then quits. The bench script compares it with the time it started the
// process.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace tessaly::bench {

class FirstPaintProbe final : public QObject {
 public:
  explicit FirstPaintProbe(QWidget& window) { window.installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !painted_) {
      painted_ = true;
      // Queued, so the time is taken once this paint has been carried out.
      QMetaObject::invokeMethod(
          this,
          [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("shown %lld\n",
                        static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
            std::fflush(stdout);
            QCoreApplication::quit();
          },
          Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool painted_ = false;
};

}  // namespace tessaly::bench
