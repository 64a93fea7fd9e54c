#include "console/qt/WaitWithMessages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace kelta {

void WaitWithMessages(int ms) {
  WaitWithMessages(ms, [] { return false; });
}

bool WaitWithMessages(int ms, const std::function<bool()>& cancelled) {
  if (cancelled()) return false;
  QElapsedTimer clock;
  clock.start();
  // The deadline timer only exists to wake the dispatcher; one per wait, so nested waits
  // (a click handled inside this one) each keep their own deadline.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  QObject::connect(&wake, &QTimer::timeout, [] {});
  for (;;) {
    const qint64 now = clock.elapsed();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (cancelled()) return false;
    if (now > ms) return true;
    // A nested wait may have used up our time while the events above ran.
    const qint64 left = static_cast<qint64>(ms) + 1 - clock.elapsed();
    if (left <= 0) continue;
    wake.start(static_cast<int>(std::min<qint64>(left, INT_MAX)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake.stop();
    if (cancelled()) return false;
  }
}

}  // namespace kelta
