#include "console/ConsoleDialogs.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace kelta {

void MessageBoxDialogs::ShowMessage(const QString& text) {
  QMessageBox::information(owner_, QCoreApplication::applicationName(), text);
}

bool MessageBoxDialogs::AskYesNo(const QString& text) {
  return QMessageBox::question(owner_, QCoreApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kelta
