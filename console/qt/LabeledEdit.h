#pragma once

#include <QLineEdit>

class QLabel;

namespace kelta {

// An edit with its caption label placed above it (3 pixels apart), shown and hidden together.
// The label is a sibling named "<edit name>.EditLabel" so that tests can find it.
class LabeledEdit : public QLineEdit {
  Q_OBJECT
 public:
  LabeledEdit(QWidget* parent, const QString& name, const QString& caption, int left, int top,
              int width);
  QLabel* EditLabel() const { return label_; }
  void setVisible(bool visible) override;

 private:
  QLabel* label_;
};

}  // namespace kelta
