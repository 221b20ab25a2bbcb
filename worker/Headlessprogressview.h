#pragma once
// A progress window without a display: reports queue up from the worker and the
// launching thread applies them in order to a TProgressModel until a closing code.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "worker/Progressmodel.h"
#include "worker/Workerprotocol.h"

class THeadlessProgressView final : public IProgressView {
 public:
  // Called on the launching thread after each report has been applied, like a window
  // repainting; it may press Cancel on the running engine.
  using TObserver = std::function<void(const TProgressEvent& event, const TProgressModel& model)>;

  explicit THeadlessProgressView(TObserver observer = {});

  void SetText(std::string_view text) override;
  void Deliver(TProgressEvent event) override;
  void ShowModalUntilClosed() override;

  // Launching thread only, while no window is up.
  const TProgressModel& GetModel() const { return Model; }
  int GetShowCount() const { return ShowCount; }

 private:
  TObserver Observer;
  TProgressModel Model;
  int ShowCount = 0;

  std::mutex QueueLock;
  std::condition_variable QueueSignal;
  std::deque<TProgressEvent> Queue;
};
