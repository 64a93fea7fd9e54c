#pragma once
// The trend window as a native Windows window: the same controls as the Qt one (Span, Scale,
// the statistics line, Save PNG…, Save CSV…) at the same places, and the plot as the form's
// trend picture (console/form/TrendPicture.h) put on screen at 1:1 with StretchDIBits, so
// that both windows show the same pixels. The CSV is written in the background; its end
// comes back as a message to the window. GUI thread only.

#include "console/form/TrendPicture.h"

#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace kelta::win32 {

class TrendWindow {
 public:
  using SensorRange = std::function<std::optional<std::pair<double, double>>()>;
  // The window's scale choices, in the order of the Scale box.
  enum ScaleChoice { kAutoscale = 0, kSensorRange = 1 };
  static constexpr const wchar_t* kClassName = L"KELTA_Trend";
  static constexpr const wchar_t* kPlotClassName = L"KELTA_TrendPlot";

  // sensorRange: the sensor's range in degrees, read when the scale is drawn; none when the
  // fields hold none. Makes the window (not shown yet), owned by `owner`.
  TrendWindow(HINSTANCE instance, HWND owner, const TrendBuffer& trend, SensorRange sensorRange);
  // Waits for a CSV save still writing: the file is finished, not left half.
  ~TrendWindow();
  TrendWindow(const TrendWindow&) = delete;
  TrendWindow& operator=(const TrendWindow&) = delete;

  // Shows the window in front.
  void Show();

  // Index into TrendBuffer::kSpans, and the scale choice.
  void SetSpan(int index);
  void SetScale(ScaleChoice choice);
  double Span() const;
  TrendView CurrentView() const;
  // The picture as the plot shows it now: drawn at the plot's size into `target`.
  void DrawPlot(HDC target);

  // The plot as shown, through the picture's PNG writer; false with `error` set when the file
  // cannot be written.
  bool SavePng(const std::string& path, std::string* error = nullptr);
  // The span's readings as CSV in the background; false, starting nothing, while an earlier
  // save is still writing. `saved` (may be empty) hears of the end on the GUI thread.
  bool StartSaveCsv(const std::string& path,
                    std::function<void(const std::string& error)> saved = {});
  bool SavingCsv() const { return csvSave_.Running(); }

  HWND Handle() const { return window_; }
  HWND Plot() const { return plot_; }
  HWND SpanBox() const { return span_; }
  HWND ScaleBox() const { return scale_; }
  HWND SavePngButton() const { return savePng_; }
  HWND SaveCsvButton() const { return saveCsv_; }
  HWND Stats() const { return stats_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PlotProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Layout();
  // Pixels laid out for 96 DPI at the window's DPI.
  int Scaled(int pixels) const;
  // The controls' font on a screen of `dpi`.
  HFONT FontAt(int dpi);
  void Refresh();
  void AskAndSave(bool png);
  void ShowSaveError(const std::string& path, const std::string& error);

  HINSTANCE instance_;
  const TrendBuffer& trend_;
  SensorRange sensorRange_;
  HWND window_ = nullptr;
  HWND span_ = nullptr;
  HWND scale_ = nullptr;
  HWND savePng_ = nullptr;
  HWND saveCsv_ = nullptr;
  HWND stats_ = nullptr;
  HWND plot_ = nullptr;
  HWND spanLabel_ = nullptr;
  HWND scaleLabel_ = nullptr;
  HFONT font_ = nullptr;
  // Fonts made for screens of other DPIs than the main one, by DPI; deleted with the window.
  std::map<int, HFONT> fonts_;
  int dpi_ = 96;
  TrendPicture picture_;
  // The running CSV save; its outcome handed from the writer to the GUI thread.
  std::mutex csvMutex_;
  std::string csvPath_;
  std::string csvError_;
  std::function<void(const std::string& error)> csvSaved_;
  TrendCsvSave csvSave_;  // last: its writer is waited for before the rest goes
};

}  // namespace kelta::win32
