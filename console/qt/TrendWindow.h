#pragma once
// The trend window on Qt: the span and scale chosen, the statistics line, and the plot as the
// form's trend picture draws it (TrendPicture.h), put on screen pixel for pixel, so that every
// window shows the same; saved as PNG (the picture) or CSV (the span's readings, in the
// background). GUI thread only.

#include "console/form/TrendPicture.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

class QComboBox;
class QLabel;
class QPushButton;
class QResizeEvent;
class QTimer;

namespace kelta {

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
  // The plot as shown, through the picture's PNG writer; false with `error` set when the
  // file cannot be written.
  bool SavePng(const QString& path, QString* error = nullptr) const;
  // Writes the span's readings to `path` as CSV, off the GUI thread so that the window stays
  // live through an hour's millions of lines: from a copy taken now (the store goes on filling
  // meanwhile), a block of lines at a time; CsvSaved follows. False, starting nothing, while an
  // earlier save is still writing.
  bool StartSaveCsv(const QString& path);
  bool SavingCsv() const { return csvSave_.Running(); }
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
  TrendCsvSave csvSave_;  // the running CSV save, finished when it reports its end
};

}  // namespace kelta
