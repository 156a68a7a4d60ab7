// Sound service: numbered sound slots, each holding at most one sound loaded
// from a complete WAV image in memory.
//
// Threads: every call is safe from any thread; the layer serialises them
// with its own lock, so a worker's load and play and the main thread's stop
// and free never interleave. Sounds play whatever window has the focus.
//
// Numbers: a slot number outside 0..kMaxSoundSlots-1, or an empty slot, makes
// an operation do nothing and give 0.
#pragma once

#include <cstddef>

namespace platform {

inline constexpr int kMaxSoundSlots = 4;

// Lowest and highest sample rates a load accepts, in Hz.
inline constexpr int kMinSoundRate = 1;
inline constexpr int kMaxSoundRate = 384000;

// Opens the default output device and keeps it open. Returns 1, or 0 when
// there is no sound output (later loads then fail).
int SoundLayerInit();

// Frees every sound (which silences it) and closes the device. Safe to call
// twice; every later call gives 0.
void SoundLayerEnd();

// Parses `bytes` bytes of WAV image at `image` and copies its samples into
// slot `slot`. The caller may free the image as soon as this returns.
// `loopFrames` > 0 makes a looped play repeat frames [0, loopFrames) instead
// of the whole sound (values beyond the sound's length mean the whole sound).
// Success replaces, and so silences, what the slot held, and returns 1. On
// failure (not a readable PCM WAV, a rate outside kMinSoundRate..kMaxSoundRate,
// no device) the slot is left as it was and 0 is returned.
int SoundLoad(int slot, const void* image, std::size_t bytes, long long loopFrames);

// Plays slot `slot` from its start, looped when looped != 0. 1 on success.
int SoundPlay(int slot, int looped);

// Stops slot `slot`: playback halts and the position returns to the start.
int SoundStop(int slot);

// Frees the sound in slot `slot` (silencing it). 1 if there was one.
int SoundFree(int slot);

// 1 if slot `slot` holds a sound.
int SoundLoaded(int slot);

}  // namespace platform
