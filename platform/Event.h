#pragma once
// A manual-reset event: set by a completion, waited for with a time-out.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class Event {
 public:
  void Set();
  void Reset();
  // True when the event was set within the time.
  bool Wait(uint32_t milliseconds);

 private:
  std::mutex Mutex;
  std::condition_variable Signalled;
  bool IsSet = false;
};

}  // namespace platform
