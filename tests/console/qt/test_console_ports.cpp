// The port drop-down tells the ports apart: beside each "COMn" where its link leads, while the
// edit and Connect keep working with the bare name.

#include "tests/console/qt/SensorRig.h"

#include "console/qt/PortDescriptions.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace kelta::test {
namespace {

TEST(ConsolePorts, LinkedPortsShowTheirTargetsAndTheChosenRowLeavesTheBareName) {
  SensorRig rig;  // ports/com7 -> the simulator's pseudo-terminal, as the run script links it
  // A link made by hand through a stable name, as an adapter's by-id name is used.
  PtyPair other;
  namespace fs = std::filesystem;
  const std::string stable = rig.dir.Path() + "by-id/usb-Kelta_Adapter_A1-if00-port0";
  fs::create_directory(rig.dir.Path() + "by-id");
  fs::create_symlink(other.SlavePath(), stable);
  fs::create_symlink(stable, rig.dir.Path() + "ports/com9");
  // The list is filled when the window starts.
  rig.console.reset();
  rig.console = std::make_unique<Console>(rig.dir.Path());

  QComboBox& combo = *rig.w().ePortNo;
  const int com7 = combo.findText(QStringLiteral("COM7"));
  const int com9 = combo.findText(QStringLiteral("COM9"));
  ASSERT_GE(com7, 0);
  ASSERT_GE(com9, 0);
  EXPECT_EQ(PortRowText(combo, com7),
            QStringLiteral("COM7 \u2014 ") + QString::fromStdString(rig.sensor.SlavePath()));
  EXPECT_EQ(PortRowText(combo, com9),
            QStringLiteral("COM9 \u2014 ") + QString::fromStdString(stable));
  // The typed (saved) name is untouched by filling the list.
  EXPECT_EQ(Text(rig.w(), "ePortNo"), QStringLiteral("COM1"));

  // Choosing a row from the open list, as the operator does.
  combo.showPopup();
  QAbstractItemView& list = *combo.view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list.window()));
  // The list is wide enough for the descriptions, not just the box's width.
  EXPECT_GT(list.width(), combo.width());
  const QRect row = list.visualRect(list.model()->index(com7, 0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !list.isVisible(); }));
  EXPECT_EQ(Text(rig.w(), "ePortNo"), QStringLiteral("COM7"));

  // Connect reads the bare name from the edit and reaches the sensor behind the link.
  Click(rig.w(), "Button3");
  EXPECT_TRUE(rig.w().Panel1->isVisible());
  EXPECT_NE(rig.Received().find("#INFO"), std::string::npos);
}

}  // namespace
}  // namespace kelta::test
