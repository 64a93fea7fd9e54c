// The recording's controls in the free band at the top left of the console panel: the health
// line moves up to make room for the "Record" toggle, the folder chooser and the label that
// names the file being written. The form decides what they do (console/form/Recording.cpp).

#include "console/UKELTA_Display.h"

#include "console/ClickablePanel.h"

#include <QLabel>
#include <QPushButton>

namespace kelta {

void TFVANTORIS::BuildRecordControls() {
  lHealth->setGeometry(16, 3, 420, 15);

  btRecord = new QPushButton(QStringLiteral("Record"), Panel1);
  btRecord->setObjectName(QStringLiteral("btRecord"));
  btRecord->setGeometry(16, 20, 64, 24);
  // Pressed in while a file is being written; the form sets the state it ends in.
  btRecord->setCheckable(true);

  btFolder = new QPushButton(QStringLiteral("Folder\u2026"), Panel1);
  btFolder->setObjectName(QStringLiteral("btFolder"));
  btFolder->setGeometry(84, 20, 64, 24);

  // (152, 20) is the trend's button.
  lRecord = new QLabel(Panel1);
  lRecord->setObjectName(QStringLiteral("lRecord"));
  lRecord->setGeometry(222, 24, 218, 17);
}

}  // namespace kelta
