// pulsegen-wav run as a process: what it writes opens as the 8-bit mono WAV
// a player sees and equals the in-process image; refusals and write errors
// exit with their codes and leave no file behind.
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "pulse/rules.h"
#include "pulse/wave.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The image a window run with these field texts plays, built in process.
Bytes ExpectedImage(const char* pause, const char* pulse, const char* size, const char* rate) {
  const pulse::RunSettings run =
      pulse::CorrectRunSettings(pulse::ParseFieldInteger(pause), pulse::ParseFieldInteger(pulse),
                                pulse::ParseFieldInteger(size), pulse::ParseFieldInteger(rate));
  pulse::PulseWave wave;
  if (pulse::BuildPulseWave(pulse::MakeJob(run), pulse::DutyDivisor(run.pauseUs, run.pulseUs),
                            &wave) != pulse::WaveStatus::Ok) {
    return {};
  }
  Bytes image(wave.block, wave.block + wave.imageBytes);
  pulse::FreeWaveImage(&wave);
  pulse::FreeWavePattern(&wave);
  return image;
}

// Each test gets a fresh OUT directory; scripts reach the binary, the
// directory and the stderr capture through $BIN, $OUT and $ERR.
class WaveCli : public testing::Test {
 protected:
  void SetUp() override {
    std::string dir = testing::TempDir() + "pulsegen-wav-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    root_ = dir;
    out_ = root_ / "out";
    fs::create_directory(out_);
    setenv("BIN", PULSEGEN_WAV_PATH, 1);
    setenv("OUT", out_.c_str(), 1);
    setenv("ERR", (root_ / "stderr").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Exit status of `bash -c script` (128 + signal when killed).
  static int Shell(const std::string& script) {
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/bash", "bash", "-c", script.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string Err() const {
    const Bytes bytes = ReadBytes(root_ / "stderr");
    return std::string(bytes.begin(), bytes.end());
  }

  std::vector<std::string> OutEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out_)) {
      names.push_back(entry.path().filename());
    }
    return names;
  }

  fs::path root_, out_;
};

struct WriteCase {
  const char* name;
  const char* pause;  // nullptr: option not given
  const char* pulse;
  const char* size;
  const char* rate;
  int sampleRate;
  sf_count_t frames;
  std::vector<std::string> stderrLines;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class WaveCliWrites : public WaveCli, public testing::WithParamInterface<WriteCase> {};

TEST_P(WaveCliWrites, FileOpensAsMonoU8WavAndEqualsTheImage) {
  const WriteCase& c = GetParam();
  std::string args;
  const auto option = [&args](const char* name, const char* text) {
    if (text != nullptr) args += std::string(" ") + name + " '" + text + "'";
  };
  option("--pause", c.pause);
  option("--pulse", c.pulse);
  option("--size", c.size);
  option("--rate", c.rate);
  ASSERT_EQ(Shell("\"$BIN\"" + args + " -o \"$OUT/out.wav\" 2>\"$ERR\""), 0) << Err();

  SF_INFO info{};
  SNDFILE* file = sf_open((out_ / "out.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, c.sampleRate);
  EXPECT_EQ(info.frames, c.frames);
  sf_close(file);

  const Bytes expected = ExpectedImage(c.pause ? c.pause : "1000", c.pulse ? c.pulse : "1000",
                                       c.size ? c.size : "1000", c.rate ? c.rate : "44100");
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(ReadBytes(out_ / "out.wav") == expected);
  EXPECT_EQ(OutEntries(), std::vector<std::string>{"out.wav"});  // no temporary file left
  for (const std::string& line : c.stderrLines) {
    EXPECT_NE(Err().find(line + "\n"), std::string::npos) << line << "\nin:\n" << Err();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WaveCliWrites,
    testing::Values(
        WriteCase{"defaults",
                  nullptr,
                  nullptr,
                  nullptr,
                  nullptr,
                  44100,
                  44100,
                  {"period 88 samples (44 high) at 44100 Hz = 501.14 Hz; readout f=500 Hz"}},
        // -7 + 25 = 18 µs: 55556 Hz read before the pause is corrected.
        WriteCase{"signsAndLetters",
                  "-7",
                  " +25x",
                  nullptr,
                  nullptr,
                  111112,
                  111112,
                  {"corrected: pause -7 -> 1000", "corrected: rate 44100 -> 111112",
                   "period 2 samples (0 high) at 111112 Hz = 55556.00 Hz; readout f=55556 Hz"}},
        // Ten digits wrap to -1000: 500 Hz, then the pause becomes 1000.
        WriteCase{"wrapAround",
                  "4294966296",
                  "3000",
                  nullptr,
                  nullptr,
                  44100,
                  44100,
                  {"corrected: pause -1000 -> 1000",
                   "period 88 samples (66 high) at 44100 Hz = 501.14 Hz; readout f=500 Hz"}},
        WriteCase{
            "size1", nullptr, nullptr, "1", "8000", 8000, 8000, {"corrected: size 1 -> 1000"}},
        WriteCase{"size2",
                  nullptr,
                  nullptr,
                  "2",
                  "8000",
                  8000,
                  16,
                  {"period 16 samples (8 high) at 8000 Hz = 500.00 Hz; readout f=500 Hz"}},
        WriteCase{"emptyImage",
                  "1000000",
                  "1",
                  "2",
                  "2",
                  2,
                  0,
                  {"period 2 samples (0 high) at 2 Hz = 1.00 Hz; readout f=1 Hz"}}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST_F(WaveCli, StandardOutputGetsTheSameImage) {
  const Bytes expected = ExpectedImage("1000", "1000", "1000", "44100");
  ASSERT_EQ(Shell("\"$BIN\" -o - >\"$OUT/dash.wav\" 2>\"$ERR\""), 0) << Err();
  ASSERT_EQ(Shell("\"$BIN\" >\"$OUT/plain.wav\" 2>\"$ERR\""), 0) << Err();
  EXPECT_TRUE(ReadBytes(out_ / "dash.wav") == expected);
  EXPECT_TRUE(ReadBytes(out_ / "plain.wav") == expected);
}

TEST_F(WaveCli, HelpAndBadUsage) {
  EXPECT_EQ(Shell("\"$BIN\" --help >\"$OUT/help\" 2>\"$ERR\""), 0);
  const Bytes help = ReadBytes(out_ / "help");
  EXPECT_NE(std::string(help.begin(), help.end()).find("usage: pulsegen-wav"), std::string::npos);
  for (const char* args : {"--bogus", "--rate", "extra", "-o", "-o ''"}) {
    EXPECT_EQ(Shell("\"$BIN\" " + std::string(args) + " >/dev/null 2>\"$ERR\""), 2) << args;
    EXPECT_NE(Err().find("usage: pulsegen-wav"), std::string::npos) << args;
  }
}

struct RefusedCase {
  const char* name;
  const char* script;  // runs $BIN with -o "$OUT/out.wav"
  const char* reason;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class WaveCliRefuses : public WaveCli, public testing::WithParamInterface<RefusedCase> {};

TEST_P(WaveCliRefuses, ExitsTwoWithOneReasonAndNoFile) {
  const RefusedCase& c = GetParam();
  if (kSanitized && std::string(c.name) == "noMemory") {
    GTEST_SKIP() << "sanitizers need more address space than the limit leaves";
  }
  EXPECT_EQ(Shell(c.script), 2) << Err();
  const std::string err = Err();
  const std::size_t at = err.find("pulsegen-wav: refused: ");
  ASSERT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find('\n', at), err.size() - 1) << "one line, and the last: " << err;
  EXPECT_NE(err.find(c.reason, at), std::string::npos) << err;
  EXPECT_TRUE(OutEntries().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, WaveCliRefuses,
    testing::Values(
        RefusedCase{"zeroSum", R"("$BIN" --pause 0 --pulse '' -o "$OUT/out.wav" 2>"$ERR")",
                    "no pulse period"},
        RefusedCase{"belowOneHertz", R"("$BIN" --pause 2000000 -o "$OUT/out.wav" 2>"$ERR")",
                    "no pulse period"},
        RefusedCase{"negativeHertz",
                    R"("$BIN" --pause -2000 --pulse 1000 -o "$OUT/out.wav" 2>"$ERR")",
                    "no pulse period"},
        RefusedCase{"rateBound", R"("$BIN" --pause -2000 --rate -5000 -o "$OUT/out.wav" 2>"$ERR")",
                    "above 0.6 x the sample rate"},
        RefusedCase{"tooLarge", R"("$BIN" --size 48700000 -o "$OUT/out.wav" 2>"$ERR")",
                    "exceed 2 GiB"},
        RefusedCase{"noMemory",
                    R"((ulimit -v 300000; exec "$BIN" --size 20000000 -o "$OUT/out.wav" 2>"$ERR"))",
                    "not enough memory"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

struct WriteErrorCase {
  const char* name;
  const char* script;
};

void PrintTo(const WriteErrorCase& c, std::ostream* os) { *os << c.name; }

class WaveCliWriteErrors : public WaveCli, public testing::WithParamInterface<WriteErrorCase> {};

// OUT starts with an old out.wav; a failed write must leave it exactly so.
TEST_P(WaveCliWriteErrors, ExitOneAndLeaveNoPartialFile) {
  std::ofstream(out_ / "out.wav") << "old";
  EXPECT_EQ(Shell(GetParam().script), 1) << Err();
  EXPECT_NE(Err().find("pulsegen-wav: cannot write "), std::string::npos) << Err();
  EXPECT_EQ(OutEntries(), std::vector<std::string>{"out.wav"});
  EXPECT_TRUE(ReadBytes(out_ / "out.wav") == (Bytes{'o', 'l', 'd'}));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, WaveCliWriteErrors,
    testing::Values(
        WriteErrorCase{"missingDirectory", R"("$BIN" -o "$OUT/missing/out.wav" 2>"$ERR")"},
        WriteErrorCase{"deviceFull", R"("$BIN" -o /dev/full 2>"$ERR")"},
        WriteErrorCase{"stdoutFull", R"("$BIN" >/dev/full 2>"$ERR")"},
        WriteErrorCase{"closedPipe", R"("$BIN" --size 100000 2>"$ERR" | head -c 10 >/dev/null;)"
                                     R"( exit ${PIPESTATUS[0]})"},
        // 100 KiB allowed, 441 KB to write: the write fails halfway.
        WriteErrorCase{"fileSizeLimit",
                       R"((ulimit -f 100; exec "$BIN" --size 10000 -o "$OUT/out.wav" 2>"$ERR"))"}),
    [](const testing::TestParamInfo<WriteErrorCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
