#include "worker/Workerprotocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <semaphore>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "worker/Headlessprogressview.h"

namespace {

// What the window showed after each report it applied.
struct TSeen {
  int8_t Code;
  int32_t Maximum;
  int32_t Position;
  std::string Status;
};

// The headless window plus a record of every report that reached it, before the window
// could drop any. OnEvent runs on the launching thread, where a user presses Cancel.
class TRecordingView : public IProgressView {
 public:
  std::function<void(const TProgressEvent&)> OnEvent;
  bool HoldWindowUntilClosingCodeArrived = false;

  TRecordingView()
      : Inner([this](const TProgressEvent& event, const TProgressModel& model) {
          Seen.push_back({event.Code, model.GetMaximum(), model.GetPosition(), model.GetStatusText()});
          if (OnEvent) OnEvent(event);
        }) {}

  void SetText(std::string_view text) override { Inner.SetText(text); }
  void Deliver(TProgressEvent event) override {
    {
      std::lock_guard lock(Lock);
      Delivered.push_back(event.Code);
      if (IsClosingCode(event.Code)) ClosingArrived.release();
    }
    Inner.Deliver(std::move(event));
  }
  void ShowModalUntilClosed() override {
    if (HoldWindowUntilClosingCodeArrived) ClosingArrived.acquire();
    Inner.ShowModalUntilClosed();
  }
  void Ended(TWorkerOutcome outcome) override { Outcomes.push_back(outcome); }

  // After the launcher returned (the worker is joined).
  std::vector<int8_t> DeliveredCodes() {
    std::lock_guard lock(Lock);
    return Delivered;
  }
  int ClosingCodes() {
    const auto codes = DeliveredCodes();
    return static_cast<int>(std::count_if(codes.begin(), codes.end(), IsClosingCode));
  }
  std::vector<int8_t> SeenCodes() const {
    std::vector<int8_t> codes;
    for (const auto& s : Seen) codes.push_back(s.Code);
    return codes;
  }

  THeadlessProgressView Inner;
  std::vector<TSeen> Seen;
  std::vector<TWorkerOutcome> Outcomes;  // as the launcher told them, once per run

 private:
  std::mutex Lock;
  std::vector<int8_t> Delivered;
  std::binary_semaphore ClosingArrived{0};
};

using Codes = std::vector<int8_t>;
using Outcomes = std::vector<TWorkerOutcome>;

TEST(WorkerProtocol, ReportsArriveInOrderAndADoneRunReturnsTrue) {
  TWorkerHead head;
  TRecordingView view;
  int cleanUps = 0;  // plain int: the join must order the worker's write before our read
  std::string buffer;
  TWorkerJob job;
  job.Work = [&] {
    head.Notify(pcSetRange, 3);
    buffer = "first";
    head.Notify(pcSetText, 0, buffer);
    buffer = "overwritten at once";  // the window must still show "first"
    head.Notify(pcStep);
    head.Notify(pcStepIt);
    head.Notify(pcSetPosition, 1);
    buffer = "second";
    head.Notify(pcSetText, 0, buffer);
  };
  job.CleanUp = [&] { ++cleanUps; };

  EXPECT_TRUE(LaunchWorker(head, view, "Searching tracks...", std::move(job)));
  EXPECT_EQ(head.GetState(), wsIdle);
  EXPECT_EQ(cleanUps, 1);

  const Codes expected{pcSetRange, pcSetText, pcStep, pcStepIt, pcSetPosition, pcSetText, pcFill, pcDone};
  EXPECT_EQ(view.DeliveredCodes(), expected);
  ASSERT_EQ(view.SeenCodes(), expected);
  const std::vector<int32_t> positions{0, 0, 1, 2, 1, 1, 3, 3};
  for (size_t i = 0; i < positions.size(); ++i) {
    EXPECT_EQ(view.Seen[i].Maximum, 3) << i;
    EXPECT_EQ(view.Seen[i].Position, positions[i]) << i;
  }
  EXPECT_EQ(view.Seen[1].Status, "first");
  EXPECT_EQ(view.Seen[4].Status, "first");
  EXPECT_EQ(view.Seen[5].Status, "second");
  EXPECT_EQ(view.Inner.GetModel().GetStartText(), "Searching tracks...");
  EXPECT_TRUE(view.Inner.GetModel().IsCloseRequested());
  EXPECT_FALSE(view.Inner.GetModel().IsTimerOn());
  EXPECT_EQ(view.Inner.GetShowCount(), 1);
  EXPECT_EQ(view.Outcomes, Outcomes{woDone});
}

TEST(WorkerProtocol, WorkerThatEndsBeforeTheWindowIsUp) {
  TWorkerHead head;
  TRecordingView view;
  view.HoldWindowUntilClosingCodeArrived = true;  // the window comes up after the worker ended
  TWorkerJob job;
  job.Work = [&] {
    head.Notify(pcSetRange, 2);
    head.Notify(pcStep);
    head.Notify(pcStep);
  };
  EXPECT_TRUE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_EQ(view.SeenCodes(), (Codes{pcSetRange, pcStep, pcStep, pcFill, pcDone}));
  EXPECT_EQ(view.Inner.GetShowCount(), 1);
  EXPECT_EQ(head.GetState(), wsIdle);
}

TEST(WorkerProtocol, CancelDuringPreparationHasNoEffect) {
  TWorkerHead head;
  TRecordingView view;
  std::binary_semaphore pressed{0};
  bool cancelChanged = true;
  TWorkerState stateAtPress = wsRunning;
  view.OnEvent = [&](const TProgressEvent& event) {
    if (event.Code == pcSetText && event.Text == "spinning up") {
      stateAtPress = head.GetState();
      cancelChanged = head.Cancel();
      pressed.release();
    }
  };
  bool worked = false;
  TWorkerJob job;
  job.Prepare = [&] {
    head.Notify(pcSetText, 0, "spinning up");
    pressed.acquire();  // preparation goes on only after the user pressed Cancel
    return true;
  };
  job.Work = [&] { worked = head.KeepGoing(); };

  EXPECT_TRUE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_EQ(stateAtPress, wsIdle);
  EXPECT_FALSE(cancelChanged);
  EXPECT_TRUE(worked);
  EXPECT_EQ(view.DeliveredCodes(), (Codes{pcSetText, pcFill, pcDone}));
}

TEST(WorkerProtocol, CancelDuringWorkEndsCancelledAndASecondPressChangesNothing) {
  TWorkerHead head;
  TRecordingView view;
  std::binary_semaphore pressed{0};
  bool firstPress = false;
  bool secondPress = true;
  TWorkerState afterSecondPress = wsIdle;
  view.OnEvent = [&](const TProgressEvent& event) {
    if (event.Code == pcStep && event.Value == 0) {
      firstPress = head.Cancel();
      secondPress = head.Cancel();
      afterSecondPress = head.GetState();
      pressed.release();
    }
  };
  int unitsDone = 0;
  int cleanUps = 0;
  TWorkerJob job;
  job.Work = [&] {
    head.Notify(pcSetRange, 10);
    for (int unit = 0; unit < 10 && head.KeepGoing(); ++unit) {
      ++unitsDone;
      head.Notify(pcStep, unit);
      if (unit == 0) pressed.acquire();
    }
  };
  job.CleanUp = [&] { ++cleanUps; };

  EXPECT_FALSE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_TRUE(firstPress);
  EXPECT_FALSE(secondPress);
  EXPECT_EQ(afterSecondPress, wsCancelRequested);
  EXPECT_EQ(unitsDone, 1);
  EXPECT_EQ(cleanUps, 1);
  EXPECT_EQ(view.DeliveredCodes(), (Codes{pcSetRange, pcStep, pcFill, pcCancelled}));
  EXPECT_EQ(view.Outcomes, Outcomes{woCancelled});  // told apart from a failure
  EXPECT_EQ(head.GetState(), wsIdle);
}

TEST(WorkerProtocol, CancelWithoutAWorkerChangesNothing) {
  TWorkerHead head;
  EXPECT_FALSE(head.Cancel());
  EXPECT_EQ(head.GetState(), wsIdle);
  EXPECT_FALSE(head.Fail());
  EXPECT_EQ(head.GetState(), wsIdle);
  EXPECT_EQ(head.Notify(pcDone), 0);  // no callback yet
}

// Where the exception is thrown from.
enum class TThrowIn { Prepare, Work, WorkAfterCancel, CleanUp };

std::string ThrowInName(const testing::TestParamInfo<TThrowIn>& info) {
  const char* names[] = {"Prepare", "Work", "WorkAfterCancel", "CleanUp"};
  return names[static_cast<int>(info.param)];
}

class WorkerException : public testing::TestWithParam<TThrowIn> {};

TEST_P(WorkerException, EndsFailedWithOneClosingCodeAJoinedThreadAndCleanUp) {
  const TThrowIn where = GetParam();
  TWorkerHead head;
  TRecordingView view;
  int cleanUps = 0;
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> alive = token;
  TWorkerJob job;
  job.Prepare = [&, token] {
    if (where == TThrowIn::Prepare) throw std::runtime_error("spin-up");
    return true;
  };
  job.Work = [&, token] {
    head.Notify(pcSetRange, 4);
    head.Notify(pcStep);
    if (where == TThrowIn::WorkAfterCancel) head.Cancel();
    if (where == TThrowIn::Work || where == TThrowIn::WorkAfterCancel) throw std::runtime_error("read");
  };
  job.CleanUp = [&, token] {
    ++cleanUps;
    if (where == TThrowIn::CleanUp) throw 42;
  };
  token.reset();

  EXPECT_FALSE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_EQ(cleanUps, 1);
  EXPECT_TRUE(alive.expired());  // the worker and everything it held are gone
  EXPECT_EQ(view.ClosingCodes(), 1);
  const auto delivered = view.DeliveredCodes();
  const auto seen = view.SeenCodes();
  ASSERT_FALSE(delivered.empty());
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(delivered.back(), pcFailed);
  EXPECT_EQ(seen.back(), pcFailed);
  EXPECT_EQ(view.Outcomes, Outcomes{woFailed});
  EXPECT_EQ(head.GetState(), wsIdle);
}

INSTANTIATE_TEST_SUITE_P(Everywhere, WorkerException,
                         testing::Values(TThrowIn::Prepare, TThrowIn::Work, TThrowIn::WorkAfterCancel,
                                         TThrowIn::CleanUp),
                         ThrowInName);

// The state the launcher saw, read by a view that looks at the state as the window closes.
TEST(WorkerProtocol, ExceptionLeavesTheStateFailedUntilCollected) {
  TWorkerHead head;
  TRecordingView view;
  TWorkerState stateAtClose = wsIdle;
  view.OnEvent = [&](const TProgressEvent& event) {
    if (IsClosingCode(event.Code)) stateAtClose = head.GetState();
  };
  TWorkerJob job;
  job.Work = [&] { throw std::logic_error("bug"); };
  EXPECT_FALSE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_EQ(stateAtClose, wsFailed);
  EXPECT_EQ(view.DeliveredCodes(), (Codes{pcFailed}));  // no fill after an exception
}

TEST(WorkerProtocol, PreparationFailureSendsOnlyFailedAndSkipsTheWork) {
  TWorkerHead head;
  TRecordingView view;
  TWorkerState stateAtClose = wsIdle;
  view.OnEvent = [&](const TProgressEvent& event) {
    if (IsClosingCode(event.Code)) stateAtClose = head.GetState();
  };
  bool worked = false;
  int cleanUps = 0;
  TWorkerJob job;
  job.Prepare = [] { return false; };
  job.Work = [&] { worked = true; };
  job.CleanUp = [&] { ++cleanUps; };
  EXPECT_FALSE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_FALSE(worked);
  EXPECT_EQ(cleanUps, 1);
  EXPECT_EQ(stateAtClose, wsFailed);
  EXPECT_EQ(view.DeliveredCodes(), (Codes{pcFailed}));
  EXPECT_EQ(head.GetState(), wsIdle);
}

TEST(WorkerProtocol, WorkThatReportsFailureEndsFailedUnlessCancelled) {
  for (const bool cancelFirst : {false, true}) {
    TWorkerHead head;
    TRecordingView view;
    bool keptGoing = true;
    TWorkerJob job;
    job.Work = [&] {
      if (cancelFirst) head.Cancel();
      head.Fail();
      keptGoing = head.KeepGoing();
    };
    EXPECT_FALSE(LaunchWorker(head, view, "t", std::move(job)));
    EXPECT_FALSE(keptGoing);
    EXPECT_EQ(view.DeliveredCodes(), (Codes{pcFill, cancelFirst ? int8_t(pcCancelled) : int8_t(pcFailed)}))
        << cancelFirst;
    EXPECT_EQ(view.Outcomes, Outcomes{cancelFirst ? woCancelled : woFailed}) << cancelFirst;
  }
}

TEST(WorkerProtocol, UnknownCodesAreIgnored) {
  TWorkerHead head;
  TRecordingView view;
  std::vector<int32_t> results;
  TWorkerJob job;
  job.Work = [&] {
    head.Notify(pcSetRange, 5);
    for (int code : {4, 5, 10, 12, -1, -128, 127}) {
      results.push_back(head.Notify(static_cast<TProgressCode>(code), 3, "x"));
      head.Notify(pcStep);
    }
  };
  EXPECT_TRUE(LaunchWorker(head, view, "t", std::move(job)));
  EXPECT_EQ(results, std::vector<int32_t>(7, 0));
  Codes expected{pcSetRange};
  for (int i = 0; i < 7; ++i) expected.push_back(pcStep);
  expected.push_back(pcFill);
  expected.push_back(pcDone);
  EXPECT_EQ(view.SeenCodes(), expected);
  EXPECT_EQ(view.Seen[7].Position, 7);
}

TEST(WorkerProtocol, ThreadThatCannotStartShowsNothing) {
  const TThreadStarter failures[] = {
      [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      },
      [](std::function<void()>) { return std::thread(); },
  };
  for (const auto& starter : failures) {
    TWorkerHead head;
    TRecordingView view;
    bool ran = false;
    TWorkerJob job;
    job.Prepare = [&] { return ran = true; };
    job.CleanUp = [&] { ran = true; };
    EXPECT_FALSE(LaunchWorkerWith(head, view, "t", std::move(job), starter));
    EXPECT_FALSE(ran);
    EXPECT_EQ(view.Inner.GetShowCount(), 0);
    EXPECT_TRUE(view.DeliveredCodes().empty());
    EXPECT_EQ(view.Outcomes, Outcomes{woFailed});
    EXPECT_EQ(head.GetState(), wsIdle);
    EXPECT_EQ(head.Notify(pcDone), 0);
    EXPECT_TRUE(view.DeliveredCodes().empty());  // the head no longer reaches the view
  }
}

TEST(WorkerProtocol, EachRunStartsFromIdleAndAFreshWindow) {
  TWorkerHead head;
  TRecordingView view;
  // First run leaves a full bar of 50 and a cancelled state behind.
  TWorkerJob first;
  first.Work = [&] {
    head.Notify(pcSetRange, 50);
    head.Cancel();
  };
  EXPECT_FALSE(LaunchWorker(head, view, "first", std::move(first)));
  EXPECT_EQ(view.Inner.GetModel().GetPosition(), 50);

  view.Seen.clear();
  TWorkerState stateAtStart = wsIdle;
  TWorkerJob second;
  second.Work = [&] {
    stateAtStart = head.GetState();
    head.Notify(pcSetText, 0, "again");
  };
  EXPECT_TRUE(LaunchWorker(head, view, "second", std::move(second)));
  EXPECT_EQ(stateAtStart, wsRunning);
  ASSERT_FALSE(view.Seen.empty());
  EXPECT_EQ(view.Seen[0].Maximum, 1);
  EXPECT_EQ(view.Seen[0].Position, 0);
  EXPECT_EQ(view.Inner.GetModel().GetStartText(), "second");
  EXPECT_EQ(view.Inner.GetShowCount(), 2);
}

// A window that fails as it opens: the launcher still stops and joins the worker.
class TBrokenView : public IProgressView {
 public:
  void SetText(std::string_view) override {}
  void Deliver(TProgressEvent) override {}
  void ShowModalUntilClosed() override { throw std::runtime_error("no window"); }
};

TEST(WorkerProtocol, WindowFailureStillStopsAndJoinsTheWorker) {
  TWorkerHead head;
  TBrokenView view;
  int cleanUps = 0;
  TWorkerJob job;
  job.Prepare = [] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // still preparing when the window fails
    return true;
  };
  job.Work = [&] {
    while (head.KeepGoing()) std::this_thread::yield();
  };
  job.CleanUp = [&] { ++cleanUps; };
  EXPECT_THROW(LaunchWorker(head, view, "t", std::move(job)), std::runtime_error);
  EXPECT_EQ(cleanUps, 1);
  EXPECT_EQ(head.GetState(), wsIdle);
}

// Cancel racing with the worker's own end: exactly one of them wins, and the result,
// the closing code and the state agree.
TEST(WorkerProtocol, CancelRacingTheEndGivesOneConsistentOutcome) {
  int done = 0;
  int cancelled = 0;
  for (int run = 0; run < 200; ++run) {
    TWorkerHead head;
    TRecordingView view;
    std::atomic<bool> over{false};
    std::thread user([&] {
      while (!over.load()) head.Cancel();
    });
    TWorkerJob job;
    job.Work = [&] {
      for (int unit = 0; unit < run % 4 && head.KeepGoing(); ++unit) head.Notify(pcStep);
    };
    const bool result = LaunchWorker(head, view, "t", std::move(job));
    over = true;
    user.join();
    ASSERT_EQ(view.ClosingCodes(), 1) << run;
    const auto codes = view.DeliveredCodes();
    ASSERT_FALSE(codes.empty()) << run;
    const int8_t closing = codes.back();
    ASSERT_EQ(result, closing == pcDone) << run;
    ASSERT_TRUE(closing == pcDone || closing == pcCancelled) << run;
    ASSERT_EQ(view.Outcomes, Outcomes{result ? woDone : woCancelled}) << run;
    ASSERT_EQ(head.GetState(), wsIdle);
    (result ? done : cancelled)++;
  }
  EXPECT_EQ(done + cancelled, 200);
}

}  // namespace
