#include "worker/Workerprotocol.h"

#include <chrono>
#include <utility>

int32_t ProgressCallback(int8_t code, int32_t value, std::string_view text, void* context) {
  auto* view = static_cast<IProgressView*>(context);
  if (!view || !IsKnownProgressCode(code)) return 0;
  try {
    TProgressEvent event;
    event.Code = code;
    event.Value = value;
    if (code == pcSetText) event.Text.assign(text);
    view->Deliver(std::move(event));
  } catch (...) {
    // A report that cannot be queued is lost; the worker goes on.
  }
  return 0;
}

TWorkerHead::~TWorkerHead() {
  if (Thread.joinable()) Thread.join();
}

bool TWorkerHead::Cancel() {
  uint8_t expected = wsRunning;
  return State.compare_exchange_strong(expected, wsCancelRequested);
}

bool TWorkerHead::Fail() {
  uint8_t expected = wsRunning;
  return State.compare_exchange_strong(expected, wsFailed);
}

int32_t TWorkerHead::Notify(TProgressCode code, int32_t value, std::string_view text) const {
  if (!Callback) return 0;
  try {
    return Callback(code, value, text, Context);
  } catch (...) {
    return 0;
  }
}

void RunWorker(TWorkerHead& head, TWorkerJob& job) noexcept {
  bool failed = false;
  try {
    if (job.Prepare && !job.Prepare()) {
      failed = true;
    } else {
      uint8_t expected = wsIdle;
      if (!head.State.compare_exchange_strong(expected, wsRunning)) {
        failed = true;  // a state nobody reset: do not run on it
      } else {
        if (job.Work) job.Work();
        head.Notify(pcFill);
      }
    }
  } catch (...) {
    failed = true;
  }
  try {
    if (job.CleanUp) job.CleanUp();
  } catch (...) {
    failed = true;
  }

  TProgressCode closing = pcFailed;
  uint8_t expected = wsRunning;
  if (failed) {
    head.State.store(wsFailed);
  } else if (head.State.compare_exchange_strong(expected, wsDone)) {
    closing = pcDone;
  } else if (expected == wsCancelRequested) {
    closing = pcCancelled;  // the state keeps the request
  } else {
    head.State.store(wsFailed);
  }
  head.Notify(closing);
}

bool LaunchWorker(TWorkerHead& head, IProgressView& view, std::string_view title, TWorkerJob job) {
  return LaunchWorkerWith(head, view, title, std::move(job),
                          [](std::function<void()> body) { return std::thread(std::move(body)); });
}

bool LaunchWorkerWith(TWorkerHead& head, IProgressView& view, std::string_view title, TWorkerJob job,
                      const TThreadStarter& startThread) {
  if (head.Thread.joinable()) return false;  // a run not yet collected
  head.Callback = ProgressCallback;
  head.Context = &view;
  view.SetText(title);
  try {
    head.Thread = startThread([&head, job = std::move(job)]() mutable { RunWorker(head, job); });
  } catch (...) {
    head.Thread = std::thread();
  }
  if (!head.Thread.joinable()) {
    head.Callback = nullptr;
    head.Context = nullptr;
    view.EndRun(woFailed);
    return false;
  }

  // Whatever the window does, the worker is joined before the state is read and reset.
  const auto collect = [&head] {
    head.Thread.join();
    head.Callback = nullptr;
    head.Context = nullptr;
    return head.State.exchange(wsIdle);
  };
  try {
    view.ShowModalUntilClosed();
  } catch (...) {
    // No window will wait for the worker any more: ask it to stop as soon as it runs.
    for (;;) {
      head.Cancel();
      const uint8_t state = head.State.load();
      if (state != wsIdle && state != wsRunning) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    collect();
    throw;
  }
  const uint8_t state = collect();
  const TWorkerOutcome outcome = state == wsDone              ? woDone
                                 : state == wsCancelRequested ? woCancelled
                                                              : woFailed;
  view.EndRun(outcome);
  return outcome == woDone;
}

TWorkerOutcome IProgressView::Run(const std::function<bool()>& operation) {
  LastOutcome = woFailed;
  if (operation()) return woDone;
  return LastOutcome == woCancelled ? woCancelled : woFailed;
}

void IProgressView::EndRun(TWorkerOutcome outcome) {
  LastOutcome = outcome;
  Ended(outcome);
}
