// The recorder's parts on their own: the JSON of a reading, the queue on disk, the command line.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "recorder/DiskQueue.h"
#include "recorder/ReadingJson.h"
#include "recorder/RecordOptions.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta::record {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

TEST(ReadingJson, OneValidObjectWhateverTheLineHolds) {
  SensorReading r;
  r.time = std::chrono::system_clock::time_point(1'796'652'531'250ms);
  r.sequence = 42;
  r.port = "COM5";
  r.id = 7;
  r.angle = -12.3;
  r.line = std::string("a\"b\\c\x02\x17\xE9", 8);
  EXPECT_EQ(ReadingJson(r),
            R"({"time":"2026-12-07T14:08:51.250Z","seq":42,"port":"COM5","id":7,"angle":-12.3,)"
            R"("line":"a\"b\\c\u0002\u0017\u00e9"})");
  r.mode = "2";
  r.negativeRange = "1800";
  r.positiveRange = "0";
  r.angle = std::numeric_limits<double>::quiet_NaN();
  const std::string json = ReadingJson(r);
  EXPECT_NE(json.find(R"("angle":null,)"), std::string::npos) << json;
  EXPECT_TRUE(json.ends_with(R"(,"mode":"2","nrange":"1800","prange":"0"})")) << json;
  // The shortest text that reads back as the same number.
  r.angle = 0.1 + 0.2;
  EXPECT_NE(ReadingJson(r).find(R"("angle":0.30000000000000004,)"), std::string::npos);
}

TEST(ReadingJson, TimeIsUtcWithMillisecondsBeforeAndAfter1970) {
  using std::chrono::system_clock;
  EXPECT_EQ(IsoUtcTime(system_clock::time_point{}), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoUtcTime(system_clock::time_point(-1ms)), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(IsoUtcTime(system_clock::time_point(951'782'400'007ms)), "2000-02-29T00:00:00.007Z");
}

std::vector<std::string> Drain(DiskQueue& queue) {
  std::vector<std::string> payloads;
  while (!queue.Empty()) {
    payloads.push_back(queue.Front().payload);
    queue.Pop();
  }
  return payloads;
}

TEST(DiskQueue, KeepsOrderAcrossARestartAndCutsATornEnd) {
  TempDir dir;
  const std::string folder = dir.File("q");
  {
    DiskQueue queue(folder, 100);
    for (int i = 1; i <= 5; ++i) queue.Push({"t/" + std::to_string(i), "m" + std::to_string(i)});
    EXPECT_EQ(queue.Front().topic, "t/1");
    queue.Pop();
    queue.Pop();
  }
  // Half a record at the end, as a power cut mid-write leaves it.
  test::WriteFile(folder + "/queue.dat",
                  test::ReadFile(folder + "/queue.dat") + std::string("\x09\x00\x00\x00xy", 6));
  DiskQueue queue(folder, 100);
  EXPECT_EQ(queue.Size(), 3u);
  queue.Push({"t/6", std::string("with\0zero", 9)});
  EXPECT_EQ(Drain(queue),
            (std::vector<std::string>{"m3", "m4", "m5", std::string("with\0zero", 9)}));
  EXPECT_EQ(queue.Dropped(), 0u);
  // Empty again, the file is empty too.
  EXPECT_EQ(test::ReadFile(folder + "/queue.dat"), "");
}

TEST(DiskQueue, DropsTheOldestOnlyAtTheBoundAndCountsIt) {
  TempDir dir;
  DiskQueue queue(dir.File("q"), 3);
  for (int i = 1; i <= 3; ++i) queue.Push({"t", std::to_string(i)});
  EXPECT_EQ(queue.Dropped(), 0u);
  queue.Push({"t", "4"});
  queue.Push({"t", "5"});
  EXPECT_EQ(queue.Dropped(), 2u);
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"3", "4", "5"}));
  // A smaller bound than an earlier run left: the oldest go, counted.
  {
    DiskQueue wide(dir.File("w"), 10);
    for (int i = 1; i <= 6; ++i) wide.Push({"t", std::to_string(i)});
  }
  DiskQueue narrow(dir.File("w"), 4);
  EXPECT_EQ(narrow.Dropped(), 2u);
  EXPECT_EQ(Drain(narrow), (std::vector<std::string>{"3", "4", "5", "6"}));

  // One dropped behind the front (those before it are out for sending): gone for good, also
  // for the next run.
  {
    DiskQueue middle(dir.File("m"), 10);
    for (int i = 1; i <= 5; ++i) middle.Push({"t", std::to_string(i)});
    middle.DropAt(2);
    middle.DropAt(0);
    EXPECT_EQ(middle.Dropped(), 2u);
    EXPECT_EQ(middle.At(1).payload, "4");
  }
  DiskQueue again(dir.File("m"), 10);
  EXPECT_EQ(Drain(again), (std::vector<std::string>{"2", "4", "5"}));
}

TEST(DiskQueue, AQueueEmptiedAsItFillsStaysSmallOnDisk) {
  TempDir dir;
  DiskQueue queue(dir.File("q"), 1000);
  const std::string payload(1000, 'x');
  uint64_t next = 0;
  // Always ten waiting, 5000 passing through (5 MB): compaction keeps the file short.
  for (int i = 0; i < 5000; ++i) {
    queue.Push({"t", std::to_string(i) + payload});
    if (queue.Size() > 10) {
      ASSERT_EQ(queue.Front().payload, std::to_string(next++) + payload);
      queue.Pop();
    }
  }
  struct stat info {};
  ASSERT_EQ(stat(dir.File("q/queue.dat").c_str(), &info), 0);
  EXPECT_LT(info.st_size, 3 << 20);
  DiskQueue again(dir.File("q2"), 1000);
  EXPECT_TRUE(again.Empty());
}

TEST(RecordOptions, ReadsEveryOptionAndRefusesBadOnesByName) {
  const RecordOptions o = ParseRecordOptions(
      {"COM5",    "--ids",       "1,2,7",      "--interval=500", "--reply-ms",
       "50",      "--csv",       "/tmp/x.csv", "--mqtt",         "broker.local:1884",
       "--topic", "plant/",      "--name",     "line3",          "--queue-dir",
       "/tmp/q",  "--queue-max", "10",         "--stdout",       "--exe-dir",
       "/opt/k"});
  EXPECT_EQ(o.port, "COM5");
  EXPECT_EQ(o.ids, (std::vector<int>{1, 2, 7}));
  EXPECT_EQ(o.intervalMs, 500);
  EXPECT_EQ(o.replyMs, 50);
  EXPECT_EQ(o.csvPath, "/tmp/x.csv");
  EXPECT_EQ(o.mqttHost, "broker.local");
  EXPECT_EQ(o.mqttPort, 1884);
  EXPECT_EQ(o.topic, "plant");
  EXPECT_EQ(o.name, "line3");
  EXPECT_EQ(o.queueMax, 10u);
  EXPECT_TRUE(o.stdoutJson);
  EXPECT_EQ(o.exeDir, "/opt/k/");
  EXPECT_EQ(ParseRecordOptions({"/dev/ttyUSB0", "--mqtt", "h"}).mqttPort, 1883);
  // A round that cannot fit its interval gets the time it needs.
  EXPECT_EQ(
      ParseRecordOptions({"COM1", "--stdout", "--ids", "1,2,3", "--interval", "100"}).intervalMs,
      600);
  EXPECT_TRUE(ParseRecordOptions({"--help"}).help);

  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"COM1", "--stdout", "--ids", "1,78"}, "--ids"},
      {{"COM1", "--stdout", "--ids", "2,2"}, "--ids"},
      {{"COM1", "--stdout", "--interval", "100"}, "--interval"},
      {{"COM1", "--mqtt", "h:0"}, "--mqtt"},
      {{"COM1", "--mqtt", ":1883"}, "--mqtt"},
      {{"COM1", "--stdout", "--topic", "a/#"}, "--topic"},
      {{"COM1", "--stdout", "--name", "a/b"}, "--name"},
      {{"COM1", "--stdout", "--queue-max", "0"}, "--queue-max"},
      {{"COM1", "--stdout", "--bogus"}, "--bogus"},
      {{"COM1", "COM2", "--stdout"}, "COM2"},
      {{"COM1", "--stdout=1"}, "--stdout"},
      {{"COM1"}, "output"},
      {{"--stdout"}, "port"},
  };
  for (const auto& [args, named] : bad) {
    try {
      ParseRecordOptions(args);
      ADD_FAILURE() << "accepted " << args.back();
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace kelta::record
