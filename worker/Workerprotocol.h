#pragma once
// How a long operation runs: a worker thread reports through one callback while the
// launching thread shows the progress window until a closing code arrives.
//
// Guarantees: the state changes only by compare-and-swap or by the worker itself; every
// worker end, an exception included, sends exactly one closing code as its last report;
// the launcher joins the worker before it reads the state.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <thread>

#include "worker/Progresscodes.h"

// The progress window as the protocol sees it. The Qt dialog and the headless view
// implement it.
class IProgressView {
 public:
  virtual ~IProgressView() = default;
  // Title of the next run; called before the window is shown.
  virtual void SetText(std::string_view text) = 0;
  // Called on the worker's thread. Must return at once and keep the order of the events;
  // an event that arrives before the window is shown waits for it.
  virtual void Deliver(TProgressEvent event) = 0;
  // Shows the window and returns once a closing code has been handled.
  virtual void ShowModalUntilClosed() = 0;
  // Called by the launcher on its own thread after the worker was joined (or could not be
  // started): how the run ended.
  virtual void Ended(TWorkerOutcome outcome) { static_cast<void>(outcome); }

  // Runs an engine operation that may run a worker behind this view: done when it
  // succeeded, else cancelled when its run ended so; failed otherwise, also when it
  // refused before starting one.
  TWorkerOutcome Run(const std::function<bool()>& operation);
  // The launcher's end of a run: keeps the outcome for Run, then Ended.
  void EndRun(TWorkerOutcome outcome);

 private:
  TWorkerOutcome LastOutcome = woFailed;
};

// Code, value, text (for pcSetText) and context; returns 0.
using TProgressCallback = int32_t (*)(int8_t code, int32_t value, std::string_view text, void* context);

// Hands a report to the IProgressView given as context, with its text copied. Unknown
// codes are dropped. Never throws; always 0.
int32_t ProgressCallback(int8_t code, int32_t value, std::string_view text, void* context);

// The pieces one operation supplies. Empty functions are skipped.
struct TWorkerJob {
  // Drive spin-up and the like; false ends the run as failed before it runs.
  std::function<bool()> Prepare;
  // The work loop: reports through the head's Notify and leaves when its
  // KeepGoing() is false.
  std::function<void()> Work;
  // Runs on every end (done, cancelled, failed, preparation failure, exception), before
  // the closing code: restores the drive (page 01, block length, tray lock).
  std::function<void()> CleanUp;
};

// How the launcher starts the worker thread (tests supply one that fails).
using TThreadStarter = std::function<std::thread(std::function<void()>)>;

// The worker head every engine that runs workers holds.
class TWorkerHead {
 public:
  TWorkerHead() = default;
  // Joins a worker that a launcher left behind; a launcher never does.
  ~TWorkerHead();
  TWorkerHead(const TWorkerHead&) = delete;
  TWorkerHead& operator=(const TWorkerHead&) = delete;

  TWorkerState GetState() const { return static_cast<TWorkerState>(State.load()); }
  // wsRunning -> wsCancelRequested; any other state stays. True when it changed.
  bool Cancel();
  // For the work loop: false once the run should stop (cancelled or failed).
  bool KeepGoing() const { return State.load() == wsRunning; }
  // The work reports that it cannot finish: wsRunning -> wsFailed. A pending cancel
  // request stays, so the run then ends as cancelled.
  bool Fail();
  // Sends a report through the callback; exceptions stay inside.
  int32_t Notify(TProgressCode code, int32_t value = 0, std::string_view text = {}) const;

 private:
  friend bool LaunchWorkerWith(TWorkerHead&, IProgressView&, std::string_view, TWorkerJob,
                               const TThreadStarter&);
  friend void RunWorker(TWorkerHead&, TWorkerJob&) noexcept;

  std::thread Thread;
  TProgressCallback Callback = nullptr;
  void* Context = nullptr;
  std::atomic<uint8_t> State{wsIdle};
};

// The worker's thread procedure: preparation, wsRunning, work, pcFill, clean-up, then
// exactly one closing code. Still running -> wsDone, pcDone; cancel requested ->
// pcCancelled; anything else, a failed preparation or an exception -> wsFailed, pcFailed.
// (The TOC workers' "done unless cancelled" comes to the same: while they run, only they
// and Cancel change the state.)
void RunWorker(TWorkerHead& head, TWorkerJob& job) noexcept;

// The launcher: callback and context to the view, the view's title, the thread, the
// window until closed, join, then the state is read and reset to wsIdle and the view is
// told the outcome (wsDone done, wsCancelRequested cancelled, anything else failed). True
// only for done. When the thread cannot be started: false, nothing shown, the view told
// of a failure, the state unchanged.
bool LaunchWorker(TWorkerHead& head, IProgressView& view, std::string_view title, TWorkerJob job);

// The same with the thread start supplied by the caller.
bool LaunchWorkerWith(TWorkerHead& head, IProgressView& view, std::string_view title, TWorkerJob job,
                      const TThreadStarter& startThread);
