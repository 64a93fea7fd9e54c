// The angle display: the "Clear" button; the dial and the readout attach here.

#include "console/UKELTA_Display.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace kelta {

void TFVANTORIS::btClearClick()
{
    Memo1->clear();
    lCount->setText(QStringLiteral("1"));
}

} // namespace kelta
