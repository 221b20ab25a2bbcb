#include "worker/Headlessprogressview.h"

#include <chrono>
#include <utility>

THeadlessProgressView::THeadlessProgressView(TObserver observer) : Observer(std::move(observer)) {}

void THeadlessProgressView::SetText(std::string_view text) { Model.SetText(text); }

void THeadlessProgressView::Deliver(TProgressEvent event) {
  {
    std::lock_guard lock(QueueLock);
    Queue.push_back(std::move(event));
  }
  QueueSignal.notify_one();
}

void THeadlessProgressView::ShowModalUntilClosed() {
  using Clock = std::chrono::steady_clock;
  const auto tick = std::chrono::milliseconds(TProgressModel::kTickMilliseconds);
  ++ShowCount;
  Model.Show();
  auto nextTick = Clock::now() + tick;
  bool closed = false;
  while (!closed) {
    std::deque<TProgressEvent> batch;
    {
      std::unique_lock lock(QueueLock);
      QueueSignal.wait_until(lock, nextTick, [this] { return !Queue.empty(); });
      batch.swap(Queue);
    }
    // Events after the closing code belong to nobody; a worker sends none.
    for (auto& event : batch) {
      closed = Model.Apply(event);
      if (Observer) Observer(event, Model);
      if (closed) break;
    }
    if (!closed && Clock::now() >= nextTick) {
      Model.Tick();
      nextTick += tick;
    }
  }
}
