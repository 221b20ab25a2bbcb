#include "audio/Deemphasize.h"

#include <algorithm>
#include <cmath>

namespace {

TDeEmphsizer::TCoefficients ComputeCoefficients() {
  TDeEmphsizer::TCoefficients c{};
  c.T1 = 0.00005f;
  c.T2 = 0.000015f;
  const long double t1 = c.T1;
  const long double t2 = c.T2;
  c.a = static_cast<float>(std::tan(0.5L / t1 * (1.0L / 44100.0L)));
  const long double a = c.a;
  c.a1 = static_cast<float>((1.0L - a) / (1.0L + a));
  const long double a1 = c.a1;
  c.b0 = static_cast<float>(a / (1.0L + a) * (t1 - t2) / t1 + t2 / t1);
  c.b1 = static_cast<float>(a / (1.0L + a) * (t1 - t2) / t1 - (t2 / t1) * a1);
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
