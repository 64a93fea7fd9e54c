#include "console/form/TrendBuffer.h"

#include "records/ReadingCsv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kelta {
namespace {

struct Held {
  double time;
  float value;
};

// Every column worked out reading by reading.
std::vector<TrendBuffer::Column> BruteForce(const std::vector<Held>& held, double start, double end,
                                            int columns) {
  std::vector<TrendBuffer::Column> out(static_cast<size_t>(columns));
  for (const Held& h : held) {
    if (h.time < start || h.time > end) continue;
    int c = 0;
    while (c + 1 < columns && h.time >= TrendBuffer::ColumnEdge(start, end, columns, c + 1)) ++c;
    TrendBuffer::Column& col = out[static_cast<size_t>(c)];
    if (col.count == 0) {
      col.min = col.max = col.first = h.value;
    }
    col.min = std::min(col.min, h.value);
    col.max = std::max(col.max, h.value);
    col.last = h.value;
    ++col.count;
  }
  return out;
}

void ExpectSameColumns(const TrendBuffer& trend, const std::vector<Held>& held, double start,
                       double end, int columns) {
  const auto got = trend.Decimate(start, end, columns);
  const auto want = BruteForce(held, start, end, columns);
  ASSERT_EQ(got.size(), want.size());
  for (size_t c = 0; c < got.size(); ++c) {
    SCOPED_TRACE("span " + std::to_string(start) + ".." + std::to_string(end) + " column " +
                 std::to_string(c));
    ASSERT_EQ(got[c].count, want[c].count);
    if (want[c].count == 0) continue;
    ASSERT_EQ(got[c].min, want[c].min);
    ASSERT_EQ(got[c].max, want[c].max);
    ASSERT_EQ(got[c].first, want[c].first);
    ASSERT_EQ(got[c].last, want[c].last);
  }
}

TEST(TrendBuffer, ColumnsHoldTheExactExtremesOfTheirReadings) {
  // A small ring that has wrapped several times, so that columns and blocks straddle the
  // ring's seam and its oldest reading; irregular times, runs of equal times, and readings
  // exactly on column edges.
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> angle(-360, 360);
  std::uniform_int_distribution<int> step(0, 9);
  TrendBuffer trend(1000);
  std::vector<Held> all;
  double t = 0;
  for (int i = 0; i < 5300; ++i) {
    t += step(rng) * 0.001;
    const double v = i % 97 == 0 ? 1e6 * (i % 2 ? 1 : -1) : angle(rng);
    trend.Push(t, v);
    all.push_back({t, static_cast<float>(v)});
  }
  const std::vector<Held> held(all.end() - static_cast<long>(trend.Capacity()), all.end());
  ASSERT_EQ(trend.Size(), held.size());

  const double oldest = held.front().time;
  const double newest = held.back().time;
  for (int columns : {1, 7, 64, 600}) {
    ExpectSameColumns(trend, held, oldest, newest, columns);
    ExpectSameColumns(trend, held, oldest - 1, newest + 1, columns);  // beyond both ends
    ExpectSameColumns(trend, held, oldest + 0.3, newest - 0.7, columns);
  }

  // Readings placed on the edges of a span's columns land in the column they start.
  TrendBuffer edges(4096);
  std::vector<Held> onEdges;
  const double start = 10, end = 20;
  const int columns = 50;
  for (int c = 0; c <= columns; ++c) {
    const double edge = TrendBuffer::ColumnEdge(start, end, columns, c);
    for (int k = 0; k < 3; ++k) {
      const float v = static_cast<float>(c * 10 + k);
      edges.Push(edge, v);
      onEdges.push_back({edge, v});
    }
  }
  ExpectSameColumns(edges, onEdges, start, end, columns);
  const auto cols = edges.Decimate(start, end, columns);
  EXPECT_EQ(cols.front().count, 3u);
  EXPECT_EQ(cols.back().count, 6u);  // its own edge and the span's end
  EXPECT_EQ(cols.back().max, 502.0f);
}

TEST(TrendBuffer, StatisticsOfASpan) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> angle(-180, 180);
  TrendBuffer trend(2048);
  std::vector<Held> all;
  for (int i = 0; i < 7000; ++i) {
    const double v = angle(rng);
    trend.Push(i * 0.01, v);
    all.push_back({i * 0.01, static_cast<float>(v)});
  }
  const double start = 55.555, end = 66.0;
  double sum = 0, lo = 1e9, hi = -1e9, last = 0;
  size_t n = 0;
  for (const Held& h : all) {
    if (h.time < start || h.time > end) continue;
    sum += h.value;
    lo = std::min<double>(lo, h.value);
    hi = std::max<double>(hi, h.value);
    last = h.value;
    ++n;
  }
  const TrendBuffer::Stats s = trend.Summarize(start, end);
  EXPECT_EQ(s.count, n);
  EXPECT_EQ(s.min, lo);
  EXPECT_EQ(s.max, hi);
  EXPECT_EQ(s.current, last);
  EXPECT_NEAR(s.mean, sum / static_cast<double>(n), 1e-9);

  EXPECT_EQ(trend.Summarize(1000, 2000).count, 0u);
  // Oldest readings have left the ring: a span reaching back counts only what is held.
  EXPECT_EQ(trend.Summarize(0, 70).count, 2048u);

  // A reading beyond a float's range is held at its edge.
  trend.Push(80, 1e300);
  trend.Push(81, -1e300);
  const TrendBuffer::Stats huge = trend.Summarize(80, 81);
  EXPECT_EQ(huge.max, FLT_MAX);
  EXPECT_EQ(huge.min, -FLT_MAX);
}

TEST(TrendBuffer, MemoryStaysBoundedByTheLongestSpan) {
  double now = 0;
  TrendBuffer trend(TrendBuffer::kCapacity, [&now] { return now; });
  EXPECT_GE(trend.Capacity(),
            static_cast<size_t>(TrendBuffer::kLongestSpan * TrendBuffer::kFastestRate));
  EXPECT_EQ(trend.MemoryBytes(), 0u);  // nothing taken before the first reading

  size_t full = 0;
  const uint64_t pushes = 10 * static_cast<uint64_t>(trend.Capacity());
  for (uint64_t i = 0; i < pushes; ++i) {
    now = static_cast<double>(i) / TrendBuffer::kFastestRate;
    trend.Push(static_cast<double>(i % 3600) / 10);
    if (i + 1 == trend.Capacity()) full = trend.MemoryBytes();
    if (i % 100000 == 0) trend.MarkGap();
  }
  EXPECT_EQ(trend.Size(), trend.Capacity());
  EXPECT_LE(trend.MemoryBytes(), full + 64 * 1024);  // only the marks of the held readings
  EXPECT_LT(trend.MemoryBytes(), 50u * 1000 * 1000);
  // The newest readings are the ones kept.
  const auto kept = trend.Samples(-1, now);
  ASSERT_EQ(kept.size(), trend.Capacity());
  EXPECT_EQ(kept.front().time, static_cast<double>(pushes - trend.Capacity()) / 1000);
  EXPECT_EQ(kept.back().value, static_cast<float>((pushes - 1) % 3600) / 10);
}

TEST(TrendBuffer, GapsBreakTheLineWhereTheConnectionWasLost) {
  TrendBuffer trend(256);
  for (int i = 0; i < 10; ++i) trend.Push(i, i);
  trend.MarkGap(9.5);
  trend.MarkGap(12);  // still lost: the first mark stands
  {
    const auto gaps = trend.Gaps(0, 20);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].from, 9.5);
    EXPECT_EQ(gaps[0].to, 20);  // nothing since: open to the span's end
    EXPECT_TRUE(gaps[0].open);
  }
  for (int i = 15; i < 20; ++i) trend.Push(i, i);
  const auto gaps = trend.Gaps(0, 20);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].from, 9.5);
  EXPECT_EQ(gaps[0].to, 15);
  EXPECT_FALSE(gaps[0].open);
  EXPECT_TRUE(trend.Gaps(16, 20).empty());

  // One column a second: only the column of the first reading after the loss breaks.
  const auto cols = trend.Decimate(0, 20, 20);
  for (int c = 0; c < 20; ++c)
    EXPECT_EQ(cols[static_cast<size_t>(c)].breakBefore, c == 15) << "column " << c;
  // The break is kept when the reading before lies outside the span, and between coarse
  // columns; a column holding both sides shows it only as the gap's stretch.
  EXPECT_TRUE(trend.Decimate(15, 20, 5)[0].breakBefore);
  const auto coarse = trend.Decimate(0, 20, 2);
  EXPECT_EQ(coarse[0].count, 10u);
  EXPECT_EQ(coarse[1].count, 5u);
  EXPECT_TRUE(coarse[1].breakBefore);
  EXPECT_FALSE(trend.Decimate(0, 20, 1)[0].breakBefore);

  // Marks leave with their readings.
  for (int i = 20; i < 600; ++i) trend.Push(i, i);
  EXPECT_TRUE(trend.Gaps(0, 600).empty());
}

TEST(TrendBuffer, RangeScaleAndCsv) {
  EXPECT_EQ(RangeScale("900", "900"), std::make_pair(-90.0, 90.0));
  EXPECT_EQ(RangeScale("1800", "0"), std::make_pair(-180.0, 360.0));  // 0: a full turn
  EXPECT_EQ(RangeScale(" 450 ", "3600"), std::make_pair(-45.0, 360.0));
  EXPECT_FALSE(RangeScale("", "900").has_value());
  EXPECT_FALSE(RangeScale("9x", "900").has_value());

  TrendBuffer trend(64);
  trend.Push(100.0, 123.4);
  trend.Push(100.25, -0.1);
  trend.Push(101.002, 7);
  const auto wall = std::chrono::system_clock::from_time_t(1'765'000'000);
  const auto at = [wall](int ms) { return IsoLocalTime(wall + std::chrono::milliseconds(ms)); };
  EXPECT_EQ(TrendCsv(trend.Samples(100, 102), 100.5, wall),
            "time,seconds,angle\r\n" + at(-500) + ",-0.500,123.4\r\n" + at(-250) +
                ",-0.250,-0.1\r\n" + at(502) + ",0.502,7\r\n");
}

}  // namespace
}  // namespace kelta
