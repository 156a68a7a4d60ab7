// The program-wide settings of the window program and the window-bound steps
// that read and write them: the frequency readout and the settings step of
// Start.
//
// Threads: main thread, except that a worker reads pauseUs and pulseUs once
// when it starts (hence atomics).
#pragma once

#include <atomic>
#include <cstdint>

#include "pulse/rules.h"

namespace pulse {

extern std::atomic<double> pauseUs;  // µs, as last read from FieldPause (corrected by Start)
extern std::atomic<double> pulseUs;  // µs, as last read from FieldPulse (corrected by Start)
extern std::int32_t frequencyHz;     // Hz, as last computed
extern std::int32_t durationMs;      // ms, read from FieldSize by Start
extern std::int32_t sampleRate;      // Hz, read from FieldRate by Start

// A control's text read with ParseFieldInteger; 0 for a missing control.
std::int32_t ReadFieldInteger(int control);

// Reads pause and pulse, recomputes frequencyHz and writes "f=<n> Hz" into
// LabelFrequency.
void UpdateFrequencyReadout();

// The settings step of Start: reads the four fields, applies the
// corrections, writes corrected values back into their fields and returns a
// new zero-filled PulseJob (nullptr if memory cannot be had). The caller
// owns the job; free it with platform::MemFree.
PulseJob* PrepareRun();

}  // namespace pulse
