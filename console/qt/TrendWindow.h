#pragma once
// The trend: the angle over the last 10 s, 1 min, 10 min or 1 h, drawn with QPainter over the
// form's trend store (console/form/TrendBuffer.h), one min/max bar per pixel column, the line
// broken and the stretch shaded where the connection was lost; autoscaled or fixed to the
// sensor's range; the span's current value, minimum, maximum and mean; saved as PNG or CSV.
//
// Qt only: the store is toolkit-free, the drawing is not. GUI thread only.

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <thread>
#include <utility>

class QComboBox;
class QImage;
class QLabel;
class QPainter;
class QPushButton;
class QRect;
class QResizeEvent;
class QTimer;

namespace kelta {

class TrendBuffer;

// What one paint shows: the span ending at `end`, and the value scale.
struct TrendView {
  double end = 0;
  double span = 10;
  // Fixed scale (low, high); none: the span's own extremes.
  std::optional<std::pair<double, double>> scale;
};

// Paints the trend into `area` of `painter`: frame, grid with its values, gaps, the line.
void PaintTrend(QPainter& painter, const QRect& area, const TrendBuffer& trend,
                const TrendView& view);

class TrendWindow : public QWidget {
  Q_OBJECT
 public:
  // The window's scale choices, in the order of cbScale.
  enum ScaleChoice { kAutoscale = 0, kSensorRange = 1 };
  // sensorRange: the sensor's range in degrees, read when the scale is drawn (the fields can
  // change while the window is open); none when the fields hold none.
  TrendWindow(const TrendBuffer& trend,
              std::function<std::optional<std::pair<double, double>>()> sensorRange,
              QWidget* parent = nullptr);

  // Index into TrendBuffer::kSpans.
  void SetSpan(int index);
  double Span() const;
  TrendView CurrentView() const;
  // The trend as the window shows it now, `size` pixels.
  QImage Render(const QSize& size) const;
  // The plot as shown; false with `error` set when the file cannot be written.
  bool SavePng(const QString& path, QString* error = nullptr) const;
  // Writes the span's readings to `path` as CSV, off the GUI thread so that the window stays
  // live through an hour's millions of lines: from a copy taken now (the store goes on filling
  // meanwhile), a block of lines at a time; CsvSaved follows. False, starting nothing, while an
  // earlier save is still writing.
  bool StartSaveCsv(const QString& path);
  bool SavingCsv() const { return csvWriter_.joinable(); }
  // Waits for a save still writing: the file is finished, not left half.
  ~TrendWindow() override;

  QComboBox* cbSpan = nullptr;
  QComboBox* cbScale = nullptr;
  QPushButton* btSavePng = nullptr;
  QPushButton* btSaveCsv = nullptr;
  QLabel* lStats = nullptr;
  QWidget* plot = nullptr;

 signals:
  // A CSV save has ended; `error` is empty when the file was written.
  void CsvSaved(const QString& path, const QString& error);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Refresh();
  void AskAndSave(bool png);
  void ShowSaveError(const QString& path, const QString& error);

  const TrendBuffer& trend_;
  std::function<std::optional<std::pair<double, double>>()> sensorRange_;
  QTimer* timer_ = nullptr;
  std::thread csvWriter_;  // the running CSV save, joined when it reports its end
};

}  // namespace kelta
