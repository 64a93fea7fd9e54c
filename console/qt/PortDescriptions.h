#pragma once
// What a serial device is, as Qt's port information tells it, and the drop-down rows that show
// it beside the port's "COMn".

#include <QString>
#include <QStyledItemDelegate>

class QComboBox;

namespace kelta {

// For the device at devicePath (a link is followed): a USB adapter's manufacturer, product and
// serial number and its "/dev/serial/by-id/" name, or "built-in UART" for an on-board ttyS port.
// Empty when Qt does not know the device (a pseudo-terminal).
QString DescribeSerialDevice(const QString& devicePath);

// Fills an editable combo box with names, each row showing "name — description" when its
// description is not empty; the rows' text stays the bare name, so choosing one puts only the
// name in the edit. The typed text stays as it is.
void SetPortItems(QComboBox& combo, const QStringList& names, const QStringList& descriptions);

// What row index of such a combo box shows: "COM5 — /dev/pts/3", or the bare name.
QString PortRowText(const QComboBox& combo, int index);

}  // namespace kelta
