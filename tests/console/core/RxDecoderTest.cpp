#include "protocol/RxDecoder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelta {
namespace {

// What the console sees, in order: "L:<line>" for each delivered line, "A:<value>" for each
// angle raised.
struct Recorder {
  std::vector<std::string> events;
  RxSink Sink() {
    return RxSink{[this](const std::string& line) { events.push_back("L:" + line); },
                  [this](double value) {
                    std::ostringstream text;
                    text << "A:" << value;
                    events.push_back(text.str());
                  }};
  }
};

struct DecoderCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<std::string> events;
  std::string bufferAfter;
};

TEST(RxDecoder, LinesFramesAndTheBlockCheck) {
  const DecoderCase cases[] = {
      {"line", {"OK\r\n"}, {"L:OK"}, ""},
      {"line over two chunks", {"V:12", "34\r\n"}, {"L:V:1234"}, ""},
      {"two lines in one chunk", {"A\r\nB\r\n"}, {"L:A", "L:B"}, ""},
      {"empty line", {"\r"}, {"L:"}, ""},
      {"control bytes never enter the text",
       {"\x02"
        "A\nB\x17\r"},
       {"L:AB"},
       ""},
      {"other bytes are kept", {"\xff\x01 x\r"}, {"L:\xff\x01 x"}, ""},
      {"frame without ETB passes",
       {"\x02"
        "12.3XY$"},
       {"L:12.3", "A:12.3"},
       ""},
      {"frame with one ETB passes",
       {"\x02"
        "12.3\x17XY$"},
       {"L:12.3", "A:12.3"},
       ""},
      {"three ETBs pass",
       {"\x02"
        "-4.5\x17\x17\x17XY$"},
       {"L:-4.5", "A:-4.5"},
       ""},
      {"two ETBs fail, text stays",
       {"\x02"
        "12.3\x17\x17XY$"},
       {},
       "12.3XY"},
      {"two frames in one chunk are each checked on their own",
       {"\x02"
        "12.3\x17XY$\x02"
        "45.6\x17XY$"},
       {"L:12.3", "A:12.3", "L:45.6", "A:45.6"},
       ""},
      {"three frames in one chunk",
       {"\x02"
        "1.5\x17XY$\x02"
        "-2.5\x17XY$\x02"
        "3.5\x17XY$"},
       {"L:1.5", "A:1.5", "L:-2.5", "A:-2.5", "L:3.5", "A:3.5"},
       ""},
      {"a frame with two ETBs still fails beside a good one",
       {"\x02"
        "1.0\x17\x17XY$\x02"
        "2.0\x17XY$\x02"
        "3.0\x17XY$"},
       {"L:1.0XY2.0", "L:3.0", "A:3"},
       ""},
      {"frame split across chunks after a whole one",
       {"\x02"
        "12.3\x17XY$\x02"
        "45",
        ".6\x17XY$"},
       {"L:12.3", "A:12.3", "L:45.6", "A:45.6"},
       ""},
      {"ETB of an earlier chunk does not count",
       {"\x02"
        "12.3\x17X",
        "Y$"},
       {"L:12.3", "A:12.3"},
       ""},
      {"an ETB before a CR does not count for the frame after it",
       {"A\x17\r"
        "1.5\x17XY$"},
       {"L:A", "L:1.5", "A:1.5"},
       ""},
      {"failed frame text leads the next frame", {"1\x17\x17X$", "2.5ZZ$"}, {"L:1X2.5"}, ""},
      {"CR right after a frame delivers an empty line",
       {"12.3XY$\r"},
       {"L:12.3", "A:12.3", "L:"},
       ""},
      {"two characters or fewer give an empty line and no reading", {"XY$"}, {"L:"}, ""},
      {"a lone $ gives an empty line and no reading", {"$"}, {"L:"}, ""},
      {"not a number gives no reading", {"ab.cXY$"}, {"L:ab.c"}, ""},
      {"partial line stays buffered", {"12"}, {}, "12"},
      {"empty chunk changes nothing", {""}, {}, ""},
  };
  for (const DecoderCase& c : cases) {
    RxDecoder decoder;
    Recorder recorder;
    for (const std::string& chunk : c.chunks) decoder.Feed(chunk, recorder.Sink());
    EXPECT_EQ(recorder.events, c.events) << c.name;
    EXPECT_EQ(decoder.RxBuffer(), c.bufferAfter) << c.name;
  }
}

// Between chunks the console may clear RxBuffer (every action and the stop loop do).
TEST(RxDecoder, AClearedFramesTailIsNoReading) {
  const std::string kClear = "<clear>";
  const DecoderCase cases[] = {
      {"the tail of a cut frame is dropped",
       {"\x02"
        "123.",
        kClear,
        "4\x17"
        "2A$"},
       {},
       ""},
      {"the frame after the tail is shown",
       {"\x02"
        "12",
        kClear,
        "3.4\x17"
        "2A$\x02"
        "7.5\x17"
        "2A$"},
       {"L:7.5", "A:7.5"},
       ""},
      {"a tail without its $ does not lead the next frame",
       {"\x02"
        "12",
        kClear, "3.4\x02", "5.5\x17XY$"},
       {"L:5.5", "A:5.5"},
       ""},
      {"a second clear keeps the cut",
       {"\x02"
        "12",
        kClear, kClear, "3.4\x17XY$"},
       {},
       ""},
      {"a reply line is delivered as before", {"stale", kClear, "OK\r"}, {"L:OK"}, ""},
      {"after the dropped tail frames need no STX",
       {"12", kClear, "3.4XY$6.5XY$"},
       {"L:6.5", "A:6.5"},
       ""},
      {"a clear between frames cuts nothing",
       {"\x02"
        "1.0\x17XY$",
        kClear, "2.0\x17XY$"},
       {"L:1.0", "A:1", "L:2.0", "A:2"},
       ""},
      {"a clear after the STX cuts nothing", {"\x02", kClear, "2.0\x17XY$"}, {"L:2.0", "A:2"}, ""},
  };
  for (const DecoderCase& c : cases) {
    RxDecoder decoder;
    Recorder recorder;
    for (const std::string& chunk : c.chunks) {
      if (chunk == kClear)
        decoder.ClearRxBuffer();
      else
        decoder.Feed(chunk, recorder.Sink());
    }
    EXPECT_EQ(recorder.events, c.events) << c.name;
    EXPECT_EQ(decoder.RxBuffer(), c.bufferAfter) << c.name;
  }
}

TEST(RxDecoder, AngleHandlerErrorIsSwallowedAndDecodingGoesOn) {
  RxDecoder decoder;
  std::vector<std::string> lines;
  std::vector<double> shown;
  const RxSink sink{[&](const std::string& line) { lines.push_back(line); },
                    [&](double value) {
                      if (value == 1.0) throw std::runtime_error("dial picture missing");
                      shown.push_back(value);
                    }};
  decoder.Feed("1.0AB$2.0AB$", sink);  // the second frame passes: no ETB in the chunk
  EXPECT_EQ(lines, (std::vector<std::string>{"1.0", "2.0"}));
  EXPECT_EQ(shown, (std::vector<double>{2.0}));
  EXPECT_EQ(decoder.RxBuffer(), "");
}

TEST(RxDecoder, FramesFailingTheBlockCheckAreCounted) {
  RxDecoder decoder;
  Recorder recorder;
  const std::string etb(1, '\x17');
  // Passes (no ETB, one ETB), fails (two ETBs), a cleared frame's tail and a reply line: only
  // the failed check counts as dropped.
  decoder.Feed("1.0AB$", recorder.Sink());
  decoder.Feed("2.0" + etb + "B$", recorder.Sink());
  decoder.Feed("3.0" + etb + etb + "$", recorder.Sink());
  EXPECT_EQ(decoder.DroppedFrames(), 1u);
  decoder.Feed("\r", recorder.Sink());
  decoder.Feed("4.", recorder.Sink());
  decoder.ClearRxBuffer();
  decoder.Feed("0AB$OK\r", recorder.Sink());
  EXPECT_EQ(decoder.DroppedFrames(), 1u);
  decoder.Feed("5.0" + etb + etb + "$6.0" + etb + etb + "$", recorder.Sink());
  EXPECT_EQ(decoder.DroppedFrames(), 3u);
  decoder.ResetDroppedFrames();
  EXPECT_EQ(decoder.DroppedFrames(), 0u);
}

// A frame whose text is no number (two frames run together, noise, nothing) is listed but is
// no reading, and counts as dropped; a number beyond any sensor's range is still a reading.
TEST(RxDecoder, AFrameWhoseTextIsNoNumberIsListedAndCountedButNoReading) {
  RxDecoder decoder;
  Recorder recorder;
  decoder.Feed(
      "\x02"
      "12.513.5\x17XY$\x02"
      "48421.048441.0\x17XY$\x02"
      "\x7f#@!\x17XY$\x02\x17XY$",
      recorder.Sink());
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"L:12.513.5", "L:48421.048441.0", "L:\x7f#@!", "L:"}));
  EXPECT_EQ(decoder.DroppedFrames(), 4u);
  decoder.Feed(
      "\x02"
      "-7200.5\x17XY$\x02"
      "1e5\x17XY$",
      recorder.Sink());
  EXPECT_EQ(recorder.events.back(), "A:100000");
  EXPECT_EQ(recorder.events.size(), 8u);
  EXPECT_EQ(decoder.DroppedFrames(), 4u);
}

TEST(RxDecoder, LineHandlerErrorLeavesTheBufferClean) {
  RxDecoder decoder;
  const RxSink sink{[](const std::string&) { throw std::runtime_error("memo"); }, nullptr};
  EXPECT_THROW(decoder.Feed("A\rB", sink), std::runtime_error);
  EXPECT_EQ(decoder.RxBuffer(), "");
}

TEST(RxDecoder, BufferIsCappedByDeliveringItAsALine) {
  const size_t cap = RxDecoder::kRxBufferCap;
  RxDecoder decoder;
  std::vector<std::string> lines;
  const RxSink sink{[&](const std::string& line) { lines.push_back(line); }, nullptr};

  decoder.Feed(std::string(cap, 'a'), sink);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(decoder.RxBuffer().size(), cap);

  decoder.Feed("b", sink);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(cap, 'a'));
  EXPECT_EQ(decoder.RxBuffer(), "b");

  // One long chunk: every byte ends up in exactly one line, none beyond the cap.
  lines.clear();
  decoder.ClearRxBuffer();
  const std::string flood(3 * cap + 100, 'x');
  decoder.Feed(flood + "\r", sink);
  ASSERT_EQ(lines.size(), 4u);
  size_t total = 0;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), cap);
    total += line.size();
  }
  EXPECT_EQ(total, flood.size());
  EXPECT_EQ(lines.back().size(), 100u);
}

}  // namespace
}  // namespace kelta
