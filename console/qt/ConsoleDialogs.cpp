#include "console/qt/ConsoleDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kelta {

QString ConsoleDialogs::ChooseFolder(QWidget* owner, const QString& start) {
  // A folder not made yet (the default before the first recording) opens at its parent.
  QString from = start;
  while (!from.isEmpty() && !QDir(from).exists()) {
    const QString up = QFileInfo(from).path();
    if (up == from) break;
    from = up;
  }
  return QDir::toNativeSeparators(
      QFileDialog::getExistingDirectory(owner, QStringLiteral("Folder for recordings"), from));
}

void MessageBoxDialogs::ShowMessage(const QString& text) {
  QMessageBox::information(owner_, QCoreApplication::applicationName(), text);
}

bool MessageBoxDialogs::AskYesNo(const QString& text) {
  return QMessageBox::question(owner_, QCoreApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kelta
