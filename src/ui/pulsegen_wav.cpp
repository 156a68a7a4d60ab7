// pulsegen-wav: writes the WAV image that Start would play for the given
// field texts, for scripts and headless use.
//
//   pulsegen-wav [--pause TEXT] [--pulse TEXT] [--size TEXT] [--rate TEXT] [-o FILE]
//
// Each TEXT is read exactly as the window reads its field; Start's
// corrections and the worker's refusal rule apply. Exit codes: 0 written,
// 1 write error (no FILE is left behind), 2 refused run or bad usage.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "pulse/rules.h"
#include "pulse/wave.h"
#include "ui/controls.h"

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitWriteError = 1;
constexpr int kExitRefused = 2;  // also bad usage

constexpr const char* kUsage =
    "usage: pulsegen-wav [--pause TEXT] [--pulse TEXT] [--size TEXT] [--rate TEXT] [-o FILE]\n"
    "Writes the 8-bit mono WAV image that Start plays for these field texts.\n"
    "  --pause TEXT  pause between pulses in microseconds (default 1000)\n"
    "  --pulse TEXT  pulse length in microseconds (default 1000)\n"
    "  --size TEXT   length of the sound in milliseconds (default 1000)\n"
    "  --rate TEXT   sample rate in Hz (default 44100)\n"
    "  -o FILE       output file; absent or \"-\" writes to standard output\n"
    "Each TEXT is read as the window reads its field and corrected as Start corrects it.\n"
    "Exit status: 0 written, 1 write error, 2 refused run or bad usage.\n";

// Linux moves at most about 2 GiB per write(); stay well below.
constexpr std::size_t kMaxWriteBytes = std::size_t{1} << 30;

struct Options {
  std::string pause = ui::InitialPauseText;
  std::string pulse = ui::InitialPulseText;
  std::string size = ui::InitialSizeText;
  std::string rate = ui::InitialRateText;
  std::string output = "-";
  bool help = false;
};

// False (with a message) for an unknown option or a missing value.
bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      options->help = true;
      continue;
    }
    std::string* target = name == "--pause"   ? &options->pause
                          : name == "--pulse" ? &options->pulse
                          : name == "--size"  ? &options->size
                          : name == "--rate"  ? &options->rate
                          : name == "-o"      ? &options->output
                                              : nullptr;
    if (target == nullptr) {
      std::fprintf(stderr, "pulsegen-wav: unknown option '%s'\n", argv[i]);
      return false;
    }
    if (i + 1 == argc) {
      std::fprintf(stderr, "pulsegen-wav: option '%s' needs a value\n", argv[i]);
      return false;
    }
    *target = argv[++i];  // taken as is, even when it starts with '-'
  }
  if (options->output.empty()) {
    std::fprintf(stderr, "pulsegen-wav: -o needs a file name\n");
    return false;
  }
  return true;
}

void ReportCorrection(const char* field, bool corrected, std::int32_t from, std::int32_t to) {
  if (corrected) std::fprintf(stderr, "corrected: %s %d -> %d\n", field, from, to);
}

// The train as it will sound: whole samples per period, so the realised
// frequency is rate / period, not always the readout.
void ReportTrain(const pulse::PulseWave& wave, const pulse::PulseJob& job) {
  std::fprintf(stderr, "period %d samples (%d high) at %d Hz = %.2f Hz; readout f=%d Hz\n",
               wave.period, wave.highCount, job.sampleRate,
               static_cast<double>(job.sampleRate) / wave.period, job.frequencyHz);
}

// 0, or the errno of the failed write.
int WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size < kMaxWriteBytes ? size : kMaxWriteBytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

void ReportWriteError(const std::string& what, int error) {
  std::fprintf(stderr, "pulsegen-wav: cannot write %s: %s\n", what.c_str(), std::strerror(error));
}

// Devices and pipes named as FILE (e.g. /dev/null) are written in place:
// replacing them by a renamed file would be wrong.
int WriteInPlace(const std::string& path, const unsigned char* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = WriteAll(fd, data, size);
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

// The temporary file being written, removed if the process is interrupted.
const char* volatile tempBeingWritten = nullptr;

void RemoveTempAndDie(int signalNumber) {
  if (const char* path = tempBeingWritten) unlink(path);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

// A regular FILE is written as a hidden temporary file beside it and renamed
// over it only when complete, so a failed write leaves no partial FILE (and
// an old FILE untouched).
int WriteByRename(const std::string& path, const unsigned char* data, std::size_t size) {
  std::string target = path;
  if (char* resolved = realpath(path.c_str(), nullptr); resolved != nullptr) {
    target = resolved;  // keep a symbolic link, replace what it points to
    std::free(resolved);
  }
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + "." + base + ".XXXXXX";

  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  tempBeingWritten = temp.c_str();
  const mode_t mask = umask(0);  // mkostemp gives 0600; a new file normally gets 0666 & ~umask
  umask(mask);
  int error = fchmod(fd, 0666 & ~mask) != 0 ? errno : 0;
  if (error == 0) error = WriteAll(fd, data, size);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) unlink(temp.c_str());
  tempBeingWritten = nullptr;
  return error;
}

int WriteImage(const std::string& output, const unsigned char* data, std::size_t size) {
  if (output == "-") return WriteAll(STDOUT_FILENO, data, size);
  struct stat info;
  if (stat(output.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    return WriteInPlace(output, data, size);
  }
  return WriteByRename(output, data, size);
}

// Frees the image and the pattern on every way out.
struct OwnedWave {
  pulse::PulseWave wave;
  ~OwnedWave() {
    pulse::FreeWaveImage(&wave);
    pulse::FreeWavePattern(&wave);
  }
};

// Start's steps on the texts, then the worker's, then the write.
int Run(const Options& options) {
  const std::int32_t pause = pulse::ParseFieldInteger(options.pause);
  const std::int32_t pulseLength = pulse::ParseFieldInteger(options.pulse);
  const std::int32_t size = pulse::ParseFieldInteger(options.size);
  const std::int32_t rate = pulse::ParseFieldInteger(options.rate);
  const pulse::RunSettings run = pulse::CorrectRunSettings(pause, pulseLength, size, rate);
  ReportCorrection("pause", run.pauseCorrected, pause, run.pauseUs);
  ReportCorrection("pulse", run.pulseCorrected, pulseLength, run.pulseUs);
  ReportCorrection("size", run.sizeCorrected, size, run.durationMs);
  ReportCorrection("rate", run.rateCorrected, rate, run.sampleRate);

  const pulse::PulseJob job = pulse::MakeJob(run);
  const double divisor = pulse::DutyDivisor(run.pauseUs, run.pulseUs);
  if (pulse::FrequencyAboveRateBound(job.frequencyHz, job.sampleRate)) {
    std::fprintf(stderr,
                 "pulsegen-wav: refused: frequency %d Hz is above 0.6 x the sample rate %d Hz\n",
                 job.frequencyHz, job.sampleRate);
    return kExitRefused;
  }
  OwnedWave owned;
  const pulse::WaveStatus status = pulse::BuildPulseWave(job, divisor, &owned.wave);
  if (status != pulse::WaveStatus::Ok) {
    std::fprintf(stderr, "pulsegen-wav: refused: %s\n", pulse::WaveStatusReason(status));
    return kExitRefused;
  }
  ReportTrain(owned.wave, job);

  const int error = WriteImage(options.output, owned.wave.block, owned.wave.imageBytes);
  if (error != 0) {
    ReportWriteError(options.output == "-" ? "standard output" : options.output, error);
    return kExitWriteError;
  }
  return kExitWritten;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe or an exceeded file-size limit must come back from write()
  // as an error we report, not end the process halfway.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  for (const int interrupt : {SIGINT, SIGTERM, SIGHUP}) std::signal(interrupt, RemoveTempAndDie);

  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return kExitRefused;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitWritten;
  }
  return Run(options);
}
