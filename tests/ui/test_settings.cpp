// The settings step of Start and the readout on real fields: what is read,
// what is corrected and written back, and the job that results.
#include "platform/memory.h"
#include "window_fixture.h"

namespace {

using namespace ui;

struct PrepareCase {
  const char *pause, *pulse, *size, *rate;                      // field texts before Start
  pulse::PulseJob job;                                          // the job handed over
  const char *pauseAfter, *pulseAfter, *sizeAfter, *rateAfter;  // field texts after
};

const PrepareCase kPrepareCases[] = {
    {"1000", "1000", "1000", "44100", {500, 1000, 127, 44100}, "1000", "1000", "1000", "44100"},
    // The frequency comes from the values as read, before the corrections.
    {"0", "1000", "1000", "44100", {1000, 1000, 127, 44100}, "1000", "1000", "1000", "44100"},
    {"", "-5", "1", "44100", {-200000, 1000, 127, 44100}, "1000", "1000", "1000", "44100"},
    {"1000", "1000", "2", "44100", {500, 2, 127, 44100}, "1000", "1000", "2", "44100"},
    {"10", "10", "1000", "44100", {50000, 1000, 127, 100000}, "10", "10", "1000", "100000"},
    {"1", "2", "0", "0", {333333, 1000, 127, 666666}, "1", "2", "1000", "666666"},
    // A zero sum: the readout value, doubled in 32 bits, wraps to 0.
    {"0", "0", "1000", "-3", {INT32_MIN, 1000, 127, 0}, "1000", "1000", "1000", "0"},
};

TEST_F(WindowTest, PrepareRunCorrectsWritesBackAndFillsTheJob) {
  for (const PrepareCase& c : kPrepareCases) {
    SCOPED_TRACE(std::string(c.pause) + "/" + c.pulse + "/" + c.size + "/" + c.rate);
    platform::ControlSetText(FieldPause, c.pause);
    platform::ControlSetText(FieldPulse, c.pulse);
    platform::ControlSetText(FieldSize, c.size);
    platform::ControlSetText(FieldRate, c.rate);
    Pump();
    const std::string readoutBefore = Text(LabelFrequency);
    pulse::PulseJob* job = pulse::PrepareRun();
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->frequencyHz, c.job.frequencyHz);
    EXPECT_EQ(job->durationMs, c.job.durationMs);
    EXPECT_EQ(job->amplitude, c.job.amplitude);
    EXPECT_EQ(job->sampleRate, c.job.sampleRate);
    EXPECT_EQ(pulse::durationMs, c.job.durationMs);
    EXPECT_EQ(pulse::sampleRate, c.job.sampleRate);
    EXPECT_EQ(pulse::pauseUs.load(), pulse::ParseFieldInteger(c.pauseAfter));
    EXPECT_EQ(Text(FieldPause), c.pauseAfter);
    EXPECT_EQ(Text(FieldPulse), c.pulseAfter);
    EXPECT_EQ(Text(FieldSize), c.sizeAfter);
    EXPECT_EQ(Text(FieldRate), c.rateAfter);
    EXPECT_EQ(Text(LabelFrequency), readoutBefore);  // the step itself writes no readout
    platform::MemFree(job);
  }
}

TEST_F(WindowTest, CorrectionsComeBackAsFieldEventsAndRefreshTheReadout) {
  platform::ControlSetText(FieldPause, "0");
  Pump();
  EXPECT_EQ(Text(LabelFrequency), "f=1000 Hz");
  platform::MemFree(pulse::PrepareRun());
  const auto events = ControlEvents(Pump());
  EXPECT_NE(std::find(events.begin(), events.end(), FieldPause), events.end());
  EXPECT_EQ(Text(LabelFrequency), "f=500 Hz");
}

struct ReadoutCase {
  const char *pause, *pulse, *readout;
};

const ReadoutCase kReadoutCases[] = {
    {"1000", "1000", "f=500 Hz"},      {"40000", "40000", "f=12 Hz"},
    {"1", "2", "f=333333 Hz"},         {"2147483647", "2147483647", "f=0 Hz"},
    {"", "1000", "f=1000 Hz"},         {"0", "", "f=-2147483648 Hz"},
    {"4294966296", "0", "f=-1000 Hz"}, {" +25x", "-7", "f=55556 Hz"},
};

TEST_F(WindowTest, ReadoutShowsTheRoundedFrequency) {
  for (const ReadoutCase& c : kReadoutCases) {
    SCOPED_TRACE(std::string(c.pause) + "/" + c.pulse);
    platform::ControlSetText(FieldPause, c.pause);
    platform::ControlSetText(FieldPulse, c.pulse);
    Pump();
    EXPECT_EQ(Text(LabelFrequency), c.readout);
  }
}

}  // namespace
