#include "platform/Clock.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace platform {
namespace {

class SystemClock : public Clock {
 public:
  void Sleep(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
};

std::mutex ClockMutex;

std::shared_ptr<Clock>& Installed() {
  static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
  return clock;
}

std::shared_ptr<Clock> Current() {
  std::lock_guard lock(ClockMutex);
  return Installed();
}

}  // namespace

void Sleep(uint32_t milliseconds) { Current()->Sleep(milliseconds); }
uint64_t NowMs() { return Current()->NowMs(); }

void FakeClock::Sleep(uint32_t milliseconds) {
  Now += milliseconds;
  ++Calls;
}
uint64_t FakeClock::NowMs() { return Now; }
uint64_t FakeClock::Slept() const { return Now; }
uint32_t FakeClock::SleepCalls() const { return Calls; }

ClockOverride::ClockOverride(std::shared_ptr<Clock> clock) {
  std::lock_guard lock(ClockMutex);
  Previous = std::move(Installed());
  Installed() = std::move(clock);
}

ClockOverride::~ClockOverride() {
  std::lock_guard lock(ClockMutex);
  Installed() = std::move(Previous);
}

}  // namespace platform
