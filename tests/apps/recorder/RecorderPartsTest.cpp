// The recorder's parts on their own: the JSON of a reading, the queue on disk (damaged, full,
// killed mid-compaction), the command line.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "apps/recorder/CsvRecording.h"
#include "apps/recorder/DiskQueue.h"
#include "apps/recorder/MqttPublisher.h"
#include "apps/recorder/ReadingJson.h"
#include "apps/recorder/RecordOptions.h"
#include "apps/recorder/RecorderStatus.h"
#include "tests/support/Fifo.h"
#include "tests/support/FileSizeLimit.h"
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
  // The recorder's id, when there is one, right after the number it goes with.
  r.recorder = "0123456789abcdef0123456789abcdef";
  EXPECT_NE(ReadingJson(r).find(R"("seq":42,"recorder":"0123456789abcdef0123456789abcdef",)"),
            std::string::npos);
  r.recorder.clear();
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
                  test::ReadFile(folder + "/queue.dat") +
                      std::string("\xF5KQRLIVE\x03\x00\x00\x00\x09\x00", 14));
  DiskQueue queue(folder, 100);
  EXPECT_EQ(queue.Size(), 3u);
  queue.Push({"t/6", std::string("with\0zero", 9)});
  EXPECT_EQ(Drain(queue),
            (std::vector<std::string>{"m3", "m4", "m5", std::string("with\0zero", 9)}));
  EXPECT_EQ(queue.Dropped(), 0u);
  EXPECT_EQ(queue.Damaged(), 0u);
  // Empty again, the file holds its header only.
  EXPECT_EQ(test::ReadFile(folder + "/queue.dat").size(), 8u);
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

// What the queue had to say since the last look, a line each.
std::string Notes(DiskQueue& queue) {
  std::string all;
  for (const std::string& line : queue.TakeNotes()) all += line + "\n";
  return all;
}

// The child killed inside compaction: at which point, and while acknowledging which message.
const char* crashAt = nullptr;
int crashReport = -1;
int acknowledging = -1;

TEST(DiskQueue, ACrashWhileCompactingSendsNothingAcknowledgedAgain) {
  for (const char* point : {"new file written", "renamed"}) {
    SCOPED_TRACE(point);
    TempDir dir;
    const std::string folder = dir.File("q");
    const std::string payload(1000, 'x');
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    crashAt = point;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(report[0]);
      crashReport = report[1];
      DiskQueue::crashPointForTests = [](const char* at) {
        if (std::strcmp(at, crashAt) != 0) return;
        [[maybe_unused]] const ssize_t n = write(crashReport, &acknowledging, sizeof acknowledging);
        raise(SIGKILL);
      };
      DiskQueue queue(folder, 10000);
      for (int i = 0; i < 2000; ++i) queue.Push({"t", std::to_string(i) + payload});
      // 2 MB: the consumed part is compacted away about halfway.
      for (acknowledging = 0; acknowledging < 2000; ++acknowledging) queue.Pop();
      _exit(0);
    }
    close(report[1]);
    int acknowledged = -1;
    const bool crashed = read(report[0], &acknowledged, sizeof acknowledged) == sizeof acknowledged;
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(crashed) << "the queue was never compacted";
    ASSERT_TRUE(WIFSIGNALED(status));
    // Messages 0 to acknowledged were acknowledged: only those after it come again, once each.
    DiskQueue queue(folder, 10000);
    const std::vector<std::string> left = Drain(queue);
    ASSERT_EQ(left.size(), static_cast<size_t>(2000 - acknowledged - 1));
    for (size_t k = 0; k < left.size(); ++k) {
      ASSERT_EQ(left[k], std::to_string(acknowledged + 1 + static_cast<int>(k)) + payload);
    }
  }
}

// Forty waiting messages of one size, so that each record's place is known: the file's 8-byte
// header, then 26 bytes a record (20 of header, the topic "k/t", the payload "m00" to "m39").
constexpr size_t kFortyRecord = 26;
size_t FortyAt(int record) { return 8 + kFortyRecord * static_cast<size_t>(record); }
std::string FortyPayload(int i) { return (i < 10 ? "m0" : "m") + std::to_string(i); }
void QueueForty(const std::string& folder) {
  DiskQueue queue(folder, 100, "k/");
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(queue.Push({"k/t", FortyPayload(i)}));
}
std::vector<std::string> FortyBut(std::vector<int> missing) {
  std::vector<std::string> payloads;
  for (int i = 0; i < 40; ++i) {
    if (std::find(missing.begin(), missing.end(), i) == missing.end()) {
      payloads.push_back(FortyPayload(i));
    }
  }
  return payloads;
}

TEST(DiskQueue, DamagedRecordsAreSkippedAndTheValidOnesAfterThemKept) {
  TempDir dir;
  const std::string folder = dir.File("q");
  QueueForty(folder);
  std::string bytes = test::ReadFile(folder + "/queue.dat");
  ASSERT_EQ(bytes.size(), FortyAt(40));
  // Random bytes over record 5's header; record 12's payload changed ("m12" to "m92").
  std::mt19937 random(21);
  for (size_t i = 0; i < 20; ++i) bytes[FortyAt(5) + i] = static_cast<char>(random());
  bytes[FortyAt(12) + 20 + 4] = '9';
  test::WriteFile(folder + "/queue.dat", bytes);
  {
    DiskQueue queue(folder, 100, "k/");
    EXPECT_EQ(queue.Damaged(), 2u);
    EXPECT_NE(Notes(queue).find(": 2 damaged records skipped"), std::string::npos);
  }
  // Taken up once: the file holds the valid records only now.
  DiskQueue queue(folder, 100, "k/");
  EXPECT_EQ(queue.Damaged(), 0u);
  EXPECT_EQ(Drain(queue), FortyBut({5, 12}));
}

TEST(DiskQueue, ARecordDamagedWhileQueuedIsNotSent) {
  TempDir dir;
  const std::string folder = dir.File("q");
  QueueForty(folder);
  DiskQueue queue(folder, 100, "k/");
  std::string bytes = test::ReadFile(folder + "/queue.dat");
  bytes[FortyAt(1) + 20 + 4] = '9';
  test::WriteFile(folder + "/queue.dat", bytes);
  ASSERT_TRUE(queue.Checked(0).has_value());
  EXPECT_FALSE(queue.Checked(1).has_value());
  EXPECT_EQ(queue.Damaged(), 1u);
  EXPECT_EQ(queue.Dropped(), 1u);
  ASSERT_EQ(queue.Size(), 39u);
  EXPECT_EQ(queue.Checked(1)->payload, "m02");
  // The file cut short under the queue: the last record cannot be read, and that is no crash
  // of the sender but one more dropped record.
  bytes.resize(FortyAt(39) + 10);
  test::WriteFile(folder + "/queue.dat", bytes);
  EXPECT_FALSE(queue.Checked(38).has_value());
  EXPECT_EQ(queue.Dropped(), 2u);
  EXPECT_NE(Notes(queue).find("cannot be read"), std::string::npos);
  EXPECT_EQ(queue.Checked(37)->payload, "m38");
}

TEST(DiskQueue, WhatIsWaitingIsFoundByTheRecordsThemselves) {
  TempDir dir;
  const std::string folder = dir.File("q");
  QueueForty(folder);
  {
    DiskQueue queue(folder, 100, "k/");
    for (int i = 0; i < 10; ++i) queue.Pop();
  }
  // The file's header and a head file of the earlier format both random bytes: the ten
  // acknowledged do not come again, the thirty waiting do.
  std::string bytes = test::ReadFile(folder + "/queue.dat");
  std::mt19937 random(7);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>(random());
  test::WriteFile(folder + "/queue.dat", bytes);
  test::WriteFile(folder + "/queue.head", std::string("\x13\x77\x0a\xff\x01\x00\x00\x00", 8));
  DiskQueue queue(folder, 100, "k/");
  EXPECT_NE(Notes(queue).find("file header damaged, rebuilt"), std::string::npos);
  std::vector<int> acknowledged = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(Drain(queue), FortyBut(acknowledged));
}

TEST(DiskQueue, RecordsOfForeignTopicsAreNeverTaken) {
  TempDir dir;
  {
    DiskQueue planted(dir.File("p"), 10);
    planted.Push({"plant/line3/valve/cmd", "OPEN"});
    planted.Push({"kelta/other/status", "offline"});
    DiskQueue ours(dir.File("q"), 10, "kelta/rig/");
    ours.Push({"kelta/rig/reading/3", "{}"});
  }
  // The planted records, checksums and all, behind ours.
  test::WriteFile(dir.File("q/queue.dat"), test::ReadFile(dir.File("q/queue.dat")) +
                                               test::ReadFile(dir.File("p/queue.dat")).substr(8));
  DiskQueue queue(dir.File("q"), 10, "kelta/rig/");
  EXPECT_EQ(queue.Foreign(), 2u);
  EXPECT_NE(Notes(queue).find("2 records of topics outside \"kelta/rig/\" left out"),
            std::string::npos);
  ASSERT_EQ(queue.Size(), 1u);
  EXPECT_EQ(queue.Front().topic, "kelta/rig/reading/3");
}

std::string Le(uint64_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i));
  return text;
}

TEST(DiskQueue, AFileOfTheEarlierFormatIsTakenOverOnce) {
  // Records without checksum (topic and payload lengths, then the bytes), the first waiting
  // one named by queue.head; the first was sent, the third is of another topic.
  const auto record = [](const std::string& topic, const std::string& payload) {
    return Le(topic.size(), 4) + Le(payload.size(), 4) + topic + payload;
  };
  TempDir dir;
  const std::string folder = dir.File("q");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string sent = record("k/a", "1");
  test::WriteFile(folder + "/queue.dat",
                  sent + record("k/a", "2") + record("plant/x", "OPEN") + record("k/a", "3"));
  test::WriteFile(folder + "/queue.head", Le(sent.size(), 8));
  {
    DiskQueue queue(folder, 10, "k/");
    EXPECT_EQ(queue.Foreign(), 1u);
    EXPECT_NE(Notes(queue).find("of the earlier format"), std::string::npos);
  }
  EXPECT_TRUE(test::ReadFile(folder + "/queue.head").empty());
  EXPECT_EQ(test::ReadFile(folder + "/queue.dat").substr(0, 8), "\xF5KQUEUE\x02");
  DiskQueue queue(folder, 10, "k/");
  EXPECT_EQ(Notes(queue), "");
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"2", "3"}));
}

TEST(DiskQueue, AQueueFileThatIsNoRegularFileIsRefused) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("f").c_str(), 0700), 0);
  test::MakeFifo(dir.File("f/queue.dat"));
  bool blocked = false;
  const std::string error = test::CallBesideFifo(
      dir.File("f/queue.dat"),
      [&]() -> std::string {
        try {
          DiskQueue queue(dir.File("f"), 10);
        } catch (const UnsafeState& e) {
          return e.what();
        }
        return "accepted";
      },
      blocked);
  EXPECT_FALSE(blocked);
  EXPECT_NE(error.find("queue.dat is a FIFO, not a regular file"), std::string::npos) << error;
}

TEST(DiskQueue, AFullDiskDropsCountsAndSaysSoOncePerSpell) {
  TempDir dir;
  {
    DiskQueue queue(dir.File("q"), 1000);
    const std::string payload(100, 'x');  // records of 121 bytes
    int queued = 0;
    int refused = 0;
    {
      // Room for ten records and a half.
      test::FileSizeLimit limit(8 + 10 * 121 + 60);
      for (int i = 0; i < 25; ++i) ++(queue.Push({"t", payload}) ? queued : refused);
    }
    EXPECT_EQ(queued, 10);
    EXPECT_EQ(queue.Dropped(), 15u);
    const std::string notes = Notes(queue);
    EXPECT_NE(notes.find("queue disk full ("), std::string::npos) << notes;
    EXPECT_EQ(notes.find('\n'), notes.size() - 1) << notes;
    // Room again: the spell's end says how many it cost.
    EXPECT_TRUE(queue.Push({"t", "after"}));
    EXPECT_EQ(Notes(queue), "queue disk full: 15 readings dropped\n");
    // Written, then put onto the disk within 250 ms.
    const std::optional<DiskQueue::Clock::time_point> due = queue.SyncDue();
    ASSERT_TRUE(due.has_value());
    EXPECT_LE(*due, DiskQueue::Clock::now() + 250ms);
    queue.Sync();
    EXPECT_FALSE(queue.SyncDue().has_value());
  }
  // No half record was left behind.
  DiskQueue again(dir.File("q"), 1000);
  EXPECT_EQ(again.Damaged(), 0u);
  EXPECT_EQ(again.Size(), 11u);
  EXPECT_EQ(Notes(again), "");
}

// The recorder's CSV and standard output go on while the broker's readings meet a full disk:
// Publish never throws, and the log has one line when the spell starts, one when it ends.
TEST(MqttPublisher, AFullQueueDiskIsCountedAndLoggedOncePerSpell) {
  TempDir dir;
  MqttSettings settings;
  settings.host = "127.0.0.1";
  settings.clientId = "kelta-record-rig";
  settings.statusTopic = "k/rig/status";
  settings.countersTopic = "k/rig/counters";
  settings.topicPrefix = "k/rig/";
  settings.queueFolder = dir.File("q");
  std::vector<std::string> log;
  MqttPublisher publisher(settings, [&](const std::string& line) { log.push_back(line); });
  const std::string reading(200, 'r');
  {
    test::FileSizeLimit limit(4096);
    for (int i = 0; i < 40; ++i) EXPECT_NO_THROW(publisher.Publish("k/rig/reading/1", reading));
  }
  const uint64_t dropped = publisher.Dropped();
  EXPECT_EQ(publisher.Queued() + dropped, 40u);
  ASSERT_GT(dropped, 0u);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].starts_with("queue disk full (")) << log[0];
  publisher.Publish("k/rig/reading/1", reading);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "queue disk full: " + std::to_string(dropped) + " readings dropped");
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
  EXPECT_EQ(ParseRecordOptions({"COM1", "--mqtt", "h"}).keepAliveSeconds, 10);
  EXPECT_EQ(ParseRecordOptions({"COM1", "--mqtt", "h", "--keepalive", "5"}).keepAliveSeconds, 5);
  EXPECT_EQ(ParseRecordOptions({"COM1", "--mqtt", "h"}).heartbeatSeconds, 30);
  EXPECT_EQ(ParseRecordOptions({"COM1", "--mqtt", "h", "--heartbeat", "2"}).heartbeatSeconds, 2);
  EXPECT_EQ(ParseRecordOptions({"COM1", "--csv", "d", "--csv-max-mb", "3"}).csvMaxBytes, 3u << 20);
  // A round that cannot fit its interval gets the time it needs.
  EXPECT_EQ(
      ParseRecordOptions({"COM1", "--stdout", "--ids", "1,2,3", "--interval", "100"}).intervalMs,
      600);
  EXPECT_TRUE(ParseRecordOptions({"--help"}).help);
  // Any text a broker takes: UTF-8 beyond ASCII, a name of 100 bytes.
  EXPECT_EQ(ParseRecordOptions({"COM1", "--stdout", "--topic",
                                "werk/gr\xc3\xb6\xc3\x9f"
                                "e/\xf0\x9f\x93\x90"})
                .topic,
            "werk/gr\xc3\xb6\xc3\x9f"
            "e/\xf0\x9f\x93\x90");
  EXPECT_EQ(ParseRecordOptions({"COM1", "--stdout", "--name", std::string(100, 'n')}).name.size(),
            100u);

  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"COM1", "--stdout", "--ids", "1,78"}, "--ids"},
      {{"COM1", "--mqtt", "h", "--heartbeat", "0"}, "--heartbeat"},
      {{"COM1", "--stdout", "--csv-max-mb", "5"}, "--csv-max-mb"},
      {{"COM1", "--csv", "d", "--csv-max-mb", "0"}, "--csv-max-mb"},
      {{"COM1", "--stdout", "--ids", "2,2"}, "--ids"},
      {{"COM1", "--stdout", "--interval", "100"}, "--interval"},
      {{"COM1", "--mqtt", "h:0"}, "--mqtt"},
      {{"COM1", "--mqtt", ":1883"}, "--mqtt"},
      {{"COM1", "--stdout", "--topic", "a/#"}, "--topic"},
      {{"COM1", "--stdout", "--name", "a/b"}, "--name"},
      // What a broker refuses as a topic would lose every reading.
      {{"COM1", "--stdout", "--topic", "plant/\xff"}, "--topic"},
      {{"COM1", "--stdout", "--topic", "plant/\xc0\xaf"}, "--topic"},
      {{"COM1", "--stdout", "--topic", std::string(70000, 'p')}, "--topic"},
      {{"COM1", "--stdout", "--topic", "$SYS/kelta"}, "--topic"},
      {{"COM1", "--stdout", "--topic", "a+b"}, "--topic"},
      {{"COM1", "--stdout", "--topic", std::string("a\0b", 3)}, "--topic"},
      {{"COM1", "--stdout", "--name", std::string(101, 'n')}, "--name"},
      {{"COM1", "--stdout", "--name", "line\xe2\x82"}, "--name"},
      {{"COM1", "--stdout", "--name", "a#"}, "--name"},
      {{"COM1", "--stdout", "--name", "a+"}, "--name"},
      {{"COM1", "--stdout", "--queue-max", "0"}, "--queue-max"},
      {{"COM1", "--mqtt", "h", "--keepalive", "4"}, "--keepalive"},
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

// An --interval too short for the IDs' reply windows is stretched and the start says so; one
// that no --interval could hold is refused.
TEST(RecordOptions, AStretchedIntervalIsToldAndAnImpossibleOneRefused) {
  const RecordOptions o = ParseRecordOptions(
      {"COM1", "--stdout", "--ids", "1,2,3", "--interval", "100", "--reply-ms", "200"});
  EXPECT_EQ(o.intervalMs, 600);
  EXPECT_EQ(IntervalNotice(o),
            "--interval 100 is too short for 3 IDs of --reply-ms 200: polling every 600 ms");
  EXPECT_EQ(IntervalNotice(ParseRecordOptions(
                {"COM1", "--stdout", "--ids", "1,2,3", "--interval", "600", "--reply-ms", "200"})),
            "");
  std::string all = "0";
  for (int id = 1; id <= 77; ++id) all += "," + std::to_string(id);
  try {
    ParseRecordOptions({"COM1", "--stdout", "--ids", all, "--reply-ms", "60000"});
    ADD_FAILURE() << "78 IDs of a minute accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("--reply-ms"), std::string::npos) << e.what();
  }
}

// A folder's files: each sensor its own, a new one from the first row of a local day and
// before a row that would pass the size limit; a name taken in the same second gets "-2".
// Together the files hold every row once, in order, whole, each file under its header.
TEST(CsvRecording, ANewFileEachDayAndAtItsSizeWithNoRowSplitOrLost) {
  TempDir dir;
  std::vector<std::string> opened;
  const auto start = std::chrono::steady_clock::now();
  CsvRecording csv([&](const std::string& path) { opened.push_back(path); }, start);
  // A header (40 bytes) and three rows of 52 fit; a fourth row does not.
  csv.UseFolder(dir.Path(), "COM4", 200);
  std::tm eve{};
  eve.tm_year = 2026 - 1900;
  eve.tm_mon = 11;
  eve.tm_mday = 7;
  eve.tm_hour = 23;
  eve.tm_min = 59;
  eve.tm_sec = 59;
  eve.tm_isdst = -1;
  const auto first = std::chrono::system_clock::from_time_t(std::mktime(&eve));
  std::map<std::string, std::string> expected;  // by sensor: the rows' bytes
  for (int k = 0; k < 8; ++k) {
    for (const char* id : {"1", "2"}) {
      Reading row;
      row.time = first + k * 250ms;
      row.angle = 1.5;
      row.line = "1.5";
      row.port = "COM4";
      row.sensorId = id;
      const auto now = start + k * 250ms;
      csv.Write(row, now);
      row.seconds = k * 0.25;
      expected[id] += CsvLine(row);
    }
  }
  csv.Close();

  for (const char* id : {"1", "2"}) {
    const std::string base = dir.Path() + "kelta-COM4-";
    const std::string sensor = std::string("-id") + id;
    const std::vector<std::string> files = {
        base + "20261207-235959" + sensor + ".csv", base + "20261207-235959" + sensor + "-2.csv",
        base + "20261208-000000" + sensor + ".csv", base + "20261208-000000" + sensor + "-2.csv"};
    std::string rows;
    for (const std::string& file : files) {
      EXPECT_NE(std::find(opened.begin(), opened.end(), file), opened.end()) << file;
      const std::string text = test::ReadFile(file);
      EXPECT_LE(text.size(), 200u) << file;
      ASSERT_TRUE(text.starts_with(CsvHeader())) << file;
      ASSERT_TRUE(text.ends_with("\r\n")) << file;
      rows += text.substr(CsvHeader().size());
    }
    EXPECT_EQ(rows, expected[id]);
  }
  EXPECT_EQ(opened.size(), 8u);
}

// The state goes out when it changes and at the start, retained; the heartbeat on a fixed beat
// from the start, not retained, whenever the ticks come.
TEST(StatusTopics, StateWhenItChangesHeartbeatOnItsBeat) {
  std::vector<std::string> sent;
  const auto t0 = std::chrono::steady_clock::time_point{} + 1000s;
  const auto wall = std::chrono::system_clock::time_point(1'796'652'531'250ms);
  StatusTopics status(
      "kelta/rig/", 30s,
      [&](const std::string& topic, const std::string& json, bool retained) {
        sent.push_back(topic + (retained ? " (retained) " : " ") + json);
      },
      t0);
  RecorderState state;
  state.sensors[1] = SensorState::kStreaming;
  state.sensors[2] = SensorState::kSilent;
  status.Tick(state, 5, 1, t0, wall);
  status.Tick(state, 6, 0, t0 + 29s, wall + 29s);
  state.deviceLost = true;
  state.sensors[1] = state.sensors[2] = SensorState::kDeviceLost;
  status.Tick(state, 7, 0, t0 + 29500ms, wall + 29500ms);
  status.Tick(state, 8, 0, t0 + 31s, wall + 31s);
  status.Tick(state, 9, 0, t0 + 59s, wall + 59s);
  status.Tick(state, 10, 2, t0 + 61s, wall + 61s);
  EXPECT_EQ(sent,
            (std::vector<std::string>{
                "kelta/rig/state (retained) {\"device\":\"present\",\"sensors\":{\"1\":"
                "\"streaming\",\"2\":\"silent\"},\"since\":\"2026-12-07T14:08:51.250Z\"}",
                "kelta/rig/heartbeat {\"time\":\"2026-12-07T14:08:51.250Z\",\"uptime\":0,"
                "\"readings\":5,\"queued\":1,\"every\":30}",
                "kelta/rig/state (retained) {\"device\":\"lost\",\"sensors\":{\"1\":"
                "\"device lost\",\"2\":\"device lost\"},\"since\":\"2026-12-07T14:09:20.750Z\"}",
                "kelta/rig/heartbeat {\"time\":\"2026-12-07T14:09:22.250Z\",\"uptime\":31,"
                "\"readings\":8,\"queued\":0,\"every\":30}",
                "kelta/rig/heartbeat {\"time\":\"2026-12-07T14:09:52.250Z\",\"uptime\":61,"
                "\"readings\":10,\"queued\":2,\"every\":30}"}));
}

}  // namespace
}  // namespace kelta::record
