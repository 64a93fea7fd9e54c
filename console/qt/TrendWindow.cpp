#include "console/qt/TrendWindow.h"

#include "console/form/TrendBuffer.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kelta {

namespace {

// Repaints a second: smooth enough for a live line, and a paint is a few milliseconds.
constexpr int kRefreshMs = 100;

const char* const kSpanNames[] = {"10 s", "1 min", "10 min", "1 h"};

// Room for the value labels left of the plot and the time labels under it.
constexpr int kLeftMargin = 56;
constexpr int kRightMargin = 10;
constexpr int kTopMargin = 8;
constexpr int kBottomMargin = 22;

class TrendPlot final : public QWidget {
 public:
  TrendPlot(const TrendWindow& window, const TrendBuffer& trend, QWidget* parent)
      : QWidget(parent), window_(window), trend_(trend) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    PaintTrend(painter, rect(), trend_, window_.CurrentView());
  }

 private:
  const TrendWindow& window_;
  const TrendBuffer& trend_;
};

// Round steps (1, 2 or 5 times a power of ten) for about `count` grid lines over `range`.
double GridStep(double range, int count) {
  const double raw = range / std::max(count, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (raw <= m * power) return m * power;
  return 10 * power;
}

QString Degrees(double value) { return QString::number(value, 'f', 1) + QChar(0x00B0); }

QString SpanText(double seconds) {
  if (seconds >= 60) return QString::number(seconds / 60, 'g', 3) + QStringLiteral(" min");
  return QString::number(seconds, 'g', 3) + QStringLiteral(" s");
}

}  // namespace

void PaintTrend(QPainter& painter, const QRect& area, const TrendBuffer& trend,
                const TrendView& view) {
  painter.fillRect(area, Qt::white);
  const QRect plot = area.adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
  if (plot.width() < 2 || plot.height() < 2) return;
  const double start = view.end - view.span;
  const int columns = plot.width();
  const std::vector<TrendBuffer::Column> cols = trend.Decimate(start, view.end, columns);

  // The value scale: fixed, or the span's extremes with a little room.
  double low = -1, high = 1;
  if (view.scale) {
    std::tie(low, high) = *view.scale;
  } else {
    bool any = false;
    for (const TrendBuffer::Column& c : cols) {
      if (c.count == 0) continue;
      low = any ? std::min<double>(low, c.min) : c.min;
      high = any ? std::max<double>(high, c.max) : c.max;
      any = true;
    }
    const double pad = std::max((high - low) * 0.05, 0.5);
    low -= pad;
    high += pad;
  }
  if (!(high > low)) high = low + 1;
  // Held just outside the plot: a reading far off a fixed scale must not reach the painter
  // as a coordinate it cannot take.
  const auto yOf = [&](double v) {
    const double y = plot.bottom() - (v - low) / (high - low) * (plot.height() - 1);
    return std::clamp(y, plot.top() - 2.0, plot.bottom() + 2.0);
  };
  const auto xOf = [&](double t) {
    return plot.left() + (t - start) / view.span * (plot.width() - 1);
  };

  // Grid and labels.
  painter.setPen(QColor(0xE4, 0xE4, 0xE4));
  const double step = GridStep(high - low, std::max(plot.height() / 28, 2));
  QFont small = painter.font();
  small.setPixelSize(10);
  painter.setFont(small);
  for (double v = std::ceil(low / step) * step; v <= high; v += step) {
    const int y = static_cast<int>(std::lround(yOf(v)));
    painter.setPen(QColor(0xE4, 0xE4, 0xE4));
    painter.drawLine(plot.left(), y, plot.right(), y);
    painter.setPen(Qt::darkGray);
    painter.drawText(QRect(area.left(), y - 7, kLeftMargin - 4, 14),
                     Qt::AlignRight | Qt::AlignVCenter, Degrees(std::abs(v) < step / 2 ? 0 : v));
  }
  for (int i = 0; i <= 5; ++i) {
    const int x = plot.left() + (plot.width() - 1) * i / 5;
    painter.setPen(QColor(0xE4, 0xE4, 0xE4));
    painter.drawLine(x, plot.top(), x, plot.bottom());
    painter.setPen(Qt::darkGray);
    const QString text =
        i == 5 ? QStringLiteral("now") : QStringLiteral("-") + SpanText(view.span * (5 - i) / 5);
    painter.drawText(QRect(x - 40, plot.bottom() + 3, 80, kBottomMargin - 4), Qt::AlignHCenter,
                     text);
  }

  painter.save();
  painter.setClipRect(plot);
  // Where the connection was lost: shaded, at least a pixel wide.
  for (const TrendBuffer::Gap& g : trend.Gaps(start, view.end)) {
    const double x0 = xOf(g.from);
    const double x1 = std::max(xOf(g.to), x0 + 1);
    painter.fillRect(QRectF(x0, plot.top(), x1 - x0, plot.height()), QColor(0xF2, 0xD8, 0xD8));
  }
  // The line: per column its first value, its extremes and its last, so a column's bar joins
  // its neighbours; broken where the connection was lost.
  painter.setPen(QPen(QColor(0x00, 0x50, 0xC0), 1));
  QPolygonF line;
  const auto flush = [&] {
    if (line.size() == 1) line.append(line.front() + QPointF(0.5, 0));
    if (!line.isEmpty()) painter.drawPolyline(line);
    line.clear();
  };
  for (int c = 0; c < columns; ++c) {
    const TrendBuffer::Column& col = cols[static_cast<std::size_t>(c)];
    if (col.count == 0) continue;
    if (col.breakBefore) flush();
    const double x = plot.left() + c + 0.5;
    line.append(QPointF(x, yOf(col.first)));
    if (col.count > 2) {
      const bool rising = col.last >= col.first;
      line.append(QPointF(x, yOf(rising ? col.min : col.max)));
      line.append(QPointF(x, yOf(rising ? col.max : col.min)));
    }
    if (col.count > 1) line.append(QPointF(x, yOf(col.last)));
  }
  flush();
  painter.restore();

  painter.setPen(Qt::gray);
  painter.drawRect(plot.adjusted(0, 0, -1, -1));
}

TrendWindow::TrendWindow(const TrendBuffer& trend,
                         std::function<std::optional<std::pair<double, double>>()> sensorRange,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), trend_(trend), sensorRange_(std::move(sensorRange)) {
  setObjectName(QStringLiteral("fTrend"));
  setWindowTitle(QStringLiteral("Trend"));
  resize(720, 420);
  setMinimumSize(360, 220);

  auto* spanLabel = new QLabel(QStringLiteral("Span"), this);
  spanLabel->setGeometry(10, 10, 34, 22);
  cbSpan = new QComboBox(this);
  cbSpan->setObjectName(QStringLiteral("cbSpan"));
  for (const char* name : kSpanNames) cbSpan->addItem(QString::fromUtf8(name));
  cbSpan->setGeometry(44, 10, 80, 22);
  auto* scaleLabel = new QLabel(QStringLiteral("Scale"), this);
  scaleLabel->setGeometry(136, 10, 36, 22);
  cbScale = new QComboBox(this);
  cbScale->setObjectName(QStringLiteral("cbScale"));
  cbScale->addItems({QStringLiteral("Autoscale"), QStringLiteral("Sensor range")});
  cbScale->setGeometry(172, 10, 110, 22);
  btSavePng = new QPushButton(QStringLiteral("Save PNG…"), this);
  btSavePng->setObjectName(QStringLiteral("btSavePng"));
  btSaveCsv = new QPushButton(QStringLiteral("Save CSV…"), this);
  btSaveCsv->setObjectName(QStringLiteral("btSaveCsv"));
  lStats = new QLabel(this);
  lStats->setObjectName(QStringLiteral("lStats"));
  lStats->setTextFormat(Qt::PlainText);
  plot = new TrendPlot(*this, trend_, this);
  plot->setObjectName(QStringLiteral("plot"));

  connect(cbSpan, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(cbScale, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(btSavePng, &QPushButton::clicked, this, [this] { AskAndSave(true); });
  connect(btSaveCsv, &QPushButton::clicked, this, [this] { AskAndSave(false); });
  connect(this, &TrendWindow::CsvSaved, this, [this](const QString& path, const QString& error) {
    if (!error.isEmpty()) ShowSaveError(path, error);
  });
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] {
    if (isVisible()) Refresh();
  });
  timer_->start(kRefreshMs);
  Refresh();
}

void TrendWindow::SetSpan(int index) { cbSpan->setCurrentIndex(index); }

double TrendWindow::Span() const {
  const int i = std::clamp(cbSpan->currentIndex(), 0, static_cast<int>(std::size(kSpanNames)) - 1);
  return TrendBuffer::kSpans[i];
}

TrendView TrendWindow::CurrentView() const {
  TrendView view;
  view.end = trend_.Now();
  view.span = Span();
  if (cbScale->currentIndex() == kSensorRange && sensorRange_) view.scale = sensorRange_();
  return view;
}

void TrendWindow::resizeEvent(QResizeEvent*) { Refresh(); }

void TrendWindow::Refresh() {
  // Placed by hand like the console's controls; the plot takes whatever the window leaves.
  const int w = width();
  btSaveCsv->setGeometry(w - 10 - 90, 10, 90, 24);
  btSavePng->setGeometry(w - 10 - 90 - 6 - 90, 10, 90, 24);
  lStats->setGeometry(10, 38, w - 20, 18);
  plot->setGeometry(0, 60, w, height() - 60);

  const TrendView view = CurrentView();
  const TrendBuffer::Stats s = trend_.Summarize(view.end - view.span, view.end);
  if (s.count == 0) {
    lStats->setText(QStringLiteral("No readings in the last %1").arg(SpanText(view.span)));
  } else {
    lStats->setText(QStringLiteral("current %1   min %2   max %3   mean %4   (%5 readings)")
                        .arg(Degrees(s.current), Degrees(s.min), Degrees(s.max),
                             QString::number(s.mean, 'f', 2) + QChar(0x00B0))
                        .arg(s.count));
  }
  if (cbScale->currentIndex() == kSensorRange && !view.scale)
    lStats->setText(lStats->text() + QStringLiteral("   (no sensor range yet: autoscaled)"));
  plot->update();
}

QImage TrendWindow::Render(const QSize& size) const {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  PaintTrend(painter, image.rect(), trend_, CurrentView());
  return image;
}

bool TrendWindow::SavePng(const QString& path, QString* error) const {
  const QImage image = Render(plot->size().isEmpty() ? QSize(720, 360) : plot->size());
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit()) return true;
  if (error) *error = file.errorString();
  return false;
}

TrendWindow::~TrendWindow() {
  if (csvWriter_.joinable()) csvWriter_.join();
}

bool TrendWindow::StartSaveCsv(const QString& path) {
  if (SavingCsv()) return false;
  const TrendView view = CurrentView();
  const double start = view.end - view.span;
  // The store's clock is the steady one; the calendar time of the span's start from now.
  const auto wallAtStart = std::chrono::system_clock::now() -
                           std::chrono::duration_cast<std::chrono::system_clock::duration>(
                               std::chrono::duration<double>(trend_.Now() - start));
  // The copy is the whole of the GUI thread's part (an hour is some 60 MB, copied in tens of
  // milliseconds); the ring overwrites its oldest readings while the lines are written.
  auto samples =
      std::make_shared<const std::vector<TrendBuffer::Sample>>(trend_.Samples(start, view.end));
  btSaveCsv->setEnabled(false);
  csvWriter_ = std::thread([this, path, samples, start, wallAtStart] {
    QString error;
    QSaveFile file(path);
    const auto put = [&file](const std::string& text) {
      return file.write(text.data(), static_cast<qint64>(text.size())) ==
             static_cast<qint64>(text.size());
    };
    // Lines in blocks of about a megabyte: memory stays flat however long the span.
    constexpr std::size_t kBlockBytes = 1 << 20;
    std::string block = kTrendCsvHeader;
    block.reserve(kBlockBytes + 256);
    TrendCsvLines lines(start, wallAtStart);
    bool ok = file.open(QIODevice::WriteOnly);
    for (std::size_t i = 0; ok && i < samples->size(); ++i) {
      lines.Append(block, (*samples)[i]);
      if (block.size() >= kBlockBytes) {
        ok = put(block);
        block.clear();
      }
    }
    ok = ok && put(block) && file.commit();
    if (!ok) error = file.errorString();
    // The end is reported on the GUI thread; a window already gone has joined this thread
    // and takes no report.
    QMetaObject::invokeMethod(
        this,
        [this, path, error] {
          csvWriter_.join();
          btSaveCsv->setEnabled(true);
          emit CsvSaved(path, error);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void TrendWindow::AskAndSave(bool png) {
  const QString path = QFileDialog::getSaveFileName(
      this, png ? QStringLiteral("Save trend as PNG") : QStringLiteral("Save trend as CSV"),
      png ? QStringLiteral("trend.png") : QStringLiteral("trend.csv"),
      png ? QStringLiteral("PNG pictures (*.png)") : QStringLiteral("CSV files (*.csv)"));
  if (path.isEmpty()) return;
  QString error;
  if (png ? SavePng(path, &error) : StartSaveCsv(path)) return;
  ShowSaveError(path, png ? error : QStringLiteral("the last save is still being written"));
}

void TrendWindow::ShowSaveError(const QString& path, const QString& error) {
  QMessageBox::warning(this, QStringLiteral("Trend"),
                       QStringLiteral("Cannot save \"%1\": %2").arg(path, error));
}

}  // namespace kelta
