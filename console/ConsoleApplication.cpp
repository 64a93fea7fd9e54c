#include "console/ConsoleApplication.h"

#include "console/core/ConsoleErrors.h"

#include <QDebug>

#include <stdexcept>

namespace kelta {

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const EAbort&) {
    // The silent abort is never reported, wherever it is caught.
  } catch (const std::exception& e) {
    if (hook_)
      hook_(e);
    else
      qWarning().noquote() << e.what();
  } catch (...) {
    if (hook_)
      hook_(std::runtime_error("Unknown exception"));
    else
      qWarning("Unknown exception");
  }
  return false;
}

std::string ConsoleApplication::ExecutableFolder(const std::function<std::string()>& exeDirReader) {
  try {
    return exeDirReader();
  } catch (const std::exception& e) {
    qWarning().noquote() << e.what() << "- using the application folder instead";
  }
  if (QCoreApplication::instance() == nullptr) return {};
  const QString dir = QCoreApplication::applicationDirPath();
  if (dir.isEmpty()) return {};
  return dir.endsWith(QLatin1Char('/')) ? dir.toStdString() : dir.toStdString() + '/';
}

}  // namespace kelta
