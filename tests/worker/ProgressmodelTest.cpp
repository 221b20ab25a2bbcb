#include "worker/Progressmodel.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "worker/Workerprotocol.h"

namespace {

TProgressEvent Event(int8_t code, int32_t value = 0, std::string text = {}) {
  return TProgressEvent{code, value, std::move(text)};
}

auto Snapshot(const TProgressModel& m) {
  return std::make_tuple(m.GetCaption(), m.GetStartText(), m.GetStatusText(), m.GetTimeLabel(), m.GetMaximum(),
                         m.GetPosition(), m.GetTickCount(), m.GetElapsedSeconds(), m.IsTimerOn(),
                         m.IsCloseRequested());
}

TEST(FormatElapsedTime, MinutesFirstAndNeverWrapped) {
  EXPECT_EQ(FormatElapsedTime(0), "00:00");
  EXPECT_EQ(FormatElapsedTime(7), "00:07");
  EXPECT_EQ(FormatElapsedTime(61), "01:01");
  EXPECT_EQ(FormatElapsedTime(3599), "59:59");
  EXPECT_EQ(FormatElapsedTime(3600), "60:00");
  EXPECT_EQ(FormatElapsedTime(5999), "99:59");
  EXPECT_EQ(FormatElapsedTime(6000), "100:00");
}

TEST(ProgressModel, ShowStartsAfreshWhateverThePreviousRunLeft) {
  TProgressModel m;
  m.SetText("Searching tracks...");
  m.Show();
  m.Apply(Event(pcSetRange, 50));
  m.Apply(Event(pcSetPosition, 20));
  m.Apply(Event(pcSetText, 0, "later"));
  for (int i = 0; i < 12; ++i) m.Tick();
  m.Apply(Event(pcDone));

  m.SetText("Ripping Track 02...");
  m.Show();
  EXPECT_EQ(m.GetCaption(), "Ripping Track 02...");
  EXPECT_EQ(m.GetStatusText(), "Ripping Track 02...");
  EXPECT_EQ(m.GetTimeLabel(), "00:00");
  EXPECT_EQ(m.GetTickCount(), 0);
  EXPECT_EQ(m.GetElapsedSeconds(), 0);
  EXPECT_EQ(m.GetMaximum(), 1);
  EXPECT_EQ(m.GetPosition(), 0);
  EXPECT_TRUE(m.IsTimerOn());
  EXPECT_FALSE(m.IsCloseRequested());
}

TEST(ProgressModel, TicksCountFivePerSecondAndCopyTheStatusToTheCaption) {
  TProgressModel m;
  m.SetText("start");
  m.Show();
  m.Apply(Event(pcSetText, 0, "working"));
  EXPECT_EQ(m.GetCaption(), "start");  // only a tick shows the status text
  for (int i = 0; i < 4; ++i) m.Tick();
  EXPECT_EQ(m.GetCaption(), "working");
  EXPECT_EQ(m.GetElapsedSeconds(), 0);
  EXPECT_EQ(m.GetTimeLabel(), "00:00");
  m.Tick();
  EXPECT_EQ(m.GetElapsedSeconds(), 1);
  EXPECT_EQ(m.GetTimeLabel(), "00:01");

  // 59:59 -> 60:00, and past 99:59 a third minute digit.
  while (m.GetElapsedSeconds() < 3599) m.Tick();
  EXPECT_EQ(m.GetTimeLabel(), "59:59");
  for (int i = 0; i < 5; ++i) m.Tick();
  EXPECT_EQ(m.GetTimeLabel(), "60:00");
  while (m.GetElapsedSeconds() < 6000) m.Tick();
  EXPECT_EQ(m.GetTimeLabel(), "100:00");
  EXPECT_EQ(m.GetTickCount(), 6000 * 5);
}

TEST(ProgressModel, TimerStopsAtTheClosingCode) {
  for (int8_t closing : {pcFailed, pcDone, pcCancelled}) {
    TProgressModel m;
    m.Show();
    m.Tick();
    EXPECT_TRUE(m.Apply(Event(closing))) << int(closing);
    EXPECT_FALSE(m.IsTimerOn());
    EXPECT_TRUE(m.IsCloseRequested());
    const auto before = Snapshot(m);
    for (int i = 0; i < 10; ++i) m.Tick();
    EXPECT_EQ(Snapshot(m), before);
  }
}

TEST(ProgressModel, BarCodes) {
  TProgressModel m;
  m.Show();
  EXPECT_FALSE(m.Apply(Event(pcSetRange, 10)));
  EXPECT_EQ(m.GetMaximum(), 10);
  EXPECT_EQ(m.GetPosition(), 0);
  m.Apply(Event(pcStep));
  m.Apply(Event(pcStepIt));
  EXPECT_EQ(m.GetPosition(), 2);
  m.Apply(Event(pcSetPosition, 7));
  EXPECT_EQ(m.GetPosition(), 7);
  m.Apply(Event(pcSetRange, 20));  // a new range starts from 0
  EXPECT_EQ(m.GetPosition(), 0);
  m.Apply(Event(pcFill));
  EXPECT_EQ(m.GetPosition(), 20);
  EXPECT_EQ(m.GetShownPosition(), 20);
  m.Apply(Event(pcSetText, 0, "abc"));
  EXPECT_EQ(m.GetStatusText(), "abc");
  EXPECT_FALSE(m.IsCloseRequested());
}

TEST(ProgressModel, PositionBeyondTheRangeIsKeptButShownClamped) {
  TProgressModel m;
  m.Show();
  m.Apply(Event(pcSetRange, 0));
  m.Apply(Event(pcStep));
  EXPECT_EQ(m.GetMaximum(), 0);
  EXPECT_EQ(m.GetPosition(), 1);
  EXPECT_EQ(m.GetShownPosition(), 0);
  m.Apply(Event(pcSetRange, 5));
  m.Apply(Event(pcSetPosition, -3));
  EXPECT_EQ(m.GetShownPosition(), 0);
  m.Apply(Event(pcSetPosition, 9));
  EXPECT_EQ(m.GetShownPosition(), 5);
  m.Apply(Event(pcSetPosition, std::numeric_limits<int32_t>::max()));
  m.Apply(Event(pcStep));
  EXPECT_EQ(m.GetPosition(), std::numeric_limits<int32_t>::max());
}

TEST(ProgressModel, UnknownCodesChangeNothing) {
  TProgressModel m;
  m.SetText("t");
  m.Show();
  m.Apply(Event(pcSetRange, 8));
  m.Apply(Event(pcSetPosition, 3));
  const auto before = Snapshot(m);
  for (int8_t code : {4, 5, 10, 12, -1, -128, 127}) {
    EXPECT_FALSE(m.Apply(Event(code, 99, "ignored"))) << int(code);
    EXPECT_EQ(Snapshot(m), before) << int(code);
  }
}

// A view that only records what reaches it.
class TRecordOnlyView : public IProgressView {
 public:
  void SetText(std::string_view) override {}
  void Deliver(TProgressEvent event) override { Events.push_back(std::move(event)); }
  void ShowModalUntilClosed() override {}
  std::vector<TProgressEvent> Events;
};

TEST(ProgressCallback, CopiesTheTextAndDropsUnknownCodes) {
  TRecordOnlyView view;
  std::string buffer = "Track 01";
  EXPECT_EQ(ProgressCallback(pcSetText, 0, buffer, &view), 0);
  buffer.assign("Track 02 and a longer text that reallocates the buffer");
  EXPECT_EQ(ProgressCallback(pcSetText, 0, buffer, &view), 0);
  EXPECT_EQ(ProgressCallback(pcStep, 0, "not a text code", &view), 0);
  for (int8_t code : {4, 5, 10, 12, -1}) EXPECT_EQ(ProgressCallback(code, 1, "x", &view), 0);
  EXPECT_EQ(ProgressCallback(pcSetPosition, 42, {}, &view), 0);

  ASSERT_EQ(view.Events.size(), 4u);
  EXPECT_EQ(view.Events[0].Text, "Track 01");
  EXPECT_EQ(view.Events[1].Text, "Track 02 and a longer text that reallocates the buffer");
  EXPECT_EQ(view.Events[2].Code, pcStep);
  EXPECT_EQ(view.Events[2].Text, "");
  EXPECT_EQ(view.Events[3].Code, pcSetPosition);
  EXPECT_EQ(view.Events[3].Value, 42);
}

TEST(ProgressCallback, WithoutAViewNothingHappens) {
  EXPECT_EQ(ProgressCallback(pcDone, 0, {}, nullptr), 0);
  EXPECT_EQ(ProgressCallback(pcSetText, 0, "x", nullptr), 0);
}

}  // namespace
