// The pulse-train image: header bytes, period and duty arithmetic, the fast
// fill against a sample-by-sample fill, refusals and memory failures.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "pulse/wave.h"

namespace pulse {
namespace {

std::uint32_t U32At(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t U16At(const unsigned char* p) { return p[0] | (p[1] << 8); }

// Owns a built wave so a failed assertion frees it too.
struct BuiltWave {
  PulseWave wave;
  WaveStatus status;
  BuiltWave(const PulseJob& job, double divisor) : status(BuildPulseWave(job, divisor, &wave)) {}
  ~BuiltWave() {
    FreeWaveImage(&wave);
    FreeWavePattern(&wave);
  }
};

TEST(WaveImage, DefaultsGiveTheKnownHeaderBytesAndTail) {
  BuiltWave built({500, 1000, 127, 44100}, DutyDivisor(1000, 1000));
  ASSERT_EQ(built.status, WaveStatus::Ok);
  const unsigned char expected[46] = {0x52, 0x49, 0x46, 0x46, 0x6A, 0xAC, 0x00, 0x00, 0x57, 0x41,
                                      0x56, 0x45, 0x66, 0x6D, 0x74, 0x20, 0x12, 0x00, 0x00, 0x00,
                                      0x01, 0x00, 0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x44, 0xAC,
                                      0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x64, 0x61,
                                      0x74, 0x61, 0x44, 0xAC, 0x00, 0x00};
  ASSERT_EQ(built.wave.imageBytes, 44146u);
  EXPECT_EQ(std::vector<unsigned char>(built.wave.block, built.wave.block + 46),
            std::vector<unsigned char>(expected, expected + 46));
  // 44100 = 501 × 88 + 12: the image ends inside a high run.
  const unsigned char* end = built.wave.block + built.wave.imageBytes;
  for (int k = 1; k <= 12; ++k) EXPECT_EQ(end[-k], 254) << k;
  EXPECT_EQ(end[-13], 1);
}

struct ImageCase {
  const char* name;
  PulseJob job;  // frequencyHz, durationMs, amplitude, sampleRate
  double pauseUs, pulseUs;
  std::int32_t period, highCount, dataSize;
  unsigned char high;
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

class WaveImageCase : public testing::TestWithParam<ImageCase> {};

// Every field of the header, the slack, the pattern table and every sample.
TEST_P(WaveImageCase, BuildsTheExactImage) {
  const ImageCase& c = GetParam();
  BuiltWave built(c.job, DutyDivisor(c.pauseUs, c.pulseUs));
  ASSERT_EQ(built.status, WaveStatus::Ok);
  const PulseWave& w = built.wave;
  EXPECT_EQ(w.period, c.period);
  EXPECT_EQ(w.highCount, c.highCount);
  ASSERT_EQ(w.dataSize, c.dataSize);
  ASSERT_EQ(w.imageBytes, static_cast<std::size_t>(c.dataSize) + 46);

  const unsigned char* h = w.block;
  EXPECT_EQ(U32At(h + 4), static_cast<std::uint32_t>(c.dataSize) + 38);
  EXPECT_EQ(U32At(h + 16), 18u);
  EXPECT_EQ(U16At(h + 20), 1u);
  EXPECT_EQ(U16At(h + 22), 1u);
  EXPECT_EQ(U32At(h + 24), static_cast<std::uint32_t>(c.job.sampleRate));
  EXPECT_EQ(U32At(h + 28), static_cast<std::uint32_t>(c.job.sampleRate));
  EXPECT_EQ(U16At(h + 32), 1u);
  EXPECT_EQ(U16At(h + 34), 8u);
  EXPECT_EQ(U16At(h + 36), 0u);
  EXPECT_EQ(U32At(h + 42), static_cast<std::uint32_t>(c.dataSize));
  EXPECT_EQ(h[w.imageBytes], 0);  // the two slack bytes of the block
  EXPECT_EQ(h[w.imageBytes + 1], 0);

  for (std::int32_t j = 0; j < c.period + 2; ++j) {
    const int want = j < c.highCount ? c.high : j <= c.period ? 1 : 0;
    ASSERT_EQ(w.pattern[j], want) << "pattern entry " << j;
  }
  for (std::int32_t k = 0; k < c.dataSize; ++k) {
    const int want = k % c.period < c.highCount ? c.high : 1;
    ASSERT_EQ(h[46 + k], want) << "sample " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    KnownTrains, WaveImageCase,
    testing::Values(
        ImageCase{"defaults", {500, 1000, 127, 44100}, 1000, 1000, 88, 44, 44100, 254},
        ImageCase{"divisor3", {250, 1000, 127, 44100}, 3000, 1000, 176, 59, 44100, 254},
        ImageCase{"divisor4thirds", {250, 1000, 127, 44100}, 1000, 3000, 176, 132, 44100, 254},
        // 6 / 1.3333333333333333 is exactly 4.5 in doubles: halves to even.
        ImageCase{"half4", {250, 1000, 127, 1500}, 1000, 3000, 6, 4, 1500, 254},
        ImageCase{"half1837", {12, 1000, 127, 44100}, 40000, 40000, 3675, 1838, 44100, 254},
        ImageCase{"period2", {50000, 1000, 127, 100000}, 10, 10, 2, 1, 100000, 254},
        ImageCase{"noHigh", {1, 1000, 127, 44100}, 1000000, 1, 44100, 0, 44100, 254},
        ImageCase{"allHigh", {250, 1000, 127, 500}, 1000, 3000, 2, 2, 500, 254},
        ImageCase{"empty", {1, 2, 127, 2}, 1000000, 1, 2, 0, 0, 254},
        ImageCase{"size2", {500, 2, 127, 8000}, 1000, 1000, 16, 8, 16, 254},
        ImageCase{"truncated44144", {500, 1001, 127, 44100}, 1000, 1000, 88, 44, 44144, 254},
        ImageCase{"amplitude200", {500, 1000, 200, 44100}, 1000, 1000, 88, 44, 44100, 254},
        ImageCase{"amplitudeMinus1", {500, 1000, -1, 44100}, 1000, 1000, 88, 44, 44100, 254},
        ImageCase{"amplitude100", {500, 1000, 100, 44100}, 1000, 1000, 88, 44, 44100, 200},
        ImageCase{"amplitude0", {500, 1000, 0, 44100}, 1000, 1000, 88, 44, 44100, 0}),
    [](const testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

TEST(WaveImage, HalfRoundsToEvenInDoublePrecision) {
  BuiltWave built({250, 1000, 127, 1500}, DutyDivisor(1000, 3000));
  ASSERT_EQ(built.status, WaveStatus::Ok);
  const unsigned char* s = built.wave.block + 46;
  EXPECT_EQ(std::vector<unsigned char>(s, s + 12),
            (std::vector<unsigned char>{254, 254, 254, 254, 1, 1, 254, 254, 254, 254, 1, 1}));
}

// The fill copies whole periods in large pieces; these periods and lengths
// straddle its internal chunk size and the end of the image.
struct FillCase {
  const char* name;
  PulseJob job;
  double divisor;
};

void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

class WaveFill : public testing::TestWithParam<FillCase> {};

TEST_P(WaveFill, MatchesASampleBySampleFill) {
  const FillCase& c = GetParam();
  BuiltWave built(c.job, c.divisor);
  ASSERT_EQ(built.status, WaveStatus::Ok);
  const PulseWave& w = built.wave;
  std::vector<unsigned char> expected(static_cast<std::size_t>(w.dataSize));
  std::int32_t index = 0;
  for (auto& sample : expected) {
    sample = w.pattern[index];
    if (++index == w.period) index = 0;
  }
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), w.block + 46))
      << "period " << w.period << ", dataSize " << w.dataSize;
}

INSTANTIATE_TEST_SUITE_P(ChunkEdges, WaveFill,
                         testing::Values(FillCase{"period1", {1000, 65537, 127, 1000}, 2.0},
                                         FillCase{"period3", {333, 65536, 127, 1000}, 3.0},
                                         FillCase{"period6", {143, 131071, 127, 1000}, 2.0},
                                         FillCase{"period142", {7, 65535, 127, 1000}, 1.5},
                                         FillCase{"belowOnePeriod", {1, 250, 127, 100003}, 2.0},
                                         FillCase{"threePeriods", {1, 3000, 127, 100003}, 2.0},
                                         FillCase{"period66666", {3, 1000, 127, 200000}, 4.0}),
                         [](const testing::TestParamInfo<FillCase>& info) {
                           return std::string(info.param.name);
                         });

struct RefusalCase {
  const char* name;
  PulseJob job;
  WaveStatus status;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class WaveRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(WaveRefusal, AllocatesNothingAndLeavesTheWaveEmpty) {
  const RefusalCase& c = GetParam();
  PulseWave wave;
  EXPECT_EQ(BuildPulseWave(c.job, 2.0, &wave), c.status);
  EXPECT_EQ(wave.block, nullptr);
  EXPECT_EQ(wave.pattern, nullptr);
  EXPECT_EQ(wave.imageBytes, 0u);
  EXPECT_EQ(wave.dataSize, 0);
  EXPECT_EQ(wave.period, 0);
  EXPECT_NE(std::string(WaveStatusReason(c.status)), WaveStatusReason(WaveStatus::Ok));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WaveRefusal,
    testing::Values(RefusalCase{"zeroHz", {0, 1000, 127, 44100}, WaveStatus::NoPeriod},
                    RefusalCase{"negativeHz", {-1000, 1000, 127, 44100}, WaveStatus::NoPeriod},
                    RefusalCase{"zeroSumHz", {INT32_MIN, 1000, 127, 44100}, WaveStatus::NoPeriod},
                    RefusalCase{"rateBelowHz", {1000, 1000, 127, 999}, WaveStatus::NoPeriod},
                    RefusalCase{"zeroRate", {500, 1000, 127, 0}, WaveStatus::NoPeriod},
                    RefusalCase{"negativeSize", {500, -1, 127, 44100}, WaveStatus::BadJob},
                    RefusalCase{"negativeRate", {-500, 1000, 127, -44100}, WaveStatus::BadJob},
                    RefusalCase{
                        "oneAboveLimit", {500, INT32_MAX - 47, 127, 1000}, WaveStatus::TooLarge},
                    RefusalCase{"longAt44100", {500, 48700000, 127, 44100}, WaveStatus::TooLarge},
                    RefusalCase{"largest", {1, INT32_MAX, 127, INT32_MAX}, WaveStatus::TooLarge}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

// Lets this process map only `headroom` more bytes than it has mapped now.
void LimitAddressSpace(std::size_t headroom) {
  unsigned long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit lim{limit, limit};
  if (pages == 0 || setrlimit(RLIMIT_AS, &lim) != 0) std::_Exit(10);
}

// With 256 MB to spare: a 1 GB image fails, a 150 MB image whose 150 MB
// pattern fails must give its block back, and a 200 MB image then still
// fits (it would not if the 150 MB block had leaked).
int BuildUnderMemoryLimit() {
  LimitAddressSpace(std::size_t{256} << 20);
  PulseWave wave;
  if (BuildPulseWave({500, 1000000000, 127, 1000}, 2.0, &wave) != WaveStatus::NoMemory) return 1;
  if (wave.block != nullptr || wave.pattern != nullptr) return 2;
  if (BuildPulseWave({1, 1000, 127, 150000000}, 2.0, &wave) != WaveStatus::NoMemory) return 3;
  if (wave.block != nullptr || wave.pattern != nullptr) return 4;
  if (BuildPulseWave({500, 200000000, 127, 1000}, 2.0, &wave) != WaveStatus::Ok) return 5;
  FreeWaveImage(&wave);
  FreeWavePattern(&wave);
  return 0;
}

TEST(WaveMemory, FailedAllocationsGiveNoMemoryAndLeakNothing) {
  if (kSanitized) GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(std::_Exit(BuildUnderMemoryLimit()), testing::ExitedWithCode(0), "");
}

TEST(WaveImage, FreeingTwiceIsSafeAndKeepsTheNumbers) {
  PulseWave wave;
  ASSERT_EQ(BuildPulseWave({500, 1000, 127, 44100}, 2.0, &wave), WaveStatus::Ok);
  for (int i = 0; i < 2; ++i) {
    FreeWaveImage(&wave);
    FreeWavePattern(&wave);
  }
  EXPECT_EQ(wave.block, nullptr);
  EXPECT_EQ(wave.pattern, nullptr);
  EXPECT_EQ(wave.imageBytes, 0u);
  EXPECT_EQ(SeamlessLoopFrames(wave), 44088);
}

TEST(WaveLoop, SeamlessLoopFramesEndOnAWholePeriod) {
  struct Case {
    std::int32_t dataSize, period;
    std::int64_t frames;
  };
  for (const Case& c :
       {Case{44100, 88, 44088}, Case{176, 88, 176}, Case{16, 16, 16}, Case{10, 88, 10},
        Case{0, 2, 0}, Case{0, 0, 0}, Case{2147483599, 88, 2147483536},
        Case{2147483599, 2147483647, 2147483599}}) {
    PulseWave wave;
    wave.dataSize = c.dataSize;
    wave.period = c.period;
    EXPECT_EQ(SeamlessLoopFrames(wave), c.frames) << c.dataSize << " / " << c.period;
  }
}

TEST(WaveRules, DutyDivisorAddsOneOnlyUpToEqualValues) {
  EXPECT_EQ(DutyDivisor(3000, 1000), 3.0);
  EXPECT_EQ(DutyDivisor(2000, 1000), 2.0);
  EXPECT_EQ(DutyDivisor(1000, 1000), 2.0);
  EXPECT_EQ(DutyDivisor(1001, 1000), 1.001);
  EXPECT_EQ(DutyDivisor(1000, 3000), 1.3333333333333333);
}

TEST(WaveRules, DataSizeTruncatesTheProductInFloatingPoint) {
  EXPECT_EQ(WaveDataSize(1000, 44100), 44100);
  EXPECT_EQ(WaveDataSize(1001, 44100), 44144);
  EXPECT_EQ(WaveDataSize(2, 2), 0);
  EXPECT_EQ(WaveDataSize(-1, 44100), -44);
  EXPECT_EQ(WaveDataSize(INT32_MAX - 48, 1000), kMaxWaveDataSize);
  EXPECT_EQ(WaveDataSize(48700000, 44100), 2147670000);
}

TEST(WaveRules, RateBoundRoundsSixTenthsOfTheRate) {
  struct Case {
    std::int32_t frequencyHz, sampleRate;
    bool above;
  };
  for (const Case& c :
       {Case{26460, 44100, false}, Case{26461, 44100, true}, Case{3, 5, false}, Case{4, 5, true},
        Case{1, 1, false}, Case{1, 0, true}, Case{-1000, 44100, false}, Case{-1000, -2000, true},
        Case{INT32_MIN, 0, false}}) {
    EXPECT_EQ(FrequencyAboveRateBound(c.frequencyHz, c.sampleRate), c.above)
        << c.frequencyHz << " Hz at " << c.sampleRate;
  }
}

}  // namespace
}  // namespace pulse
