#include "platform/Event.h"

#include <chrono>

namespace platform {

void Event::Set() {
  // Notified under the lock: a waiter that sees the event set may destroy it at once,
  // so nothing of it may be touched after the unlock.
  std::lock_guard lock(Mutex);
  IsSet = true;
  Signalled.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(Mutex);
  IsSet = false;
}

bool Event::Wait(uint32_t milliseconds) {
  std::unique_lock lock(Mutex);
  return Signalled.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return IsSet; });
}

}  // namespace platform
