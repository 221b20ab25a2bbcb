// Arbitrary recordings: the WAV chunk walk, the cached reads and the imaging loop, with
// the answers to the sync questions and the offsets typed there taken from the input.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "audio/Analogimage.h"

namespace {

class InputDecider : public IAnalogSyncDecider {
 public:
  InputDecider(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  TSyncFoundChoice SyncFound(int32_t, int32_t& offset) override {
    offset = NextOffset();
    return static_cast<TSyncFoundChoice>(1 + NextByte() % 3);
  }
  TNoSyncChoice NoSync(int32_t& offset) override {
    offset = NextOffset();
    return static_cast<TNoSyncChoice>(1 + NextByte() % 2);
  }
  TSyncLostChoice SyncLost(int32_t, int32_t& offset) override {
    offset = NextOffset();
    return ++Asked > 64 ? TSyncLostChoice::Stop : static_cast<TSyncLostChoice>(1 + NextByte() % 5);
  }

 private:
  uint8_t NextByte() { return Size == 0 ? 0 : Data[At++ % Size]; }
  int32_t NextOffset() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | NextByte();
    return static_cast<int32_t>(v % (Size + 4096)) - 2048;  // a few outside the data too
  }
  const uint8_t* Data;
  size_t Size;
  size_t At = 0;
  int Asked = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = ::memfd_create("recording", 0);
  if (fd < 0) return 0;
  if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
    TAnalogFile file;
    file.SetCacheSize(4096);  // small, so that reads cross refills
    if (file.Open("/proc/self/fd/" + std::to_string(fd))) {
      InputDecider decider(data, size);
      MakeImage(file, "/dev/null", decider);
    }
  }
  ::close(fd);
  return 0;
}
