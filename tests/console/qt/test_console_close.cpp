// Closing the console while a counted action is under way, against a simulated sensor.

#include "tests/console/qt/SensorRig.h"

#include "console/core/PortList.h"
#include "console/qt/WaitWithMessages.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <iostream>

namespace kelta::test {
namespace {

// The title bar's close during a counted reading or an ID measurement of 100 passes: the
// action ends at once instead of sending on from a hidden window, the port is closed and free
// for the next program, the settings are saved once, and the program's event loop ends.
TEST(ConsoleClose, TitleBarCloseDuringACountedActionEndsItAndFreesThePort) {
  struct Case {
    const char* button;
    std::string sent;  // what one attempt sends
  };
  const Case cases[] = {{"btDATA", "#DATA\r\n"}, {"btB105", std::string("\xB1\x05", 2)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    sim::SensorConfig config;
    config.fixedAngle = 3.0;
    SensorRig rig(config);
    TFVANTORIS& w = rig.w();
    ASSERT_TRUE(rig.Connect());
    rig.sensor.ClearReceived();
    Type(w, "eCount", QStringLiteral("100"));
    Type(w, "eInterval", QStringLiteral("200"));
    Type(w, "Edit1", QStringLiteral("1"));
    WriteCounter writes(rig.dir.Path(), "UserSet.dat");

    // As the program runs it: the click comes from the event loop, the close from inside
    // one of the action's waits, and the loop ends with the window.
    QEventLoop loop;
    int closed = 0;
    QObject::connect(&w, &TFVANTORIS::Closed, &loop, [&] {
      ++closed;
      loop.quit();
    });
    auto* button = w.findChild<QAbstractButton*>(QString::fromLatin1(c.button));
    ASSERT_NE(button, nullptr);
    QTimer::singleShot(0, button, &QAbstractButton::click);
    QTimer::singleShot(700, &w, [&w] { w.close(); });
    QElapsedTimer clock;
    clock.start();
    loop.exec();
    std::cout << c.button << ": event loop ended " << clock.elapsed() << " ms after the click\n";

    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Form().Connected, 0);
    EXPECT_EQ(w.StatusText(0), QStringLiteral("Close Com"));
    PortRoots roots;
    roots.exeDir = rig.dir.Path();
    EXPECT_TRUE(CanOpenPort("COM" + std::to_string(rig.com), roots)) << "the port is still held";
    // Each attempt waits at least 210 ms, so 700 ms hold a few sends at most, never 100.
    WaitWithMessages(300);
    const int sent = CountOf(rig.Received(), c.sent);
    EXPECT_GE(sent, 1);
    EXPECT_LE(sent, 4);
    EXPECT_EQ(writes.Count(), 1);
    EXPECT_EQ(ReadFile(rig.dir.File("UserSet.dat")).substr(7, 4),
              "\x03"
              "100");
  }
}

}  // namespace
}  // namespace kelta::test
