// OpenAL Soft backend of the sound layer. A WAV image is parsed straight from
// memory with libsndfile's virtual I/O; each slot is one OpenAL source with at
// most one buffer attached to it.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/sound.h"

namespace platform {
namespace {

// ---- WAV image parsing --------------------------------------------------

// A read-only WAV image seen as a file by libsndfile.
struct MemoryImage {
  const unsigned char* data;
  sf_count_t size;          // bytes
  sf_count_t position = 0;  // bytes from the start; may lie past the end
};

MemoryImage& Image(void* user) { return *static_cast<MemoryImage*>(user); }

sf_count_t ImageLength(void* user) { return Image(user).size; }

sf_count_t ImageSeek(sf_count_t offset, int whence, void* user) {
  MemoryImage& image = Image(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) {
    base = image.position;
  } else if (whence == SEEK_END) {
    base = image.size;
  } else if (whence != SEEK_SET) {
    return -1;
  }
  // A damaged header can ask for any offset: refuse what would wrap around.
  if (offset > 0 && base > INT64_MAX - offset) return -1;
  if (base + offset < 0) return -1;
  image.position = base + offset;
  return image.position;
}

sf_count_t ImageRead(void* destination, sf_count_t count, void* user) {
  MemoryImage& image = Image(user);
  if (count <= 0 || image.position >= image.size) return 0;
  const sf_count_t n = std::min(count, image.size - image.position);
  std::memcpy(destination, image.data + image.position, static_cast<std::size_t>(n));
  image.position += n;
  return n;
}

sf_count_t RefuseWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t ImageTell(void* user) { return Image(user).position; }

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// Samples in a form alBufferData takes: 8-bit unsigned kept as the image
// holds them, every other integer PCM width as 16-bit signed.
struct DecodedSound {
  ALenum format = AL_NONE;
  ALsizei rate = 0;  // Hz
  ALsizei frames = 0;
  std::vector<unsigned char> samples8;
  std::vector<std::int16_t> samples16;

  const void* Data() const {
    return samples16.empty() ? static_cast<const void*>(samples8.data()) : samples16.data();
  }
  ALsizei Bytes() const {
    return static_cast<ALsizei>(samples8.size() + samples16.size() * sizeof(std::int16_t));
  }
};

bool IsWavContainer(int format) {
  const int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// Bytes one sample takes in the image, or 0 for an encoding we refuse
// (floating point, compressed).
int PcmSampleBytes(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
      return 1;
    case SF_FORMAT_PCM_16:
      return 2;
    case SF_FORMAT_PCM_24:
      return 3;
    case SF_FORMAT_PCM_32:
      return 4;
    default:
      return 0;
  }
}

// Reads up to `frames` frames of `channels` channels into `sound`, as raw
// bytes when `raw8`, else as 16-bit samples; false when nothing could be read
// of a non-empty sound or memory ran out. A short read keeps what was read.
bool ReadSamples(SNDFILE* file, int channels, bool raw8, sf_count_t frames, DecodedSound& sound) {
  sf_count_t got = 0;
  try {
    if (raw8) {
      // Raw bytes: unsigned 8-bit goes to the device exactly as the image has it.
      sound.samples8.resize(static_cast<std::size_t>(frames * channels));
      got = std::max<sf_count_t>(0, sf_read_raw(file, sound.samples8.data(), frames * channels)) /
            channels;
      sound.samples8.resize(static_cast<std::size_t>(got * channels));
    } else {
      sound.samples16.resize(static_cast<std::size_t>(frames * channels));
      got = std::max<sf_count_t>(0, sf_readf_short(file, sound.samples16.data(), frames));
      sound.samples16.resize(static_cast<std::size_t>(got * channels));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (got == 0 && frames > 0) return false;
  sound.frames = static_cast<ALsizei>(got);
  return true;
}

// Parses a complete WAV image; nothing when it is not one we can play.
std::optional<DecodedSound> DecodeWav(const void* image, std::size_t bytes) {
  if (image == nullptr || bytes == 0 || bytes > static_cast<std::size_t>(INT64_MAX)) return {};
  MemoryImage memory{static_cast<const unsigned char*>(image), static_cast<sf_count_t>(bytes)};
  SF_VIRTUAL_IO io{ImageLength, ImageSeek, ImageRead, RefuseWrite, ImageTell};
  SF_INFO info{};  // format 0: let libsndfile read it from the header
  SndfileHandle file(sf_open_virtual(&io, SFM_READ, &info, &memory));
  if (!file) return {};

  const int sampleBytes = PcmSampleBytes(info.format);
  const bool raw8 = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8;
  if (!IsWavContainer(info.format) || sampleBytes == 0) return {};
  if (info.channels < 1 || info.channels > 2) return {};
  if (info.samplerate < kMinSoundRate || info.samplerate > kMaxSoundRate) return {};
  if (info.frames < 0) return {};

  // A header may claim more frames than the image holds: size the copy from
  // the bytes actually present. OpenAL takes sizes as signed 32-bit.
  const sf_count_t present = static_cast<sf_count_t>(bytes) / (info.channels * sampleBytes);
  const sf_count_t frames = std::min(info.frames, present);
  const sf_count_t outFrameBytes = info.channels * (raw8 ? 1 : 2);
  if (frames > INT_MAX / outFrameBytes) return {};

  DecodedSound sound;
  sound.rate = info.samplerate;
  if (info.channels == 1) {
    sound.format = raw8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
  } else {
    sound.format = raw8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
  }
  if (!ReadSamples(file.get(), info.channels, raw8, frames, sound)) return {};
  return sound;
}

// ---- OpenAL output ------------------------------------------------------

struct Slot {
  ALuint source = 0;
  ALuint buffer = 0;  // 0: the slot is empty
};

struct SoundState {
  std::mutex mutex;  // orders every call of every thread, and every OpenAL call
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;  // non-null exactly while the layer is open
  std::array<Slot, kMaxSoundSlots> slots{};
  bool loopPoints = false;                    // AL_SOFT_loop_points
  LPALGETSOURCEDVSOFT getSourcedv = nullptr;  // AL_SOFT_source_latency
};

// Never destroyed: a detached worker may still call in while the process exits.
SoundState& S() {
  static SoundState* state = new SoundState;
  return *state;
}

// Context attributes. The output limiter is turned off: its look-ahead holds
// every sample back (by 1 ms: the device latency OpenAL Soft reports drops
// from 47.4 to 46.4 ms without it), and it lowers the gain of sounds that
// reach full scale. HRTF filtering is turned off because it changes the
// samples. The device keeps its own rate: forcing ALC_FREQUENCY only makes
// the device (or the sound server) resample. The update size cannot be set
// here (OpenAL Soft ignores ALC_REFRESH); see ShortUpdates.
std::array<ALCint, 5> ContextAttributes(ALCdevice* device) {
  std::array<ALCint, 5> attributes{};
  std::size_t n = 0;
  if (alcIsExtensionPresent(device, "ALC_SOFT_output_limiter") == ALC_TRUE) {
    attributes[n++] = ALC_OUTPUT_LIMITER_SOFT;
    attributes[n++] = ALC_FALSE;
  }
  if (alcIsExtensionPresent(device, "ALC_SOFT_HRTF") == ALC_TRUE) {
    attributes[n++] = ALC_HRTF_SOFT;
    attributes[n++] = ALC_FALSE;
  }
  return attributes;  // zero-terminated
}

// Index of the point ("Nearest") resampler, which copies samples unchanged
// when the sound's rate is the device's; -1 without AL_SOFT_source_resampler.
ALint NearestResampler() {
  if (alIsExtensionPresent("AL_SOFT_source_resampler") != AL_TRUE) return -1;
  const auto nameOf = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
  if (nameOf != nullptr) {
    const ALint count = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
    for (ALint i = 0; i < count; ++i) {
      const ALchar* name = nameOf(AL_RESAMPLER_NAME_SOFT, i);
      if (name != nullptr && std::strcmp(name, "Nearest") == 0) return i;
    }
  }
  return 0;  // OpenAL Soft lists its resamplers from the simplest, point first
}

// A source that hands a mono sound to the device unchanged: at the
// listener, full gain, no distance attenuation, no interpolation.
void ConfigureSource(ALuint source, ALint resampler) {
  alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
  alSourcef(source, AL_GAIN, 1.0f);
  alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
  if (resampler >= 0) alSourcei(source, AL_SOURCE_RESAMPLER_SOFT, resampler);
}

// Frees every sound and source, then the context and the device. Caller
// holds the lock.
void CloseOutput(SoundState& s) {
  if (s.context != nullptr) {
    for (Slot& slot : s.slots) {
      if (slot.source != 0) {
        alSourceStop(slot.source);
        alSourcei(slot.source, AL_BUFFER, 0);
        alDeleteSources(1, &slot.source);
      }
      if (slot.buffer != 0) alDeleteBuffers(1, &slot.buffer);
      slot = Slot{};
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(s.context);
    s.context = nullptr;
  }
  if (s.device != nullptr) {
    alcCloseDevice(s.device);
    s.device = nullptr;
  }
  s.loopPoints = false;
  s.getSourcedv = nullptr;
}

// OpenAL Soft takes its update size from its configuration only. Its default,
// 3 updates of 1024 samples, puts about 46 ms between mixing a sample and its
// reaching the device, which Start and Stop would both wait out. 3 updates of
// 192 samples bring that to 8.7 ms (two updates ahead), keeping Start and
// Stop within 10 ms while leaving the mixer 4.4 ms a round; smaller updates
// would risk gaps in the train whenever a loaded machine runs it late.
// A user's own configuration rules: the request is made only when
// ALSOFT_CONF is unset and none of OpenAL Soft's configuration files sets the
// update size or count. It lives in an anonymous memory file named through
// ALSOFT_CONF while the device opens, and is gone afterwards.
class ShortUpdates {
 public:
  ShortUpdates() {
    if (std::getenv("ALSOFT_CONF") != nullptr || UserHasConfig()) return;
    fd_ = memfd_create("pulsegen-alsoft.conf", MFD_CLOEXEC);
    if (fd_ < 0) return;
    static constexpr char kConfig[] = "[general]\nperiod_size = 192\nperiods = 3\n";
    if (write(fd_, kConfig, sizeof kConfig - 1) != static_cast<ssize_t>(sizeof kConfig - 1)) {
      return;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    set_ = setenv("ALSOFT_CONF", path.c_str(), 1) == 0;
  }
  ~ShortUpdates() {
    if (set_) unsetenv("ALSOFT_CONF");
    if (fd_ >= 0) close(fd_);
  }
  ShortUpdates(const ShortUpdates&) = delete;
  ShortUpdates& operator=(const ShortUpdates&) = delete;

 private:
  // True if the file sets period_size or periods on a line of its own (the
  // distribution's file has them commented out).
  static bool SetsUpdates(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    bool sets = false;
    std::array<char, 512> line{};
    while (!sets && std::fgets(line.data(), static_cast<int>(line.size()), file) != nullptr) {
      const char* p = line.data();
      while (*p == ' ' || *p == '\t') ++p;
      sets = std::strncmp(p, "period_size", 11) == 0 || std::strncmp(p, "periods", 7) == 0;
    }
    std::fclose(file);
    return sets;
  }

  static bool UserHasConfig() {
    const char* home = std::getenv("HOME");
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* configDirs = std::getenv("XDG_CONFIG_DIRS");
    std::vector<std::string> files = {"/etc/openal/alsoft.conf"};
    if (configDirs == nullptr || *configDirs == '\0') configDirs = "/etc/xdg";
    for (std::string dirs = configDirs; !dirs.empty();) {
      const std::size_t colon = dirs.find(':');
      files.push_back(dirs.substr(0, colon) + "/alsoft.conf");
      dirs = colon == std::string::npos ? "" : dirs.substr(colon + 1);
    }
    if (home != nullptr) files.push_back(std::string(home) + "/.alsoftrc");
    if (configHome != nullptr && *configHome != '\0') {
      files.push_back(std::string(configHome) + "/alsoft.conf");
    } else if (home != nullptr) {
      files.push_back(std::string(home) + "/.config/alsoft.conf");
    }
    return std::any_of(files.begin(), files.end(), SetsUpdates);
  }

  int fd_ = -1;
  bool set_ = false;
};

// Creates the context and one configured source per slot. Caller holds the
// lock and has opened s.device.
bool OpenContext(SoundState& s) {
  const std::array<ALCint, 5> attributes = ContextAttributes(s.device);
  s.context = alcCreateContext(s.device, attributes.data());
  // The context is current for the whole process; the lock orders its users.
  if (s.context == nullptr || alcMakeContextCurrent(s.context) == ALC_FALSE) return false;
  alGetError();
  std::array<ALuint, kMaxSoundSlots> sources{};
  alGenSources(kMaxSoundSlots, sources.data());
  if (alGetError() != AL_NO_ERROR) return false;
  const ALint resampler = NearestResampler();
  for (int i = 0; i < kMaxSoundSlots; ++i) {
    s.slots[i].source = sources[i];
    ConfigureSource(sources[i], resampler);
  }
  // A setting the implementation refuses leaves that source at its default;
  // it still plays, so that is no reason to go without sound.
  alGetError();
  s.loopPoints = alIsExtensionPresent("AL_SOFT_loop_points") == AL_TRUE;
  if (alIsExtensionPresent("AL_SOFT_source_latency") == AL_TRUE) {
    s.getSourcedv = reinterpret_cast<LPALGETSOURCEDVSOFT>(alGetProcAddress("alGetSourcedvSOFT"));
  }
  return true;
}

// A new buffer holding `sound`, looping over [0, loopFrames) when that is a
// proper part of it; 0 on failure, with nothing left behind. Loop points
// can only be set on a buffer no source uses, hence before it is attached.
ALuint NewBuffer(const DecodedSound& sound, long long loopFrames, bool loopPoints) {
  alGetError();
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  if (alGetError() != AL_NO_ERROR) return 0;
  alBufferData(buffer, sound.format, sound.Data(), sound.Bytes(), sound.rate);
  if (loopPoints && loopFrames > 0 && loopFrames < sound.frames) {
    const ALint points[2] = {0, static_cast<ALint>(loopFrames)};
    alBufferiv(buffer, AL_LOOP_POINTS_SOFT, points);
  }
  if (alGetError() != AL_NO_ERROR) {
    alDeleteBuffers(1, &buffer);
    return 0;
  }
  return buffer;
}

// Slot `slot` while the layer is open, or nullptr. Clears any OpenAL error
// an earlier call left behind. Caller holds the lock.
Slot* OpenSlot(SoundState& s, int slot) {
  if (s.context == nullptr || slot < 0 || slot >= kMaxSoundSlots) return nullptr;
  alGetError();
  return &s.slots[slot];
}

// Slot `slot` if the layer is open and the slot holds a sound, or nullptr.
Slot* LoadedSlot(SoundState& s, int slot) {
  Slot* found = OpenSlot(s, slot);
  return found != nullptr && found->buffer != 0 ? found : nullptr;
}

}  // namespace

int SoundLayerInit() {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  if (s.context != nullptr) return 1;
  {
    const ShortUpdates updates;  // read on the library's first use, here
    s.device = alcOpenDevice(nullptr);
  }
  if (s.device == nullptr) return 0;
  if (!OpenContext(s)) {
    CloseOutput(s);
    return 0;
  }
  return 1;
}

void SoundLayerEnd() {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  CloseOutput(s);
}

int SoundLoad(int slot, const void* image, std::size_t bytes, long long loopFrames) {
  if (slot < 0 || slot >= kMaxSoundSlots) return 0;
  // Parsed and copied before taking the lock: a long image then holds up no
  // other thread's stop or free.
  const std::optional<DecodedSound> sound = DecodeWav(image, bytes);
  if (!sound) return 0;

  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  Slot* target = OpenSlot(s, slot);
  if (target == nullptr) return 0;
  const ALuint buffer = NewBuffer(*sound, loopFrames, s.loopPoints);
  if (buffer == 0) return 0;
  // Only now that the new sound is ready is the old one silenced. A buffer can
  // only be attached to a stopped source.
  alSourceStop(target->source);
  alSourcei(target->source, AL_BUFFER, static_cast<ALint>(buffer));
  if (alGetError() != AL_NO_ERROR) {
    // Not expected on a stopped source; the old sound stays attached.
    alDeleteBuffers(1, &buffer);
    return 0;
  }
  if (target->buffer != 0) alDeleteBuffers(1, &target->buffer);
  target->buffer = buffer;
  return 1;
}

int SoundPlay(int slot, int looped) {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  Slot* target = LoadedSlot(s, slot);
  if (target == nullptr) return 0;
  alSourcei(target->source, AL_LOOPING, looped != 0 ? AL_TRUE : AL_FALSE);
  alSourceRewind(target->source);
  alSourcePlay(target->source);
  return alGetError() == AL_NO_ERROR ? 1 : 0;
}

int SoundStop(int slot) {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  Slot* target = LoadedSlot(s, slot);
  if (target == nullptr) return 0;
  alSourceStop(target->source);
  return 1;
}

int SoundFree(int slot) {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  Slot* target = LoadedSlot(s, slot);
  if (target == nullptr) return 0;
  alSourceStop(target->source);
  alSourcei(target->source, AL_BUFFER, 0);
  alDeleteBuffers(1, &target->buffer);
  target->buffer = 0;
  return 1;
}

int SoundLoaded(int slot) {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  return LoadedSlot(s, slot) != nullptr ? 1 : 0;
}

int SoundPlaying(int slot) {
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  Slot* target = LoadedSlot(s, slot);
  if (target == nullptr) return 0;
  ALint state = AL_STOPPED;
  alGetSourcei(target->source, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING ? 1 : 0;
}

int SoundPosition(int slot, double* offsetSeconds, double* latencySeconds) {
  assert(offsetSeconds != nullptr && latencySeconds != nullptr);
  SoundState& s = S();
  std::lock_guard lock(s.mutex);
  Slot* target = LoadedSlot(s, slot);
  if (target == nullptr || s.getSourcedv == nullptr) return 0;
  ALdouble values[2] = {0.0, 0.0};
  s.getSourcedv(target->source, AL_SEC_OFFSET_LATENCY_SOFT, values);
  if (alGetError() != AL_NO_ERROR) return 0;
  *offsetSeconds = values[0];
  *latencySeconds = values[1];
  return 1;
}

}  // namespace platform
