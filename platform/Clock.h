#pragma once
// Sleep and a millisecond clock that tests can replace, so waits cost a test nothing.
#include <cstdint>
#include <memory>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t milliseconds) = 0;
  virtual uint64_t NowMs() = 0;
};

void Sleep(uint32_t milliseconds);
uint64_t NowMs();

// Time advances only by Sleep; counts what was slept.
class FakeClock : public Clock {
 public:
  void Sleep(uint32_t milliseconds) override;
  uint64_t NowMs() override;
  uint64_t Slept() const;
  uint32_t SleepCalls() const;

 private:
  uint64_t Now = 0;
  uint32_t Calls = 0;
};

// Installs a clock for its lifetime and restores the previous one.
class ClockOverride {
 public:
  explicit ClockOverride(std::shared_ptr<Clock> clock);
  ~ClockOverride();
  ClockOverride(const ClockOverride&) = delete;
  ClockOverride& operator=(const ClockOverride&) = delete;

 private:
  std::shared_ptr<Clock> Previous;
};

}  // namespace platform
