#include "capture.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace soundtest {
namespace {

namespace fs = std::filesystem;

// The temporary folder holding the configuration and the capture; removed
// when the process ends.
struct CaptureFolder {
  fs::path dir;
  std::string error;
  ~CaptureFolder() {
    std::error_code ignored;
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }
};

// No "resampler" line: the device default (linear interpolation) stays, so
// a sound at another rate than the device's shows which resampler the layer
// itself chose for its sources.
std::string ConfigText(const fs::path& capture) {
  return "[general]\n"
         "frequency = 44100\n"
         "channels = mono\n"
         "sample-type = uint8\n"
         "period_size = 1024\n"
         "dither = false\n"
         "output-limiter = false\n"
         "[wave]\n"
         "file = " +
         capture.string() + "\n";
}

CaptureFolder MakeCaptureFolder() {
  CaptureFolder folder;
  std::string pattern = (fs::temp_directory_path() / "pulsegen-sound-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    folder.error = "cannot create a temporary folder";
    return folder;
  }
  folder.dir = pattern;
  const fs::path config = folder.dir / "alsoft.conf";
  std::ofstream(config) << ConfigText(folder.dir / "capture.wav");
  setenv("ALSOFT_CONF", config.c_str(), 1);
  setenv("ALSOFT_DRIVERS", "wave", 0);  // ctest sets it; a direct run gets it here
  const char* drivers = getenv("ALSOFT_DRIVERS");
  if (drivers == nullptr || std::strcmp(drivers, "wave") != 0) {
    folder.error = "ALSOFT_DRIVERS must be \"wave\" for capture tests";
  }
  return folder;
}

CaptureFolder& Folder() {
  static CaptureFolder folder = MakeCaptureFolder();
  return folder;
}

std::uint32_t Read32(const std::vector<std::uint8_t>& file, std::size_t at) {
  return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::uint32_t{file[at + 3]} << 24;
}

std::uint16_t Read16(const std::vector<std::uint8_t>& file, std::size_t at) {
  return static_cast<std::uint16_t>(file[at] | file[at + 1] << 8);
}

}  // namespace

std::string UseCaptureDevice() { return Folder().error; }

std::vector<std::uint8_t> ReadCapture() {
  std::ifstream in(Folder().dir / "capture.wav", std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
      std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
    ADD_FAILURE() << "capture is not a RIFF/WAVE file (" << file.size() << " bytes)";
    return {};
  }
  bool formatSeen = false;
  // Walk the chunks: the driver writes WAVE_FORMAT_EXTENSIBLE, whose fmt
  // chunk is 40 bytes; a chunk of odd size is followed by a pad byte.
  for (std::size_t at = 12; at + 8 <= file.size();) {
    const std::uint32_t size = Read32(file, at + 4);
    const std::size_t body = at + 8;
    if (std::memcmp(&file[at], "fmt ", 4) == 0 && size >= 16 && body + 16 <= file.size()) {
      const std::uint16_t tag = Read16(file, body);
      EXPECT_TRUE(tag == 1 || tag == 0xFFFE) << "format tag " << tag;
      EXPECT_EQ(Read16(file, body + 2), 1) << "channels";
      EXPECT_EQ(Read32(file, body + 4), std::uint32_t{kDeviceRate}) << "rate";
      EXPECT_EQ(Read16(file, body + 14), 8) << "bits per sample";
      formatSeen = true;
    } else if (std::memcmp(&file[at], "data", 4) == 0) {
      EXPECT_TRUE(formatSeen) << "data chunk before fmt chunk";
      const std::size_t end = std::min<std::size_t>(body + size, file.size());
      EXPECT_EQ(end, body + size) << "capture's data chunk is cut short (device not closed?)";
      return {file.begin() + static_cast<std::ptrdiff_t>(body),
              file.begin() + static_cast<std::ptrdiff_t>(end)};
    }
    at = body + size + (size & 1u);
  }
  ADD_FAILURE() << "capture has no data chunk";
  return {};
}

std::size_t FirstSound(const std::vector<std::uint8_t>& samples, std::size_t from) {
  while (from < samples.size() && samples[from] == kSilence) ++from;
  return from;
}

std::size_t FirstSilence(const std::vector<std::uint8_t>& samples, std::size_t from) {
  while (from < samples.size() && samples[from] != kSilence) ++from;
  return from;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::size_t Samples(std::chrono::milliseconds duration) {
  return static_cast<std::size_t>(duration.count()) * kDeviceRate / 1000;
}

}  // namespace soundtest
