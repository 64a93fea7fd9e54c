#include "console/qt/PortDescriptions.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace kelta {

namespace {

constexpr int kDescriptionRole = Qt::UserRole + 1;

QString RowText(const QString& name, const QString& description) {
  return description.isEmpty() ? name : name + QStringLiteral(" \u2014 ") + description;
}

// Rows draw their description beside the name; the item's own text (what the edit takes when
// the row is chosen) is untouched.
class PortItemDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text =
        RowText(index.data(Qt::DisplayRole).toString(), index.data(kDescriptionRole).toString());
  }
};

QString Canonical(const QString& path) {
  const QString real = QFileInfo(path).canonicalFilePath();
  return real.isEmpty() ? path : real;
}

}  // namespace

QString DescribeSerialDevice(const QString& devicePath) {
  if (devicePath.isEmpty()) return {};
  const QString device = Canonical(devicePath);
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    if (Canonical(info.systemLocation()) != device) continue;
    QStringList parts;
    if (!info.manufacturer().isEmpty()) parts << info.manufacturer();
    if (!info.description().isEmpty()) parts << info.description();
    if (!info.serialNumber().isEmpty()) parts << QStringLiteral("SN ") + info.serialNumber();
    // The by-id name stays the same whichever node the adapter gets.
    // A port linked by that name already shows it.
    const QString linkedAs = QFileInfo(devicePath).symLinkTarget();
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files))
      if (Canonical(link.filePath()) == device && link.filePath() != linkedAs)
        parts << link.filePath();
    if (!parts.isEmpty()) return parts.join(QStringLiteral(", "));
    break;
  }
  if (QFileInfo(device).fileName().startsWith(QStringLiteral("ttyS")))
    return QStringLiteral("built-in UART");
  return {};
}

void SetPortItems(QComboBox& combo, const QStringList& names, const QStringList& descriptions) {
  if (!dynamic_cast<PortItemDelegate*>(combo.itemDelegate()))
    combo.setItemDelegate(new PortItemDelegate(&combo));
  const QString typed = combo.currentText();
  combo.clear();
  for (qsizetype i = 0; i < names.size(); ++i) {
    combo.addItem(names[i]);
    if (i < descriptions.size()) combo.setItemData(int(i), descriptions[i], kDescriptionRole);
  }
  // Adding the first item would otherwise replace the typed text.
  combo.setEditText(typed);
  // The box is a name wide; its list is as wide as the longest description.
  combo.view()->setMinimumWidth(combo.view()->sizeHintForColumn(0));
}

QString PortRowText(const QComboBox& combo, int index) {
  return RowText(combo.itemText(index), combo.itemData(index, kDescriptionRole).toString());
}

}  // namespace kelta
