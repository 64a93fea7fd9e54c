#pragma once
// The angle over time for the trend: every accepted reading with its time, in a ring whose
// memory is fixed by the longest span at the fastest stream, not by how long the console runs;
// marks where the connection was lost; and the min/max of each pixel column for a span, so
// that a paint costs the number of columns, not the number of readings.
//
// Memory: the ring holds kCapacity readings (one hour at 1000 readings/s; the console's line
// at 9600 baud carries at most 960 frames a second, the shortest frame being a lone "$"), as a
// time (double) and a value (float: readings have a handful of digits) each, plus a min, max
// and sum per kBlock readings: about 12.25 bytes a reading, 44 MB when full. Storage is taken
// in chunks as readings arrive, so a slow stream never takes the whole of it.
//
// Qt-free; the clock is injected so that tests need not sleep. GUI thread only.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelta {

class TrendBuffer {
 public:
  // Seconds on a clock that never goes back.
  using Clock = std::function<double()>;

  // The spans the trend offers, in seconds; the longest fixes the ring's size.
  static constexpr double kSpans[] = {10, 60, 600, 3600};
  static constexpr double kLongestSpan = 3600;
  static constexpr double kFastestRate = 1000;  // readings per second
  static constexpr std::size_t kCapacity = 3'600'000;
  // Readings per min/max/sum block, and per allocated chunk.
  static constexpr std::size_t kBlock = 64;
  static constexpr std::size_t kChunk = 65536;

  // capacity: readings kept (rounded up to whole blocks and chunks).
  explicit TrendBuffer(std::size_t capacity = kCapacity, Clock clock = {});
  ~TrendBuffer();
  TrendBuffer(const TrendBuffer&) = delete;
  TrendBuffer& operator=(const TrendBuffer&) = delete;

  double Now() const { return clock_(); }

  // A reading now, or at `time` (a time before the last one counts as the last one's).
  void Push(double value);
  void Push(double time, double value);
  // The connection was lost now (or at `time`): the line breaks between the last reading and
  // the next. Several marks without a reading between them keep the first.
  void MarkGap();
  void MarkGap(double time);
  // Forgets every reading and mark (memory stays taken).
  void Clear();

  std::size_t Size() const { return static_cast<std::size_t>(next_ - First()); }
  std::size_t Capacity() const { return capacity_; }
  // Bytes held for readings, blocks and marks.
  std::size_t MemoryBytes() const;

  // One pixel column of a span: its readings' count, extremes, first and last value, and
  // whether the line breaks (a mark) between the column's first reading and the reading
  // before it.
  struct Column {
    uint32_t count = 0;
    float min = 0;
    float max = 0;
    float first = 0;
    float last = 0;
    bool breakBefore = false;
  };
  // The span [start, end] cut into `columns` equal columns; column c holds the readings with
  // ColumnEdge(c) <= time < ColumnEdge(c + 1), the last one also those at `end`.
  std::vector<Column> Decimate(double start, double end, int columns) const;
  static double ColumnEdge(double start, double end, int columns, int c);

  // The readings in [start, end]: how many, the newest, the extremes and the mean.
  struct Stats {
    std::size_t count = 0;
    double current = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
  };
  Stats Summarize(double start, double end) const;

  // The stretches in [start, end] without connection: from the loss to the next reading, or
  // to `end` while none has come (open).
  struct Gap {
    double from = 0;
    double to = 0;
    bool open = false;
  };
  std::vector<Gap> Gaps(double start, double end) const;

  // The readings in [start, end], oldest first.
  struct Sample {
    double time = 0;
    float value = 0;
  };
  std::vector<Sample> Samples(double start, double end) const;

 private:
  struct Chunk;
  struct Range {
    std::size_t count = 0;
    float min = 0;
    float max = 0;
    double sum = 0;
  };

  uint64_t First() const { return next_ > capacity_ ? next_ - capacity_ : 0; }
  double TimeAt(uint64_t seq) const;
  float ValueAt(uint64_t seq) const;
  // The first reading at or after `time` (strictly after when `after`), as a sequence number.
  uint64_t Find(double time, bool after) const;
  Range Summary(uint64_t from, uint64_t to) const;  // readings [from, to)
  bool BreakIn(uint64_t from, uint64_t to) const;   // a mark on a reading in [from, to]

  struct Mark {
    uint64_t seq;  // the first reading after the loss
    double time;   // when the loss was seen
  };

  Clock clock_;
  std::size_t chunkSize_;
  std::size_t capacity_;
  std::vector<std::unique_ptr<Chunk>> chunks_;
  uint64_t next_ = 0;  // sequence number of the next reading; readings [First(), next_) held
  double lastTime_ = 0;
  std::deque<Mark> marks_;
};

// The fixed scale for a sensor's range fields (tenths of a degree, negative and positive;
// "0" or "3600" positive is a full turn): -negative/10 to +positive/10 degrees, or nothing when
// the fields hold no usable range.
std::optional<std::pair<double, double>> RangeScale(const std::string& negativeTenths,
                                                    const std::string& positiveTenths);

// The readings as CSV with "." decimals, in the recording's style: a header line
// "time,seconds,angle", then one line per reading: its local time (ISO 8601 with milliseconds
// and UTC offset; `wallAtStart` is the calendar time of `start`), seconds since `start` with
// three decimals, and the angle as the shortest text that reads back as the stored value;
// lines end with CR LF.
std::string TrendCsv(const std::vector<TrendBuffer::Sample>& samples, double start,
                     std::chrono::system_clock::time_point wallAtStart);
// TrendCsv's pieces, for a writer that streams a long span a block of lines at a time: the
// header line, and the readings' lines, one appended to `out` at a time (the calendar text of
// a second is worked out once for all its readings, which an hour at full speed needs).
inline constexpr char kTrendCsvHeader[] = "time,seconds,angle\r\n";
class TrendCsvLines {
 public:
  TrendCsvLines(double start, std::chrono::system_clock::time_point wallAtStart)
      : start_(start), wallAtStart_(wallAtStart) {}
  void Append(std::string& out, const TrendBuffer::Sample& sample);

 private:
  double start_;
  std::chrono::system_clock::time_point wallAtStart_;
  std::optional<std::chrono::system_clock::time_point> second_;  // of `text_`
  std::string text_;        // its local time, milliseconds "000"
  std::size_t millis_ = 0;  // where they stand in it
};

}  // namespace kelta
