#include "console/form/TrendBuffer.h"

#include "console/form/HealthMeter.h"
#include "records/ReadingCsv.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kelta {

struct TrendBuffer::Chunk {
  explicit Chunk(std::size_t size)
      : time(size),
        value(size),
        blockMin(size / kBlock),
        blockMax(size / kBlock),
        blockSum(size / kBlock) {}
  std::vector<double> time;
  std::vector<float> value;
  std::vector<float> blockMin;
  std::vector<float> blockMax;
  std::vector<double> blockSum;
};

namespace {

std::size_t RoundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

TrendBuffer::TrendBuffer(std::size_t capacity, Clock clock)
    : clock_(clock ? std::move(clock) : Clock(HealthMeter::SteadySeconds)),
      chunkSize_(std::min(kChunk, RoundUp(std::max<std::size_t>(capacity, 1), kBlock))),
      capacity_(RoundUp(std::max<std::size_t>(capacity, 1), chunkSize_)),
      chunks_(capacity_ / chunkSize_) {}

TrendBuffer::~TrendBuffer() = default;

std::size_t TrendBuffer::MemoryBytes() const {
  std::size_t bytes = marks_.size() * sizeof(Mark);
  for (const auto& c : chunks_)
    if (c)
      bytes += chunkSize_ * (sizeof(double) + sizeof(float)) +
               chunkSize_ / kBlock * (2 * sizeof(float) + sizeof(double));
  return bytes;
}

void TrendBuffer::Push(double value) { Push(clock_(), value); }

void TrendBuffer::Push(double time, double value) {
  if (next_ > 0 && !(time >= lastTime_)) time = lastTime_;  // also a NaN time
  const std::size_t slot = static_cast<std::size_t>(next_ % capacity_);
  std::unique_ptr<Chunk>& chunk = chunks_[slot / chunkSize_];
  if (!chunk) chunk = std::make_unique<Chunk>(chunkSize_);
  const std::size_t i = slot % chunkSize_;
  // Beyond a float's range the conversion would be undefined; such a reading is off any scale.
  const float v = static_cast<float>(std::clamp<double>(value, -FLT_MAX, FLT_MAX));
  chunk->time[i] = time;
  chunk->value[i] = v;
  // A block's figures start again with its first reading: the older readings in its other
  // slots are never summed through the block (Summary takes only blocks wholly held).
  const std::size_t b = i / kBlock;
  if (i % kBlock == 0) {
    chunk->blockMin[b] = v;
    chunk->blockMax[b] = v;
    chunk->blockSum[b] = v;
  } else {
    // NaN readings (text that was not a number reads as 0, so none arrive) never win.
    chunk->blockMin[b] = std::min(chunk->blockMin[b], v);
    chunk->blockMax[b] = std::max(chunk->blockMax[b], v);
    chunk->blockSum[b] += v;
  }
  lastTime_ = time;
  ++next_;
  while (!marks_.empty() && marks_.front().seq < First()) marks_.pop_front();
}

void TrendBuffer::MarkGap() { MarkGap(clock_()); }

void TrendBuffer::MarkGap(double time) {
  if (!marks_.empty() && marks_.back().seq == next_) return;
  marks_.push_back({next_, time});
}

void TrendBuffer::Clear() {
  next_ = 0;
  lastTime_ = 0;
  marks_.clear();
}

double TrendBuffer::TimeAt(uint64_t seq) const {
  const std::size_t slot = static_cast<std::size_t>(seq % capacity_);
  return chunks_[slot / chunkSize_]->time[slot % chunkSize_];
}

float TrendBuffer::ValueAt(uint64_t seq) const {
  const std::size_t slot = static_cast<std::size_t>(seq % capacity_);
  return chunks_[slot / chunkSize_]->value[slot % chunkSize_];
}

uint64_t TrendBuffer::Find(double time, bool after) const {
  uint64_t lo = First();
  uint64_t hi = next_;
  while (lo < hi) {
    const uint64_t mid = lo + (hi - lo) / 2;
    const double t = TimeAt(mid);
    if (after ? t <= time : t < time)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

TrendBuffer::Range TrendBuffer::Summary(uint64_t from, uint64_t to) const {
  Range r;
  if (from >= to) return r;
  r.count = static_cast<std::size_t>(to - from);
  r.min = r.max = ValueAt(from);
  const auto add = [&r](float v) {
    r.min = std::min(r.min, v);
    r.max = std::max(r.max, v);
    r.sum += v;
  };
  uint64_t s = from;
  for (; s < to && s % kBlock != 0; ++s) add(ValueAt(s));
  for (; s + kBlock <= to; s += kBlock) {
    const std::size_t slot = static_cast<std::size_t>(s % capacity_);
    const Chunk& c = *chunks_[slot / chunkSize_];
    const std::size_t b = slot % chunkSize_ / kBlock;
    r.min = std::min(r.min, c.blockMin[b]);
    r.max = std::max(r.max, c.blockMax[b]);
    r.sum += c.blockSum[b];
  }
  for (; s < to; ++s) add(ValueAt(s));
  return r;
}

bool TrendBuffer::BreakIn(uint64_t from, uint64_t to) const {
  const auto it = std::lower_bound(marks_.begin(), marks_.end(), from,
                                   [](const Mark& m, uint64_t seq) { return m.seq < seq; });
  return it != marks_.end() && it->seq <= to;
}

double TrendBuffer::ColumnEdge(double start, double end, int columns, int c) {
  if (c >= columns) return end;
  return start + (end - start) * c / columns;
}

std::vector<TrendBuffer::Column> TrendBuffer::Decimate(double start, double end,
                                                       int columns) const {
  std::vector<Column> out(static_cast<std::size_t>(std::max(columns, 0)));
  if (columns <= 0 || !(end > start)) return out;
  uint64_t from = Find(start, false);
  uint64_t previous = from;  // the reading before the column's first, for the break
  if (from > First()) previous = from - 1;
  for (int c = 0; c < columns; ++c) {
    const uint64_t to =
        c + 1 == columns ? Find(end, true) : Find(ColumnEdge(start, end, columns, c + 1), false);
    if (to > from) {
      const Range r = Summary(from, to);
      Column& col = out[static_cast<std::size_t>(c)];
      col.count = static_cast<uint32_t>(r.count);
      col.min = r.min;
      col.max = r.max;
      col.first = ValueAt(from);
      col.last = ValueAt(to - 1);
      col.breakBefore = previous < from && BreakIn(previous + 1, from);
      previous = to - 1;
      from = to;
    }
  }
  return out;
}

TrendBuffer::Stats TrendBuffer::Summarize(double start, double end) const {
  Stats s;
  const uint64_t from = Find(start, false);
  const uint64_t to = Find(end, true);
  if (to <= from) return s;
  const Range r = Summary(from, to);
  s.count = r.count;
  s.current = ValueAt(to - 1);
  s.min = r.min;
  s.max = r.max;
  s.mean = r.sum / static_cast<double>(r.count);
  return s;
}

std::vector<TrendBuffer::Gap> TrendBuffer::Gaps(double start, double end) const {
  std::vector<Gap> out;
  for (const Mark& m : marks_) {
    Gap g;
    g.from = m.time;
    g.open = m.seq >= next_;
    g.to = g.open ? end : TimeAt(m.seq);
    if (g.to < start || g.from > end) continue;
    g.from = std::max(g.from, start);
    g.to = std::min(g.to, end);
    out.push_back(g);
  }
  return out;
}

std::vector<TrendBuffer::Sample> TrendBuffer::Samples(double start, double end) const {
  std::vector<Sample> out;
  const uint64_t from = Find(start, false);
  const uint64_t to = Find(end, true);
  out.reserve(static_cast<std::size_t>(to > from ? to - from : 0));
  // A chunk's stretch at a time: an hour's copy is millions of readings.
  for (uint64_t s = from; s < to;) {
    const std::size_t slot = static_cast<std::size_t>(s % capacity_);
    const Chunk& c = *chunks_[slot / chunkSize_];
    const std::size_t first = slot % chunkSize_;
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(to - s, chunkSize_ - first));
    for (std::size_t i = first; i < first + n; ++i) out.push_back({c.time[i], c.value[i]});
    s += n;
  }
  return out;
}

std::optional<std::pair<double, double>> RangeScale(const std::string& negativeTenths,
                                                    const std::string& positiveTenths) {
  const auto tenths = [](const std::string& text) -> std::optional<long> {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && *begin == ' ') ++begin;
    while (end > begin && end[-1] == ' ') --end;
    long value = 0;
    const auto [p, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || p != end || begin == end) return std::nullopt;
    return std::labs(value);
  };
  const auto negative = tenths(negativeTenths);
  auto positive = tenths(positiveTenths);
  if (!negative || !positive) return std::nullopt;
  if (*positive == 0) positive = 3600;  // a full turn travels as 0
  return std::make_pair(-*negative / 10.0, *positive / 10.0);
}

std::string TrendCsv(const std::vector<TrendBuffer::Sample>& samples, double start,
                     std::chrono::system_clock::time_point wallAtStart) {
  std::string out = kTrendCsvHeader;
  TrendCsvLines lines(start, wallAtStart);
  for (const TrendBuffer::Sample& s : samples) lines.Append(out, s);
  return out;
}

void TrendCsvLines::Append(std::string& out, const TrendBuffer::Sample& s) {
  // Integer milliseconds: "%.3f" would follow the locale's decimal mark.
  const long long ms = std::llround((s.time - start_) * 1000.0);
  const auto when = wallAtStart_ + std::chrono::milliseconds(ms);
  const auto second = std::chrono::floor<std::chrono::seconds>(when);
  if (second_ != second) {
    second_ = second;
    text_ = IsoLocalTime(second);
    millis_ = text_.find('.') + 1;
  }
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when - second).count();
  char* digits = text_.data() + millis_;
  digits[0] = static_cast<char>('0' + millis / 100);
  digits[1] = static_cast<char>('0' + millis / 10 % 10);
  digits[2] = static_cast<char>('0' + millis % 10);
  out += text_;
  out += ',';
  char buf[64];
  const long long whole = ms / 1000;
  const long long frac = std::llabs(ms % 1000);
  const char* sign = ms < 0 && whole == 0 ? "-" : "";
  int n = std::snprintf(buf, sizeof buf, "%s%lld.%03lld,", sign, whole, frac);
  out.append(buf, static_cast<std::size_t>(n));
  const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, s.value);
  out.append(buf, ec == std::errc() ? p : buf);
  out += "\r\n";
}

}  // namespace kelta
