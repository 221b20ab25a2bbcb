#pragma once
// What the progress window shows, and how each report and timer tick changes it.
// Pure: the Qt dialog and the headless view both render this model.
#include <cstdint>
#include <string>
#include <string_view>

#include "worker/Progresscodes.h"

// "%.2d:%.2d" of minutes and seconds; minutes are not wrapped (100 minutes show "100:00").
std::string FormatElapsedTime(int32_t elapsedSeconds);

class TProgressModel {
 public:
  static constexpr int kTickMilliseconds = 200;
  static constexpr int kTicksPerSecond = 5;

  // Title of the next run: start text and status text.
  void SetText(std::string_view text);
  // The window appears: caption, clock and bar start afresh.
  void Show();
  // One timer tick; does nothing while the timer is off.
  void Tick();
  // Applies one report; true when it is a closing code. Unknown codes change nothing.
  bool Apply(const TProgressEvent& event);

  void SetRange(int32_t maximum);
  void SetPosition(int32_t position);
  void Step();
  void Fill();
  void SetStatusText(std::string_view text);
  void Close();

  const std::string& GetCaption() const { return Caption; }
  const std::string& GetStartText() const { return StartText; }
  const std::string& GetStatusText() const { return StatusText; }
  const std::string& GetTimeLabel() const { return TimeLabel; }
  int32_t GetMaximum() const { return Maximum; }
  // The position as reported; it may lie outside 0..maximum.
  int32_t GetPosition() const { return Position; }
  // The position a bar control shows: clamped into 0..maximum.
  int32_t GetShownPosition() const;
  int32_t GetTickCount() const { return TickCount; }
  int32_t GetElapsedSeconds() const { return ElapsedSeconds; }
  bool IsTimerOn() const { return TimerOn; }
  bool IsCloseRequested() const { return CloseRequested; }

 private:
  int32_t TickCount = 0;
  int32_t ElapsedSeconds = 0;
  std::string StartText;
  std::string StatusText;
  std::string Caption;
  std::string TimeLabel = "00:00";
  int32_t Maximum = 100;
  int32_t Position = 0;
  bool TimerOn = false;
  bool CloseRequested = false;
};
