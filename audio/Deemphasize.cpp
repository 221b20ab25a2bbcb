#include "audio/Deemphasize.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr long double kRate = 44100.0L;
// The shelf's zero is placed so that the response meets the analog curve here; with the
// pole placed by the impulse-invariant map this keeps the whole band up to 16 kHz within
// a few hundredths of a dB. (The plain bilinear map bends the curve by up to 1 dB there.)
constexpr long double kMatchHz = 14000.0L;

// Power gain of the analog 50/15 us de-emphasis at `hz`.
long double AnalogPower(long double t1, long double t2, long double hz) {
  const long double w = 2.0L * std::numbers::pi_v<long double> * hz;
  return (1.0L + w * w * t2 * t2) / (1.0L + w * w * t1 * t1);
}

// The zero z of (1 - z e^-jw) / (1 - pole e^-jw), scaled to unit gain at 0 Hz, whose
// power gain at `hz` equals `power`: the root inside the unit circle of
// (1 - R) z^2 + 2 (R - cos w) z + (1 - R) = 0.
long double ZeroFor(long double pole, long double hz, long double power) {
  const long double c = std::cos(2.0L * std::numbers::pi_v<long double> * hz / kRate);
  const long double r = power * (1.0L - 2.0L * pole * c + pole * pole) / ((1.0L - pole) * (1.0L - pole));
  const long double a = 1.0L - r;
  const long double b = 2.0L * (r - c);
  const long double root = std::sqrt(b * b - 4.0L * a * a);
  const long double z1 = (-b + root) / (2.0L * a);
  const long double z2 = (-b - root) / (2.0L * a);
  return std::fabs(z1) < std::fabs(z2) ? z1 : z2;
}

TDeEmphsizer::TCoefficients ComputeCoefficients() {
  TDeEmphsizer::TCoefficients c{};
  c.T1 = 0.00005f;
  c.T2 = 0.000015f;
  const long double t1 = c.T1;
  const long double t2 = c.T2;
  c.a1 = static_cast<float>(std::exp(-1.0L / (kRate * t1)));
  const long double pole = c.a1;
  const long double zero = ZeroFor(pole, kMatchHz, AnalogPower(t1, t2, kMatchHz));
  c.b0 = static_cast<float>((1.0L - pole) / (1.0L - zero));
  // b1 takes what is left of unit gain at 0 Hz, so a constant signal comes out exactly
  // as it went in (the three floats sum to 1 without rounding).
  c.b1 = static_cast<float>(1.0L - pole - static_cast<long double>(c.b0));
  return c;
}

float Filter(const TDeEmphsizer::TCoefficients& c, float newest, float older, float y) {
  return static_cast<float>(static_cast<long double>(c.b0) * newest +
                            static_cast<long double>(c.b1) * older +
                            static_cast<long double>(c.a1) * y);
}

}  // namespace

const TDeEmphsizer::TCoefficients& TDeEmphsizer::Coefficients() {
  static const TCoefficients coefficients = ComputeCoefficients();
  return coefficients;
}

void TDeEmphsizer::InitCoefficients() { (void)Coefficients(); }

TDeEmphsizer::TDeEmphsizer() : Enabled(0), VolumeFlag(0), Gain(1.0f) {
  InitCoefficients();
  Reset();
}

void TDeEmphsizer::Reset() {
  HistoryL[0] = HistoryL[1] = 0.0f;
  HistoryR[0] = HistoryR[1] = 0.0f;
  yL = yR = 0.0f;
  HistoryIndex = 1;
  FirstBlock = 1;
}

void TDeEmphsizer::SetVolume(unsigned int percent) {
  // A volume control runs from 0 to 100 %; anything above would only drive samples into
  // the clamp, and only while the filter is on.
  percent = std::min(percent, 100u);
  Gain = static_cast<float>(percent * 0.01);
  VolumeFlag = Gain <= 0.99999f ? 1 : 0;
}

int16_t TDeEmphsizer::Saturate(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 32767.0f) return 32767;
  if (value <= -32767.0f) return -32767;
  return static_cast<int16_t>(value);  // truncates toward zero
}

void TDeEmphsizer::Process(int16_t* samples, int frames) {
  if (samples == nullptr || frames <= 0) return;
  if (Enabled) {
    const TCoefficients& c = Coefficients();
    for (int f = 0; f < frames; ++f) {
      int16_t* frame = samples + 2 * static_cast<long>(f);
      HistoryIndex = 1 - HistoryIndex;
      const int newest = HistoryIndex;
      const int older = 1 - HistoryIndex;
      HistoryL[newest] = frame[0];
      HistoryR[newest] = frame[1];
      if (FirstBlock) {
        HistoryL[older] = yL = HistoryL[newest];
        HistoryR[older] = yR = HistoryR[newest];
        FirstBlock = 0;
      }
      yL = Filter(c, HistoryL[newest], HistoryL[older], yL);
      yR = Filter(c, HistoryR[newest], HistoryR[older], yR);
      const float outL = yL * Gain;
      const float outR = yR * Gain;
      frame[0] = Saturate(outL);
      frame[1] = Saturate(outR);
    }
  } else if (VolumeFlag) {
    const long values = 2 * static_cast<long>(frames);
    for (long i = 0; i < values; ++i) {
      const float scaled = samples[i] * Gain;
      samples[i] = Saturate(scaled);
    }
  }
}
