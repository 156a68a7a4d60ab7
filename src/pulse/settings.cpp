#include "pulse/settings.h"

#include <string>

#include "platform/memory.h"
#include "platform/window.h"
#include "ui/controls.h"

namespace pulse {

std::atomic<double> pauseUs{0.0};
std::atomic<double> pulseUs{0.0};
std::int32_t frequencyHz = 0;
std::int32_t durationMs = 0;
std::int32_t sampleRate = 0;

std::int32_t ReadFieldInteger(int control) {
  std::string text;
  platform::ControlGetText(control, &text);
  return ParseFieldInteger(text);
}

void UpdateFrequencyReadout() {
  pauseUs = ReadFieldInteger(ui::FieldPause);
  pulseUs = ReadFieldInteger(ui::FieldPulse);
  frequencyHz = ComputeFrequency(pauseUs, pulseUs);
  platform::ControlSetText(ui::LabelFrequency, "f=" + std::to_string(frequencyHz) + " Hz");
}

PulseJob* PrepareRun() {
  const std::int32_t pause = ReadFieldInteger(ui::FieldPause);
  const std::int32_t pulse = ReadFieldInteger(ui::FieldPulse);
  const std::int32_t size = ReadFieldInteger(ui::FieldSize);
  const std::int32_t rate = ReadFieldInteger(ui::FieldRate);
  const RunSettings run = CorrectRunSettings(pause, pulse, size, rate);

  pauseUs = run.pauseUs;
  pulseUs = run.pulseUs;
  frequencyHz = run.frequencyHz;
  durationMs = run.durationMs;
  sampleRate = run.sampleRate;
  if (run.pauseCorrected) platform::ControlSetText(ui::FieldPause, std::to_string(run.pauseUs));
  if (run.pulseCorrected) platform::ControlSetText(ui::FieldPulse, std::to_string(run.pulseUs));
  if (run.sizeCorrected) platform::ControlSetText(ui::FieldSize, std::to_string(run.durationMs));
  if (run.rateCorrected) platform::ControlSetText(ui::FieldRate, std::to_string(run.sampleRate));

  auto* job = static_cast<PulseJob*>(platform::MemAlloc(sizeof(PulseJob)));
  if (job != nullptr) *job = MakeJob(run);
  return job;
}

}  // namespace pulse
