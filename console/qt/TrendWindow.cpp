#include "console/qt/TrendWindow.h"

#include "console/form/TrendBuffer.h"

#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <string>

namespace kelta {

namespace {

// Repaints a second: smooth enough for a live line, and a paint is a few milliseconds.
constexpr int kRefreshMs = 100;

const char* const kSpanNames[] = {"10 s", "1 min", "10 min", "1 h"};

class TrendPlot final : public QWidget {
 public:
  TrendPlot(const TrendWindow& window, const TrendBuffer& trend, QWidget* parent)
      : QWidget(parent), window_(window), trend_(trend) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  // The form's picture at the widget's size, shown as it is: no scaling, no painting of its own.
  void paintEvent(QPaintEvent*) override {
    const gfx::TBitmap32& b = picture_.Draw(trend_, window_.CurrentView(), width(), height());
    QPainter painter(this);
    if (b.Empty()) return;
    const QImage image(reinterpret_cast<const uchar*>(b.Bits()), b.Width(), b.Height(),
                       b.Width() * 4, QImage::Format_RGB32);
    painter.drawImage(0, 0, image);
  }

 private:
  const TrendWindow& window_;
  const TrendBuffer& trend_;
  TrendPicture picture_;
};

}  // namespace

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
  lStats->setText(QString::fromStdString(
      TrendStatsText(s, view.span, cbScale->currentIndex() == kSensorRange && !view.scale)));
  plot->update();
}

bool TrendWindow::SavePng(const QString& path, QString* error) const {
  TrendPicture picture;
  const QSize size = plot->size().isEmpty() ? QSize(720, 360) : plot->size();
  picture.Draw(trend_, CurrentView(), size.width(), size.height());
  const std::string failure = picture.SavePng(path.toStdString());
  if (failure.empty()) return true;
  if (error) *error = QString::fromStdString(failure);
  return false;
}

TrendWindow::~TrendWindow() = default;

bool TrendWindow::StartSaveCsv(const QString& path) {
  const TrendView view = CurrentView();
  // The end is reported on the GUI thread; a window already gone has waited for the writer
  // and takes no report.
  const bool started = csvSave_.Start(trend_, view.end - view.span, view.end, path.toStdString(),
                                      [this, path](const std::string& failure) {
                                        const QString error = QString::fromStdString(failure);
                                        QMetaObject::invokeMethod(
                                            this,
                                            [this, path, error] {
                                              csvSave_.Finish();
                                              btSaveCsv->setEnabled(true);
                                              emit CsvSaved(path, error);
                                            },
                                            Qt::QueuedConnection);
                                      });
  if (started) btSaveCsv->setEnabled(false);
  return started;
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
