#include "audio/Deemphasize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

constexpr double Rate = 44100.0;

std::vector<int16_t> Constant(int frames, int16_t left, int16_t right) {
  std::vector<int16_t> s(2 * frames);
  for (int f = 0; f < frames; ++f) {
    s[2 * f] = left;
    s[2 * f + 1] = right;
  }
  return s;
}

std::vector<int16_t> Sine(int frames, double hz, double amplitude) {
  std::vector<int16_t> s(2 * frames);
  for (int f = 0; f < frames; ++f) {
    const double v = amplitude * std::sin(2 * std::numbers::pi * hz * f / Rate);
    s[2 * f] = static_cast<int16_t>(std::lround(v));
    s[2 * f + 1] = static_cast<int16_t>(std::lround(-v));
  }
  return s;
}

double Rms(const std::vector<int16_t>& s, int channel, int fromFrame) {
  double sum = 0;
  int count = 0;
  for (size_t i = 2 * fromFrame + channel; i < s.size(); i += 2, ++count) sum += double(s[i]) * s[i];
  return std::sqrt(sum / count);
}

// The magnitude of the analogue 50/15 us de-emphasis curve the filter exists to undo
// the CD's pre-emphasis with.
double AnalogueDb(double hz) {
  const double w = 2 * std::numbers::pi * hz;
  return 20 * std::log10(std::abs(std::complex<double>(1, w * 15e-6) / std::complex<double>(1, w * 50e-6)));
}

TEST(DeEmphsizerTest, ResponseFollowsTheAnalogueCurveTo16kHz) {
  const auto& c = TDeEmphsizer::Coefficients();
  double worst = 0;
  for (double hz = 20; hz <= 16000; hz += 10) {
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / Rate);
    const double db = 20 * std::log10(std::abs((double(c.b0) + double(c.b1) * z1) / (1.0 - double(c.a1) * z1)));
    worst = std::max(worst, std::abs(db - AnalogueDb(hz)));
  }
  EXPECT_LT(worst, 0.1);
  EXPECT_DOUBLE_EQ(double(c.b0) + double(c.b1) + double(c.a1), 1.0) << "unit gain at 0 Hz";
}

TEST(DeEmphsizerTest, ConstantSignalPassesUnchanged) {
  for (int16_t v : {int16_t(1000), int16_t(1), int16_t(-1), int16_t(32767), int16_t(-32767), int16_t(0)}) {
    TDeEmphsizer filter;
    filter.SetEnabled(true);
    auto block = Constant(4096, v, v);
    const auto original = block;
    filter.Process(block.data(), 2048);
    filter.Process(block.data() + 4096, 2048);
    EXPECT_EQ(block, original) << "value " << v;
  }
}

TEST(DeEmphsizerTest, AlternatingFullScaleSettlesNearThreeTenths) {
  TDeEmphsizer filter;
  filter.SetEnabled(true);
  std::vector<int16_t> block(2 * 2000);
  for (size_t i = 0; i < block.size(); ++i) block[i] = (i / 2) % 2 ? -32767 : 32767;
  filter.Process(block.data(), 2000);
  // The analogue curve gives 0.33 at 22050 Hz and tends to 0.3 above.
  for (int f = 1900; f < 2000; ++f) {
    EXPECT_NEAR(std::abs(block[2 * f]), 0.33 * 32767, 0.015 * 32767) << "frame " << f;
    EXPECT_EQ(block[2 * f], block[2 * f + 1]);
  }
}

// Measured on a filtered sine, as a listener would hear it.
TEST(DeEmphsizerTest, SineGainFollowsTheAnalogueCurve) {
  for (double hz : {100.0, 1000.0, 5000.0, 10000.0, 16000.0}) {
    TDeEmphsizer filter;
    filter.SetEnabled(true);
    const int frames = 44100;
    auto block = Sine(frames, hz, 20000);
    const double in = Rms(block, 0, 4410);
    filter.Process(block.data(), frames);
    const double gain = Rms(block, 0, 4410) / in;
    EXPECT_NEAR(20 * std::log10(gain), AnalogueDb(hz), 0.1) << hz << " Hz";
    EXPECT_NEAR(Rms(block, 1, 4410) / in, gain, 1e-3) << "both channels alike";
  }
}

TEST(DeEmphsizerTest, StateCarriesAcrossBlocksUntilReset) {
  TDeEmphsizer whole;
  whole.SetEnabled(true);
  auto once = Sine(3000, 7000, 12000);
  auto split = once;
  whole.Process(once.data(), 3000);

  TDeEmphsizer parts;
  parts.SetEnabled(true);
  parts.Process(split.data(), 1000);
  parts.Process(split.data() + 2000, 1337);
  parts.Process(split.data() + 2 * 2337, 3000 - 2337);
  EXPECT_EQ(split, once);

  // A reset seeds the filter from the next sample again, as a fresh one does.
  parts.Reset();
  TDeEmphsizer fresh;
  fresh.SetEnabled(true);
  auto a = Sine(500, 3000, 9000);
  auto b = a;
  parts.Process(a.data(), 500);
  fresh.Process(b.data(), 500);
  EXPECT_EQ(a, b);
}

TEST(DeEmphsizerTest, VolumeWithoutFilterScalesAndTruncates) {
  TDeEmphsizer filter;
  filter.SetVolume(50);
  EXPECT_TRUE(filter.IsVolumeApplied());
  std::vector<int16_t> block = {-3, 3, 1000, -1001, 32767, -32768, 1, -1};
  filter.Process(block.data(), 4);
  EXPECT_EQ(block, (std::vector<int16_t>{-1, 1, 500, -500, 16383, -16384, 0, 0}));
}

TEST(DeEmphsizerTest, FullVolumeLeavesDataIdenticalAndZeroVolumeSilences) {
  std::vector<int16_t> data = {-32768, 32767, 0, -1, 1, 12345, -23456, 7};
  TDeEmphsizer full;
  full.SetVolume(100);
  EXPECT_FALSE(full.IsVolumeApplied());
  auto block = data;
  full.Process(block.data(), 4);
  EXPECT_EQ(block, data) << "-32768 too stays as it is";

  TDeEmphsizer mute;
  mute.SetVolume(0);
  block = data;
  mute.Process(block.data(), 4);
  EXPECT_EQ(block, std::vector<int16_t>(8, 0));
}

TEST(DeEmphsizerTest, VolumeAboveFullIsClampedWithOrWithoutFilter) {
  TDeEmphsizer filter;
  filter.SetVolume(250);
  EXPECT_FLOAT_EQ(filter.GetGain(), 1.0f);
  EXPECT_FALSE(filter.IsVolumeApplied());
  filter.SetVolume(0xFFFFFFFFu);  // a negative setting read as unsigned
  EXPECT_FLOAT_EQ(filter.GetGain(), 1.0f);

  filter.SetEnabled(true);
  auto block = Constant(100, 20000, -20000);
  filter.Process(block.data(), 100);
  EXPECT_EQ(block, Constant(100, 20000, -20000));
}

TEST(DeEmphsizerTest, VolumeAppliesWithTheFilter) {
  TDeEmphsizer filter;
  filter.SetEnabled(true);
  filter.SetVolume(25);
  auto block = Constant(64, 4000, -4000);
  filter.Process(block.data(), 64);
  EXPECT_EQ(block, Constant(64, 1000, -1000));
}

TEST(DeEmphsizerTest, DisabledFilterLeavesItsStateAlone) {
  TDeEmphsizer filter;
  auto block = Sine(100, 5000, 10000);
  const auto original = block;
  filter.Process(block.data(), 100);
  EXPECT_EQ(block, original);
  // The first filtered frame still seeds the filter: a constant block stays constant.
  filter.SetEnabled(true);
  auto constant = Constant(50, -777, 777);
  filter.Process(constant.data(), 50);
  EXPECT_EQ(constant, Constant(50, -777, 777));
}

TEST(DeEmphsizerTest, SaturateTruncatesAndClampsSymmetrically) {
  EXPECT_EQ(TDeEmphsizer::Saturate(0.9f), 0);
  EXPECT_EQ(TDeEmphsizer::Saturate(-0.9f), 0);
  EXPECT_EQ(TDeEmphsizer::Saturate(1.5f), 1);
  EXPECT_EQ(TDeEmphsizer::Saturate(-1.5f), -1);
  EXPECT_EQ(TDeEmphsizer::Saturate(32767.5f), 32767);
  EXPECT_EQ(TDeEmphsizer::Saturate(32768.0f), 32767);
  EXPECT_EQ(TDeEmphsizer::Saturate(1e9f), 32767);
  EXPECT_EQ(TDeEmphsizer::Saturate(-32767.5f), -32767);
  EXPECT_EQ(TDeEmphsizer::Saturate(-32768.0f), -32767);
  EXPECT_EQ(TDeEmphsizer::Saturate(-1e9f), -32767);
  EXPECT_EQ(TDeEmphsizer::Saturate(std::nanf("")), 0);
  EXPECT_EQ(TDeEmphsizer::Saturate(INFINITY), 32767);
}

TEST(DeEmphsizerTest, StepResponseRisesMonotonicallyToTheNewLevel) {
  TDeEmphsizer filter;
  filter.SetEnabled(true);
  auto block = Constant(10, -30000, 30000);
  filter.Process(block.data(), 10);
  auto step = Constant(200, 30000, -30000);
  filter.Process(step.data(), 200);
  const auto& c = TDeEmphsizer::Coefficients();
  EXPECT_NEAR(step[0], c.b0 * 30000 - (c.b1 + c.a1) * 30000, 2);
  for (int f = 1; f < 200; ++f) {
    EXPECT_GE(step[2 * f], step[2 * f - 2]);
    EXPECT_EQ(step[2 * f + 1], -step[2 * f]);
  }
  EXPECT_NEAR(step[398], 30000, 1);
}

}  // namespace
