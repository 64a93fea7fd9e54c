// The live health line: readings per second, seconds since the last reading and frames the
// block check dropped since Connect; a continuous stream that has paused marks the readout.

#include "console/form/ConsoleForm.h"
#include "protocol/RxDecoder.h"

namespace kelta {

namespace {
// How often the line is refreshed: often enough that "last 0.x s ago" moves visibly.
constexpr int kHealthMs = 250;
}  // namespace

void ConsoleForm::RestartHealth() {
  health_.meter.Restart();
  decoder_->ResetDroppedFrames();
  if (health_.timer == 0)
    health_.timer = window_.StartTimer(kHealthMs, [this] { Guarded([this] { HealthTick(); }); });
  HealthTick();
}

void ConsoleForm::HealthTick() {
  // Only a stream that should be flowing can be stale; a lost port has its own mark.
  const bool streaming = reading_ && Connected == 1 && !lost_;
  const HealthMeter::Health health = health_.meter.Measure(streaming);
  window_.SetText(FormControl::lHealth, HealthText(health, decoder_->DroppedFrames()));
  if (health.stale != health_.stale) {
    health_.stale = health.stale;
    window_.AngleView().SetStale(health.stale);
  }
}

}  // namespace kelta
