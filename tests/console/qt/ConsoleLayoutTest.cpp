// The Qt window against the layout table both windows are built from: every row is a widget
// of that name, on that parent, at that place and size, with that caption, font and visibility.

#include "tests/console/qt/ConsoleRig.h"

#include "console/form/FormLayout.h"
#include "console/qt/ClickablePanel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace kelta::test {
namespace {

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A caption as the table gives it: a button's or label's text, a group box's title, an
// edit's or the combo box's starting text.
QString Caption(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

TEST(ConsoleLayout, EveryRowOfTheTableIsAWidgetOfTheQtWindowAsTheRowSays) {
  TempDir dir;
  Console c(dir.Path());
  TFVANTORIS& w = *c;
  EXPECT_EQ(w.windowTitle(), Utf8(kFormTitle));
  EXPECT_EQ(w.size(), QSize(kFormWidth, kFormHeight));
  for (const ControlLayout& row : FormLayout()) {
    SCOPED_TRACE(std::string(row.name));
    auto* widget = w.findChild<QWidget*>(Utf8(row.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(),
              row.parent.empty() ? w.objectName() : Utf8(row.parent));
    EXPECT_EQ(widget->geometry(), QRect(row.left, row.top, row.width, row.height));
    EXPECT_EQ(widget->isHidden(), row.hidden);
    const int pixels = row.fontPixels != 0 ? row.fontPixels : kFormFontPixels;
    EXPECT_EQ(widget->font().pixelSize(), pixels);
    EXPECT_EQ(widget->font().bold(), row.bold);
    // The settings file fills these at the start, and the record label names the folder.
    if (row.name != "eInterval" && row.name != "ePortNo" && row.name != "eCount" &&
        row.name != "eID" && row.name != "lRecord") {
      EXPECT_EQ(Caption(widget), Utf8(row.caption));
    }
    if (row.kind == ControlKind::ToggleButton) {
      auto* button = qobject_cast<QAbstractButton*>(widget);
      ASSERT_NE(button, nullptr);
      EXPECT_TRUE(button->isCheckable());
    }
    if (row.rightAligned) {
      auto* label = qobject_cast<QLabel*>(widget);
      ASSERT_NE(label, nullptr);
      EXPECT_TRUE(label->alignment() & Qt::AlignRight);
    }
  }
}

TEST(ConsoleLayout, EveryRowWithAClickHandlerIsAWidgetWhoseClickTheWindowTakes) {
  TempDir dir;
  Console c(dir.Path());
  TFVANTORIS& w = *c;
  int bound = 0;
  for (const ControlLayout& row : FormLayout()) {
    SCOPED_TRACE(std::string(row.name));
    QWidget* widget = w.findChild<QWidget*>(Utf8(row.name));
    ASSERT_NE(widget, nullptr);
    // Disconnecting tells whether the window listened to the click; the window is thrown
    // away afterwards.
    bool listened = false;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      listened = QObject::disconnect(button, &QAbstractButton::clicked, &w, nullptr);
    } else if (auto* panel = qobject_cast<ClickablePanel*>(widget)) {
      listened = QObject::disconnect(panel, &ClickablePanel::clicked, &w, nullptr);
    }
    EXPECT_EQ(listened, row.click != nullptr);
    bound += row.click != nullptr ? 1 : 0;
  }
  EXPECT_EQ(bound, 20);
}

}  // namespace
}  // namespace kelta::test
