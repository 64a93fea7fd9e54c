// The console while the sensor streams or the line floods: replies found among readings,
// readings cut by a stop, two frames in one write, and bytes that never end a line.

#include "tests/console/qt/SensorRig.h"

#include "apps/sim/SensorWire.h"
#include "console/qt/WaitWithMessages.h"
#include "protocol/RxDecoder.h"
#include "tests/support/ProcessStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace kelta::test {
namespace {

sim::SensorConfig Streaming(double angle, double framesPerSecond) {
  sim::SensorConfig c;
  c.fixedAngle = angle;
  c.framesPerSecond = framesPerSecond;
  return c;
}

// Readings on the window and in the list, from the moment of the call.
struct Readings {
  explicit Readings(TFVANTORIS& w) {
    w.Form().AngleReceived.Attach([this](double v) { values.push_back(v); });
  }
  std::vector<double> values;
};

TEST(ConsoleStream, CommandsAreAnsweredWhileTheSensorStreams) {
  SensorRig rig(Streaming(12.5, 100));
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  Click(w, "btREAD");
  ASSERT_TRUE(rig.sensor.Streaming());

  // The reply comes among readings that overwrite LastLine before the wait ends.
  rig.sensor.ClearReceived();
  Click(w, "btn10");
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  EXPECT_EQ(w.Form().LastLine.rfind("V:", 0), 0u);

  rig.sensor.ClearReceived();
  Type(w, "leRangeN", QStringLiteral("900"));
  Click(w, "Button25");
  EXPECT_EQ(rig.Received(), "#CALI14900\r\n#INFO\r\n");
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  EXPECT_EQ(Text(w, "lbeNRange"), QStringLiteral("900"));
  EXPECT_TRUE(rig.sensor.Streaming());

  // Closed without "#STOP": the sensor streams on, and the next console still connects.
  Click(w, "btClose");
  rig.console = std::make_unique<Console>(rig.dir.Path());
  rig.sensor.ClearReceived();
  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty());
  EXPECT_EQ(Text(rig.w(), "lbeNRange"), QStringLiteral("900"));
}

TEST(ConsoleStream, TheReplyIsTheLineThatHeldTheMarker) {
  // The sensor answers by hand: each reply and a reading right behind it, in one write.
  std::atomic<sim::SimulatedSensor*> sensor{nullptr};
  sim::SensorConfig config;
  config.silent = true;
  config.settings.version = "3.21";
  config.lineObserver = [&sensor](const std::string& line) {
    sim::SimulatedSensor* s = sensor.load();
    if (!s) return;
    const std::string reading = sim::DataFrame("12.5");
    if (line == "#INFO") s->WriteRaw(sim::InfoLine(s->Settings()) + reading);
    if (line.rfind("#CALI14", 0) == 0) s->WriteRaw("OK\r" + reading);
  };
  SensorRig rig(config);
  sensor = &rig.sensor;
  TFVANTORIS& w = rig.w();

  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
  EXPECT_EQ(Text(w, "lbeVersion"), QStringLiteral("3.21"));
  EXPECT_EQ(Text(w, "lbeNRange"), QStringLiteral("1800"));

  rig.sensor.ClearReceived();
  Type(w, "leRangeN", QStringLiteral("900"));
  Click(w, "Button25");
  EXPECT_EQ(rig.Received(), "#CALI14900\r\n#INFO\r\n");
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  const QStringList lines = MemoLines(w);
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines.back(), QStringLiteral("12.5"));
  EXPECT_EQ(lines[lines.size() - 2].left(7), QStringLiteral("V:3.21,"));
}

TEST(ConsoleStream, AStopNeverShowsTheTailOfACutReading) {
  // 50 frames a second at 9600 baud: the line is busy half the time, so the stop's clears
  // land inside a frame about every other time.
  sim::SensorConfig config = Streaming(123.4, 50);
  config.lineBaud = 9600;
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  w.Memo1->clear();
  Readings readings(w);

  for (int round = 0; round < 3; ++round) {
    Click(w, "btREAD");
    Click(w, "btStop");
  }
  EXPECT_FALSE(rig.sensor.Streaming());
  ASSERT_FALSE(readings.values.empty());
  for (double v : readings.values) EXPECT_DOUBLE_EQ(v, 123.4);
  for (const QString& line : MemoLines(w)) EXPECT_EQ(line, QStringLiteral("123.4"));
}

TEST(ConsoleStream, TwoFramesInOneWriteAreBothShown) {
  sim::SensorConfig config = Streaming(12.5, 20);
  config.garbage = sim::DataFrame("7.5");  // a whole frame ahead of each one, same write
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  w.Memo1->clear();
  rig.sensor.ClearReceived();
  Readings readings(w);

  Type(w, "eCount", QStringLiteral("2"));
  Type(w, "eInterval", QStringLiteral("200"));
  Click(w, "btDATA");
  EXPECT_EQ(rig.Received(), Times(2, "#DATA\r\n"));
  EXPECT_EQ(readings.values, std::vector<double>({7.5, 12.5, 7.5, 12.5}));
  EXPECT_EQ(MemoLines(w), QStringList({QStringLiteral("7.5"), QStringLiteral("12.5"),
                                       QStringLiteral("7.5"), QStringLiteral("12.5")}));
}

TEST(ConsoleStream, ALongLineIsShownCutWithAMark) {
  TempDir dir;
  Console c(dir.Path());
  const int limit = ConsoleForm::kMemoLineChars;
  c->Form().DeliverLine(std::string(static_cast<size_t>(limit), 'a'));
  c->Form().DeliverLine(std::string(static_cast<size_t>(limit) + 1, 'b'));
  c->Form().DeliverLine(std::string(static_cast<size_t>(limit) + 9000, 'c'));
  WaitWithMessages(2 * FramePacer::kFrame.count());  // lines after the first wait for a frame
  EXPECT_EQ(
      MemoLines(*c),
      QStringList({QString(limit, QLatin1Char('a')),
                   QString(limit, QLatin1Char('b')) + QStringLiteral(" \u2026 (+1 bytes)"),
                   QString(limit, QLatin1Char('c')) + QStringLiteral(" \u2026 (+9000 bytes)")}));
  EXPECT_EQ(c->Form().LastLine, std::string(static_cast<size_t>(limit) + 9000, 'c'));
}

double CpuSeconds() { return std::chrono::duration<double>(ProcessCpuTime()).count(); }

TEST(ConsoleStream, ALineThatNeverEndsIsShownCutAndMemoryStaysBounded) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  w.Memo1->clear();

  // 100 MB without CR or "$", as from a device at the wrong speed.
  constexpr uint64_t kTotal = 100ull << 20;
  const long before = ResidentKiB();
  std::atomic<long> peak{before};
  std::atomic<uint64_t> written{0};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    const std::string piece(64 << 10, 'U');
    while (written < kTotal && rig.sensor.WriteRaw(piece)) {
      written += piece.size();
      const long now = ResidentKiB();
      if (now > peak) peak = now;
    }
    done = true;
  });

  // Halfway, the operator clicks "Clear": the click is handled while the bytes still come.
  bool clickedDuringFlood = false;
  bool cleared = false;
  QElapsedTimer clickTimer;
  qint64 clickLatencyMs = -1;
  QObject::connect(w.btClear, &QPushButton::clicked, [&] {
    cleared = true;
    clickedDuringFlood = !done;
    clickLatencyMs = clickTimer.elapsed();
  });
  bool posted = false;
  QElapsedTimer flood;
  flood.start();
  const double cpuAtStart = CpuSeconds();
  while (!done && flood.elapsed() < 180000) {
    WaitWithMessages(5);
    if (!posted && written >= kTotal / 2) {
      posted = true;
      clickTimer.start();
      const QPointF at(w.btClear->rect().center());
      QCoreApplication::postEvent(
          w.btClear, new QMouseEvent(QEvent::MouseButtonPress, at, w.btClear->mapToGlobal(at),
                                     Qt::LeftButton, Qt::LeftButton, {}));
      QCoreApplication::postEvent(
          w.btClear, new QMouseEvent(QEvent::MouseButtonRelease, at, w.btClear->mapToGlobal(at),
                                     Qt::LeftButton, Qt::NoButton, {}));
    }
  }
  const double floodSeconds = static_cast<double>(flood.elapsed()) / 1000.0;
  const double floodCpu = CpuSeconds() - cpuAtStart;
  rig.sensor.Stop();  // ends a write still blocked on a full line
  writer.join();
  std::printf(
      "flood: %.1f MB in %.1f s, CPU %.1f s; peak growth %ld KiB (RSS %ld KiB); click "
      "handled after %lld ms\n",
      static_cast<double>(written.load()) / (1 << 20), floodSeconds, floodCpu, peak - before,
      peak.load(), static_cast<long long>(clickLatencyMs));
  // A list that kept every byte grew by about 105 MB here; a bounded one by about 2 MB.
  // AddressSanitizer keeps freed blocks resident in its quarantine (256 MB by default), so
  // the bound holds only without it.
#ifndef __SANITIZE_ADDRESS__
  EXPECT_LT(peak - before, 50 * 1024) << "KiB grown";
#endif
  EXPECT_TRUE(cleared);
  EXPECT_TRUE(clickedDuringFlood);
  ASSERT_EQ(written.load(), kTotal) << "the console did not read it all";
  WaitWithMessages(300);  // the last bytes

  // Every line in the list is cut and says so; LastLine keeps the whole line.
  const QStringList lines = MemoLines(w);
  ASSERT_FALSE(lines.isEmpty());
  for (const QString& line : lines) {
    EXPECT_LE(line.size(), ConsoleForm::kMemoLineChars + 40);
    EXPECT_TRUE(line.endsWith(QStringLiteral(" bytes)"))) << line.right(40).toStdString();
  }
  EXPECT_TRUE(lines.front().startsWith(QString(ConsoleForm::kMemoLineChars, QLatin1Char('U')) +
                                       QStringLiteral(" \u2026 (")));
  EXPECT_EQ(w.Form().LastLine, std::string(RxDecoder::kRxBufferCap, 'U'));

  // Once the bytes stop the console idles: the share of one processor over one second of
  // its ordinary event loop, for the record only.
  const double idleStart = CpuSeconds();
  QEventLoop idle;
  QTimer::singleShot(1000, &idle, &QEventLoop::quit);
  idle.exec();
  const double idleCpu = CpuSeconds() - idleStart;
  std::printf("idle CPU after the flood: %.1f %% of one processor\n", idleCpu * 100.0);
}

}  // namespace
}  // namespace kelta::test
