// OpenAL Soft backend of the sound layer.
#include <AL/al.h>
#include <AL/alc.h>

#include <mutex>

#include "platform/sound.h"

namespace platform {
namespace {

struct SoundState {
  std::mutex mutex;  // orders every call of every thread
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;
};

// Never destroyed: a detached worker may still call in while the process exits.
SoundState& S() {
  static SoundState* state = new SoundState;
  return *state;
}

}  // namespace

int SoundLayerInit() {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  if (s.context != nullptr) return 1;
  s.device = alcOpenDevice(nullptr);
  if (s.device == nullptr) return 0;
  s.context = alcCreateContext(s.device, nullptr);
  if (s.context == nullptr || alcMakeContextCurrent(s.context) == ALC_FALSE) {
    if (s.context != nullptr) alcDestroyContext(s.context);
    s.context = nullptr;
    alcCloseDevice(s.device);
    s.device = nullptr;
    return 0;
  }
  return 1;
}

void SoundLayerEnd() {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  if (s.context != nullptr) {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(s.context);
    s.context = nullptr;
  }
  if (s.device != nullptr) {
    alcCloseDevice(s.device);
    s.device = nullptr;
  }
}

int SoundLoad(int, const void*, std::size_t, long long) { return 0; }
int SoundPlay(int, int) { return 0; }
int SoundStop(int) { return 0; }
int SoundFree(int) { return 0; }
int SoundLoaded(int) { return 0; }

}  // namespace platform
