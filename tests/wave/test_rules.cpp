// The numbers of a run: field reading, the frequency rule and Start's
// corrections, including the wrap-arounds of ten-digit texts.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "pulse/rules.h"

namespace pulse {
namespace {

TEST(Rules, ParseFieldIntegerReadsAsTheWindowDoes) {
  struct Case {
    std::string_view text;
    std::int32_t value;
  };
  for (const Case& c :
       {Case{"1000", 1000}, Case{"", 0}, Case{"x", 0}, Case{"+", 0}, Case{"-", 0},
        Case{" \t 42", 42}, Case{"\n5", 0}, Case{" +25x", 25}, Case{"-7", -7}, Case{"--7", 0},
        Case{"+-7", 0}, Case{"007", 7}, Case{"12 34", 12}, Case{"2147483647", INT32_MAX},
        Case{"2147483648", INT32_MIN}, Case{"-2147483648", INT32_MIN}, Case{"4294967296", 0},
        Case{"4294966296", -1000}, Case{"99999999999", 1215752191}}) {
    EXPECT_EQ(ParseFieldInteger(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(Rules, ComputeFrequencyRoundsHalvesToEven) {
  struct Case {
    double pauseUs, pulseUs;
    std::int32_t frequencyHz;
  };
  for (const Case& c :
       {Case{1000, 1000, 500}, Case{40000, 40000, 12}, Case{400000, 0, 2}, Case{1, 2, 333333},
        Case{0, 1000, 1000}, Case{1, 0, 1000000}, Case{1000000, 1, 1}, Case{1000000, 1000000, 0},
        Case{2147483647, 2147483647, 0}, Case{-2000, 1000, -1000}, Case{-1000, 0, -1000},
        Case{0, 0, INT32_MIN}, Case{-1, 1, INT32_MIN}}) {
    EXPECT_EQ(ComputeFrequency(c.pauseUs, c.pulseUs), c.frequencyHz)
        << c.pauseUs << " + " << c.pulseUs;
  }
}

struct StartCase {
  const char* name;
  std::int32_t pause, pulse, size, rate;  // as read from the fields
  RunSettings want;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class RulesStart : public testing::TestWithParam<StartCase> {};

TEST_P(RulesStart, CorrectsAsStartDoesAndMakesTheJob) {
  const StartCase& c = GetParam();
  const RunSettings s = CorrectRunSettings(c.pause, c.pulse, c.size, c.rate);
  const RunSettings& w = c.want;
  EXPECT_EQ(s.pauseUs, w.pauseUs);
  EXPECT_EQ(s.pulseUs, w.pulseUs);
  EXPECT_EQ(s.frequencyHz, w.frequencyHz);
  EXPECT_EQ(s.durationMs, w.durationMs);
  EXPECT_EQ(s.sampleRate, w.sampleRate);
  EXPECT_EQ(s.pauseCorrected, w.pauseCorrected);
  EXPECT_EQ(s.pulseCorrected, w.pulseCorrected);
  EXPECT_EQ(s.sizeCorrected, w.sizeCorrected);
  EXPECT_EQ(s.rateCorrected, w.rateCorrected);

  const PulseJob job = MakeJob(s);
  EXPECT_EQ(job.frequencyHz, w.frequencyHz);
  EXPECT_EQ(job.durationMs, w.durationMs);
  EXPECT_EQ(job.amplitude, 127);
  EXPECT_EQ(job.sampleRate, w.sampleRate);
}

// RunSettings: pause, pulse, frequency, size, rate, then which were corrected.
INSTANTIATE_TEST_SUITE_P(
    Cases, RulesStart,
    testing::Values(
        StartCase{"defaults", 1000, 1000, 1000, 44100, {1000, 1000, 500, 1000, 44100}},
        // The frequency comes from the values as read, before the corrections.
        StartCase{"pause0", 0, 1000, 1000, 44100, {1000, 1000, 1000, 1000, 44100, true}},
        StartCase{
            "pulseNegative", 1000, -7, 1000, 44100, {1000, 1000, 1007, 1000, 44100, false, true}},
        StartCase{
            "size1", 1000, 1000, 1, 44100, {1000, 1000, 500, 1000, 44100, false, false, true}},
        StartCase{
            "size0", 1000, 1000, 0, 44100, {1000, 1000, 500, 1000, 44100, false, false, true}},
        StartCase{"size2", 1000, 1000, 2, 44100, {1000, 1000, 500, 2, 44100}},
        StartCase{"rateRaised",
                  10,
                  10,
                  1000,
                  44100,
                  {10, 10, 50000, 1000, 100000, false, false, false, true}},
        StartCase{"rateAtTwiceStays", 1000, 3000, 1000, 500, {1000, 3000, 250, 1000, 500}},
        StartCase{"rateNegative",
                  1000,
                  1000,
                  1000,
                  -5,
                  {1000, 1000, 500, 1000, 1000, false, false, false, true}},
        // INT32_MIN doubled wraps to 0 in 32 bits: a rate of 0 or more stays.
        StartCase{"zeroSum", 0, 0, 1000, 44100, {1000, 1000, INT32_MIN, 1000, 44100, true, true}},
        StartCase{"negativeHz",
                  -2000,
                  1000,
                  1000,
                  -5000,
                  {1000, 1000, -1000, 1000, -2000, true, false, false, true}},
        StartCase{"megahertz",
                  1,
                  0,
                  1000,
                  44100,
                  {1, 1000, 1000000, 1000, 2000000, false, true, false, true}}),
    [](const testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pulse
