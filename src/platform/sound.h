// Sound service: numbered sound slots, each holding at most one sound loaded
// from a complete WAV image in memory.
//
// Threads: every call is safe from any thread; the layer serialises them
// with its own lock, so a worker's load and play and the main thread's stop
// and free never interleave. Sounds play whatever window has the focus.
//
// Numbers: a slot number outside 0..kMaxSoundSlots-1, or an empty slot, makes
// an operation do nothing and give 0. Before SoundLayerInit succeeds and after
// SoundLayerEnd, every operation does nothing and gives 0.
//
// Fidelity: where the output device runs at the sound's rate, a mono sound's
// samples reach the device unchanged (no interpolation, gain 1, no
// attenuation), so rectangular pulses keep flat tops and sharp edges.
#pragma once

#include <cstddef>

namespace platform {

inline constexpr int kMaxSoundSlots = 4;

// Lowest and highest sample rates a load accepts, in Hz.
inline constexpr int kMinSoundRate = 1;
inline constexpr int kMaxSoundRate = 384000;

// Opens the default output device and keeps it open. Unless an OpenAL Soft
// configuration (ALSOFT_CONF or a config file) sets the update size, asks for
// 3 updates of 192 samples: 8.7 ms of output latency at 44100 Hz. Returns 1,
// or 0 when there is no sound output (later loads then fail). Calling it
// again while the layer is open returns 1 and changes nothing; after
// SoundLayerEnd it opens the device anew.
int SoundLayerInit();

// Frees every sound (which silences it) and closes the device. Safe to call
// twice, and without a successful SoundLayerInit; every later call gives 0.
void SoundLayerEnd();

// Parses `bytes` bytes of WAV image at `image` and copies its samples into
// slot `slot`. The caller may free the image as soon as this returns.
// Accepted: integer PCM, 1 or 2 channels, a rate in kMinSoundRate..
// kMaxSoundRate, at most 2^31-1 bytes of samples once converted (8-bit data
// is kept as it is; 16-, 24- and 32-bit data become 16-bit). An image with no
// samples is a valid empty sound, which a play ends at once.
// `loopFrames` in 1..frames-1 makes a looped play repeat frames
// [0, loopFrames) instead of the whole sound; other values (0, negative, or
// the sound's length or more) loop the whole sound. A play once always plays
// the whole sound.
// Success replaces, and so silences, what the slot held, and returns 1. On
// failure (a null image, not a readable PCM WAV, a bad rate or channel count,
// no device) the slot is left exactly as it was, still playing if it was,
// and 0 is returned. The image is parsed before the layer's lock is taken, so
// a long parse does not hold up other threads' calls.
int SoundLoad(int slot, const void* image, std::size_t bytes, long long loopFrames);

// Plays slot `slot` from its start, looped when looped != 0, restarting it
// if it was playing. 1 on success.
int SoundPlay(int slot, int looped);

// Stops slot `slot`: playback halts and the position returns to the start.
// 1 if the slot holds a sound.
int SoundStop(int slot);

// Frees the sound in slot `slot` (silencing it). 1 if there was one.
int SoundFree(int slot);

// 1 if slot `slot` holds a sound.
int SoundLoaded(int slot);

// 1 while slot `slot` is playing: from SoundPlay until a play once has
// reached its end, or until the slot is stopped, freed or replaced.
int SoundPlaying(int slot);

// Where playback of slot `slot` stands: `*offsetSeconds` is the position, in
// seconds from the sound's start, that the mixer has reached, and
// `*latencySeconds` how long the device takes to sound what the mixer has
// just produced. Returns 1 and fills both when the slot holds a sound and the
// output reports its latency; otherwise returns 0 and leaves both untouched.
// Both pointers must be non-null.
int SoundPosition(int slot, double* offsetSeconds, double* latencySeconds);

}  // namespace platform
