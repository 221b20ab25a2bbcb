#include "worker/Progressmodel.h"

#include <algorithm>
#include <cstdio>
#include <limits>

std::string FormatElapsedTime(int32_t elapsedSeconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2d:%.2d", elapsedSeconds / 60, elapsedSeconds % 60);
  return text;
}

void TProgressModel::SetText(std::string_view text) {
  StartText.assign(text);
  StatusText.assign(text);
}

void TProgressModel::Show() {
  Caption = StartText;
  TickCount = 0;
  ElapsedSeconds = 0;
  TimeLabel = FormatElapsedTime(0);
  TimerOn = true;
  CloseRequested = false;
  Maximum = 1;
  Position = 0;
}

void TProgressModel::Tick() {
  if (!TimerOn) return;
  Caption = StatusText;
  if (TickCount == std::numeric_limits<int32_t>::max()) return;
  ++TickCount;
  if (TickCount % kTicksPerSecond == 0) ++ElapsedSeconds;
  TimeLabel = FormatElapsedTime(ElapsedSeconds);
}

bool TProgressModel::Apply(const TProgressEvent& event) {
  switch (event.Code) {
    case pcFailed:
    case pcDone:
    case pcCancelled:
      Close();
      return true;
    case pcStep:
    case pcStepIt:
      Step();
      break;
    case pcSetRange:
      SetRange(event.Value);
      break;
    case pcFill:
      Fill();
      break;
    case pcSetText:
      SetStatusText(event.Text);
      break;
    case pcSetPosition:
      SetPosition(event.Value);
      break;
    default:
      break;
  }
  return false;
}

void TProgressModel::SetRange(int32_t maximum) {
  Maximum = maximum;
  Position = 0;
}

void TProgressModel::SetPosition(int32_t position) { Position = position; }

void TProgressModel::Step() {
  if (Position < std::numeric_limits<int32_t>::max()) ++Position;
}

void TProgressModel::Fill() { Position = Maximum; }

void TProgressModel::SetStatusText(std::string_view text) { StatusText.assign(text); }

void TProgressModel::Close() {
  TimerOn = false;
  CloseRequested = true;
}

int32_t TProgressModel::GetShownPosition() const {
  return std::clamp(Position, 0, std::max(Maximum, 0));
}
