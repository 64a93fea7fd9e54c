#include "console/qt/LabeledEdit.h"

#include <QLabel>

namespace kelta {

namespace {
constexpr int kEditHeight = 21;
constexpr int kLabelSpacing = 3;
}  // namespace

LabeledEdit::LabeledEdit(QWidget* parent, const QString& name, const QString& caption, int left,
                         int top, int width)
    : QLineEdit(parent), label_(new QLabel(caption, parent)) {
  setObjectName(name);
  setGeometry(left, top, width, kEditHeight);
  label_->setObjectName(name + QStringLiteral(".EditLabel"));
  label_->adjustSize();
  label_->move(left, top - label_->height() - kLabelSpacing);
}

void LabeledEdit::setVisible(bool visible) {
  QLineEdit::setVisible(visible);
  label_->setVisible(visible);
}

}  // namespace kelta
