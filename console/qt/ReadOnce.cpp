#include "console/qt/ReadOnce.h"

#include "console/qt/ClickablePanel.h"
#include "console/qt/UKELTA_Display.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace kelta {

std::optional<QString> ReadOncePort(const QStringList& args) {
  if (args.isEmpty()) return std::nullopt;
  if (args.front() != QStringLiteral("--read-once"))
    throw std::invalid_argument("unknown argument " + args.front().toStdString());
  if (args.size() < 2 || args[1].isEmpty())
    throw std::invalid_argument("--read-once needs a port (COM<N>)");
  if (args.size() > 2) throw std::invalid_argument("unknown argument " + args[2].toStdString());
  return args[1];
}

namespace {

void Fail(const char* why) {
  std::fprintf(stderr, "KELTA_Dispaly --read-once: %s\n", why);
  // Every loop ends, a box's own included.
  QCoreApplication::exit(1);
}

}  // namespace

void StartReadOnce(TFVANTORIS& window, const QString& port, int timeoutMs) {
  // The form keeps its handlers for its whole life: they share this state, not the stack's.
  auto done = std::make_shared<bool>(false);
  QTimer::singleShot(timeoutMs, &window, [done] {
    if (*done) return;
    *done = true;
    Fail("no angle arrived");
  });
  window.Form().AngleReceived.Attach([&window, done](double value) {
    if (*done) return;
    *done = true;
    std::printf("angle %g\n", value);
    std::fflush(stdout);
    // Later: this runs inside the port's receive handler.
    QTimer::singleShot(0, &window, [&window] {
      window.btStop->click();
      window.close();
    });
  });
  QTimer::singleShot(0, &window, [&window, port, done] {
    window.ePortNo->setEditText(port);
    window.Button3->click();
    if (*done) return;
    if (!window.Panel1->isVisible()) {
      *done = true;
      Fail("Connect did not connect");
      return;
    }
    window.btREAD->click();
  });
}

}  // namespace kelta
