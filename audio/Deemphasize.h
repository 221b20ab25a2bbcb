#pragma once
#include <cstdint>

// Undoes the CD's 50/15 us pre-emphasis with a first-order shelving filter at 44100 Hz whose
// response follows the analog de-emphasis curve through the audible band, and
// scales the volume. Works in place on interleaved stereo 16-bit samples; the filter state
// carries over from one block to the next until Reset.
class TDeEmphsizer {
 public:
  struct TCoefficients {
    float T1, T2;  // time constants of the emphasis, 50 and 15 us
    float a1;      // pole
    float b0, b1;  // zero and gain
  };

  TDeEmphsizer();

  // The coefficients are shared by all instances and computed once per program run.
  static void InitCoefficients();
  static const TCoefficients& Coefficients();

  void Reset();
  void SetEnabled(bool enabled) { Enabled = enabled ? 1 : 0; }
  void SetVolume(unsigned int percent);
  void Process(int16_t* samples, int frames);
  static int16_t Saturate(float value);

  bool IsVolumeApplied() const { return VolumeFlag != 0; }
  float GetGain() const { return Gain; }

 private:
  uint8_t Enabled;
  uint8_t VolumeFlag;
  uint8_t FirstBlock;
  float Gain;
  float HistoryL[2];
  float HistoryR[2];
  float yL;
  float yR;
  int HistoryIndex;
};
