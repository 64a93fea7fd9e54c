// The form cases that stay on Linux: two change the running sensor (its settings, its rate, raw
// bytes on the line), which only the sensor in the test's own process offers; one needs Linux's
// device permissions and groups.

#include "tests/console/form/RecordingWindow.h"

#include "apps/sim/PortLink.h"
#include "console/form/PortAccess.h"
#include "serial/VaComm.h"
#include "tests/support/Files.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace kelta::test {
namespace {

using F = FormControl;

TEST(ConsoleForm, TheAngleDisplayGetsTheDialTheInformationChoseAndEveryValueWithTheMode) {
  sim::SensorConfig config = Steady(-4.5);
  config.settings.mode = "1";
  config.settings.positiveRange = 3600;
  FormRig rig(config);
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(w.angles.loads, std::vector<std::string>{"img/Mode0.png"});
  rig.Click(&ConsoleForm::btDATAClick);
  ASSERT_EQ(w.angles.shown.size(), 1u);
  EXPECT_EQ(w.angles.shown[0], std::make_pair(-4.5, std::string("1")));

  // A half range in mode 2 chooses another dial; a picture that fails ends the information
  // there (reported, logged), the fields after the mode keep their texts.
  rig.sensor.Simulated().Update([](sim::SensorConfig& c) {
    c.settings.mode = "2";
    c.settings.positiveRange = 1800;
    c.settings.mvGain = "2222";
  });
  w.angles.failLoads = true;
  rig.Click(&ConsoleForm::btn10Click);
  EXPECT_EQ(w.angles.loads.back(), "img/Mode3.png");
  EXPECT_EQ(w.status[0].rfind("Cannot open \"img/Mode3.png\" - ", 0), 0u);
  EXPECT_EQ(w.Text(F::lbeMode), "2");
  EXPECT_EQ(w.Text(F::lbeMVGain), "1000");

  // Clear: list, needle and readout, counter; nothing is sent.
  rig.sensor.ClearReceived();
  w.SetText(F::lCount, "4");
  rig.Click(&ConsoleForm::btClearClick);
  EXPECT_TRUE(w.memo.empty());
  EXPECT_EQ(w.angles.shown.back(), std::make_pair(0.0, std::string()));
  EXPECT_EQ(w.Text(F::lCount), "1");
  EXPECT_EQ(rig.Received(), "");
}

// The health line: readings and frames dropped since Connect; a stream that
// pauses marks the line and the readout stale, and the next reading takes the mark away.
TEST(ConsoleForm, TheHealthLineCountsAndMarksAPausedStreamStale) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(w.Text(F::lHealth), "0.0 readings/s, no reading yet, 0 dropped");
  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.size() >= 10; }));
  // The failed frame's text leads the next frame ("9.912.5"), which is then no number: two.
  ASSERT_TRUE(rig.sensor.Simulated().WriteRaw("9.9\x17\x17$"));
  ASSERT_TRUE(w.PumpUntil([&w] { return w.Text(F::lHealth).ends_with(", 2 dropped"); }))
      << w.Text(F::lHealth);
  EXPECT_TRUE(std::regex_match(w.Text(F::lHealth),
                               std::regex(R"(\d+\.\d readings/s, last 0\.\d s ago, 2 dropped)")))
      << w.Text(F::lHealth);
  EXPECT_FALSE(w.angles.stale);

  // The sensor goes quiet (its next frame a hundred seconds away) while #READ is on.
  rig.sensor.Simulated().Update([](sim::SensorConfig& c) { c.framesPerSecond = 0.01; });
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.stale; }));
  EXPECT_TRUE(w.Text(F::lHealth).ends_with(", stale")) << w.Text(F::lHealth);
  EXPECT_TRUE(w.angles.live);

  ASSERT_TRUE(rig.sensor.Simulated().WriteRaw("12.5AB$"));
  ASSERT_TRUE(w.PumpUntil([&w] { return !w.angles.stale; }));
  EXPECT_FALSE(w.Text(F::lHealth).ends_with(", stale")) << w.Text(F::lHealth);

  // A new Connect counts from zero.
  rig.Click(&ConsoleForm::btStopClick);
  rig.form->VaComm1().Close();
  ASSERT_TRUE(rig.Connect());
  EXPECT_TRUE(w.Text(F::lHealth).ends_with(", 0 dropped")) << w.Text(F::lHealth);
}

// A device the user may not open but its group may: the box says which group to join and how,
// besides the port's own message (also in the status bar). As root every file opens, so there
// the advice is checked for a file whose group is known.
TEST(ConsoleForm, APortWithoutPermissionSaysWhichGroupToJoin) {
  FormRig rig;
  RecordingWindow& w = rig.window;
  const std::string device = rig.dir.File("ttyLocked");
  WriteFile(device, "");
  ASSERT_EQ(chmod(device.c_str(), 060), 0);  // the owner shut out, its group let in
  const group* own = getgrgid(getegid());
  ASSERT_NE(own, nullptr);
  const std::string groupName = own->gr_name;
  EXPECT_EQ(PortDeviceGroup(device), groupName);
  EXPECT_EQ(PortDeviceGroup(rig.dir.File("missing")), "");
  const std::string advice = PortAccessAdvice("dialout");
  EXPECT_NE(advice.find("\"dialout\""), std::string::npos);
  EXPECT_NE(advice.find("sudo usermod -aG dialout $USER"), std::string::npos);
  EXPECT_NE(advice.find("log out and in again"), std::string::npos);
  EXPECT_EQ(PortAccessAdvice("").find("usermod"), std::string::npos);
  EXPECT_EQ(PortAccessHint(rig.dir.File("missing")), "");
  EXPECT_TRUE(PortDevicePresent(device));
  EXPECT_FALSE(PortDevicePresent(rig.dir.File("missing")));

  sim::PortLink link(rig.dir.Path(), 9, device, false);
  w.SetText(F::ePortNo, "COM9");
  rig.Click(&ConsoleForm::Button3Click);
  EXPECT_EQ(rig.form->Connected, 0);
  if (geteuid() == 0) {
    EXPECT_EQ(PortAccessHint(device), "");  // root may open it: no advice
    GTEST_SKIP() << "root opens every device; the box's hint is checked as another user";
  }
  ASSERT_EQ(w.messages.size(), 1u);
  EXPECT_EQ(w.messages[0].rfind("Can't open specified device \\\\.\\COM9 (Error 13, ", 0), 0u)
      << w.messages[0];
  EXPECT_NE(w.messages[0].find("\n\n" + PortAccessAdvice(groupName)), std::string::npos);
  EXPECT_EQ(w.status[0].rfind("Can't open specified device", 0), 0u);
}

// A device only its owner may read and write (root's /dev/ttyS0, root:root 0600): joining its
// group gives nothing, so the advice names no group to join and says what helps instead.
TEST(ConsoleForm, ADeviceItsGroupMayNotUseNamesNoGroupToJoin) {
  const std::string advice = PortAccessAdvice(PortDeviceAccess{0600, "root", "root"});
  EXPECT_EQ(advice.find("usermod"), std::string::npos) << advice;
  EXPECT_NE(advice.find("no group membership gives it"), std::string::npos) << advice;
  EXPECT_NE(advice.find("only \"root\" may read and write the device (permissions 600)"),
            std::string::npos)
      << advice;
  EXPECT_NE(advice.find("udev rule that gives the device a group"), std::string::npos) << advice;
  // Reading alone is no use either; a group that may read and write keeps the group's advice.
  EXPECT_EQ(PortAccessAdvice(PortDeviceAccess{0640, "root", "dialout"}).find("usermod"),
            std::string::npos);
  EXPECT_EQ(PortAccessAdvice(PortDeviceAccess{020660, "root", "dialout"}),
            PortAccessAdvice("dialout"));

  // What the system reports for such a device: its permissions, owner and group.
  TempDir dir;
  const std::string device = dir.File("ttyOwn");
  WriteFile(device, "");
  ASSERT_EQ(chmod(device.c_str(), 0600), 0);
  const std::optional<PortDeviceAccess> access = PortDeviceAccessOf(device);
  ASSERT_TRUE(access.has_value());
  EXPECT_EQ(access->mode, 0600u);
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(access->owner, user->pw_name);
  EXPECT_EQ(access->group, PortDeviceGroup(device));
  EXPECT_FALSE(PortDeviceAccessOf(dir.File("missing")).has_value());
}

}  // namespace
}  // namespace kelta::test
