#pragma once
// Linux SG_IO on /dev/srN (or /dev/sgN). The system calls are one small injectable
// step so that everything up to the ioctl can be tested without a drive.
#include <memory>
#include <string>

#include "platform/ScsiDevice.h"

struct sg_io_hdr;

namespace platform {

class SgSystem {
 public:
  virtual ~SgSystem() = default;
  // Each returns -errno on failure.
  virtual int Open(const std::string& path, int flags) = 0;
  virtual int Ioctl(int fd, sg_io_hdr& request) = 0;
  virtual void Close(int fd) = 0;
};
std::shared_ptr<SgSystem> RealSgSystem();

// Fills an SG_IO request for one CDB; sense goes to senseBuffer (32 bytes).
void BuildSgRequest(sg_io_hdr& request, std::span<const uint8_t> cdb, DataDirection direction,
                    std::span<uint8_t> buffer, uint32_t timeoutMs, uint8_t* senseBuffer, uint8_t senseSize);
// Maps a finished request (ioctl result -errno or 0) to status, fixed sense and error.
ExecResult MapSgResult(int ioctlResult, const sg_io_hdr& request, const uint8_t* senseBuffer);
// Descriptor-format sense (0x72/0x73) becomes fixed format (0x70/0x71); fixed is copied.
// Returns the fixed-format length (18) or 0 when there is no sense.
size_t ToFixedSense(const uint8_t* sense, size_t length, std::span<uint8_t, 18> fixed);

class SgIoDevice : public ScsiDevice {
 public:
  // With write, opens read-write (MODE SELECT, SET CD SPEED and PREVENT/ALLOW need
  // it), falling back to read-only. Null with kErrorAccessDenied on EACCES/EPERM,
  // kErrorFileNotFound on ENOENT.
  static std::unique_ptr<SgIoDevice> Open(const std::string& path, std::shared_ptr<SgSystem> system, bool write,
                                          uint32_t& error);
  ~SgIoDevice() override;
  SgIoDevice(const SgIoDevice&) = delete;
  SgIoDevice& operator=(const SgIoDevice&) = delete;

  ExecResult Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                     uint32_t timeoutMs) override;
  bool Writable() const { return ReadWrite; }

 private:
  struct Token {};

 public:
  SgIoDevice(Token, int fd, bool readWrite, std::shared_ptr<SgSystem> system);

 private:
  int Fd;
  bool ReadWrite;
  std::shared_ptr<SgSystem> System;
};

}  // namespace platform
