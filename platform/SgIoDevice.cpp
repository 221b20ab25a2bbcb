#include "platform/SgIoDevice.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ScsiCodes.h"

namespace platform {
namespace {

constexpr uint8_t kSenseCapacity = 32;
constexpr uint16_t kHostTimeout = 0x03;  // DID_TIME_OUT
constexpr uint16_t kDriverTimeout = 0x06;

class LinuxSgSystem : public SgSystem {
 public:
  int Open(const std::string& path, int flags) override {
    const int fd = ::open(path.c_str(), flags);
    return fd < 0 ? -errno : fd;
  }
  int Ioctl(int fd, sg_io_hdr& request) override { return ::ioctl(fd, SG_IO, &request) < 0 ? -errno : 0; }
  void Close(int fd) override { ::close(fd); }
};

uint32_t ErrorFromErrno(int negativeErrno) {
  switch (-negativeErrno) {
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return kErrorFileNotFound;
    case ETIMEDOUT:
      return kErrorTimeout;
    default:
      return kErrorIoDevice;
  }
}

}  // namespace

std::shared_ptr<SgSystem> RealSgSystem() {
  static const auto system = std::make_shared<LinuxSgSystem>();
  return system;
}

void BuildSgRequest(sg_io_hdr& request, std::span<const uint8_t> cdb, DataDirection direction,
                    std::span<uint8_t> buffer, uint32_t timeoutMs, uint8_t* senseBuffer, uint8_t senseSize) {
  std::memset(&request, 0, sizeof request);
  request.interface_id = 'S';
  if (buffer.empty() || direction == DataDirection::None) {
    request.dxfer_direction = SG_DXFER_NONE;
  } else {
    request.dxfer_direction = direction == DataDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    request.dxferp = buffer.data();
    request.dxfer_len = static_cast<unsigned>(buffer.size());
  }
  request.cmdp = const_cast<unsigned char*>(cdb.data());
  request.cmd_len = static_cast<unsigned char>(cdb.size());
  request.sbp = senseBuffer;
  request.mx_sb_len = senseSize;
  request.timeout = timeoutMs;
}

size_t ToFixedSense(const uint8_t* sense, size_t length, std::span<uint8_t, 18> fixed) {
  std::fill(fixed.begin(), fixed.end(), uint8_t{0});
  if (sense == nullptr || length == 0) return 0;
  const uint8_t code = sense[0] & 0x7F;
  if (code == scsi::kSenseCurrentFixed || code == scsi::kSenseDeferredFixed) {
    std::copy_n(sense, std::min<size_t>(length, fixed.size()), fixed.begin());
    return fixed.size();
  }
  if (code != scsi::kSenseCurrentDescriptor && code != scsi::kSenseDeferredDescriptor) return 0;
  fixed[0] = code == scsi::kSenseCurrentDescriptor ? scsi::kSenseCurrentFixed : scsi::kSenseDeferredFixed;
  fixed[7] = 10;
  if (length > 1) fixed[2] = sense[1] & 0x0F;
  if (length > 2) fixed[12] = sense[2];
  if (length > 3) fixed[13] = sense[3];
  if (length < 8) return fixed.size();
  const size_t end = std::min<size_t>(length, 8 + size_t{sense[7]});
  for (size_t at = 8; at + 2 <= end;) {
    const uint8_t type = sense[at];
    const size_t size = 2 + size_t{sense[at + 1]};
    if (at + size > end) break;
    const uint8_t* d = sense + at;
    if (type == 0x00 && size >= 12) {
      // Information: fixed format holds only 4 bytes; a larger value is not valid there.
      const bool fits = d[4] == 0 && d[5] == 0 && d[6] == 0 && d[7] == 0;
      std::copy_n(d + 8, 4, fixed.begin() + 3);
      if ((d[2] & 0x80) != 0 && fits) fixed[0] |= 0x80;
    } else if (type == 0x01 && size >= 12) {
      std::copy_n(d + 8, 4, fixed.begin() + 8);
    } else if (type == 0x02 && size >= 8) {
      std::copy_n(d + 4, 3, fixed.begin() + 15);
    } else if (type == 0x03 && size >= 4) {
      fixed[14] = d[3];  // field replaceable unit code
    } else if (type == 0x04 && size >= 4) {
      fixed[2] |= d[3] & 0xE0;  // stream commands: FILEMARK, EOM, ILI
    } else if (type == 0x05 && size >= 4) {
      fixed[2] |= d[3] & 0x20;  // block commands: ILI
    }
    at += size;
  }
  return fixed.size();
}

ExecResult MapSgResult(int ioctlResult, const sg_io_hdr& request, const uint8_t* senseBuffer) {
  ExecResult result;
  if (ioctlResult < 0) {
    result.Scsi.TransportError = true;
    result.Error = ErrorFromErrno(ioctlResult);
    result.Scsi.Residual = request.dxfer_len;
    return result;
  }
  const size_t senseLength = std::min<size_t>(request.sb_len_wr, request.mx_sb_len);
  result.Scsi.SenseLength = ToFixedSense(senseBuffer, senseLength, result.Scsi.Sense);
  result.Scsi.Residual = request.resid > 0 ? std::min<size_t>(static_cast<size_t>(request.resid), request.dxfer_len) : 0;
  if (request.host_status != 0 || (request.driver_status & 0x07) != 0) {
    result.Scsi.TransportError = true;
    const bool timedOut = request.host_status == kHostTimeout || (request.driver_status & 0x07) == kDriverTimeout;
    result.Error = timedOut ? kErrorTimeout : kErrorIoDevice;
    return result;
  }
  result.Scsi.Status = request.status & 0xFE;
  return result;
}

std::unique_ptr<SgIoDevice> SgIoDevice::Open(const std::string& path, std::shared_ptr<SgSystem> system, bool write,
                                             uint32_t& error) {
  if (!system) system = RealSgSystem();
  int fd = -EACCES;
  bool readWrite = false;
  if (write) {
    fd = system->Open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    readWrite = fd >= 0;
  }
  if (fd < 0 && (!write || fd == -EACCES || fd == -EPERM || fd == -EROFS)) {
    fd = system->Open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }
  if (fd < 0) {
    error = ErrorFromErrno(fd);
    return nullptr;
  }
  error = kErrorNone;
  return std::make_unique<SgIoDevice>(Token{}, fd, readWrite, std::move(system));
}

SgIoDevice::SgIoDevice(Token, int fd, bool readWrite, std::shared_ptr<SgSystem> system)
    : Fd(fd), ReadWrite(readWrite), System(std::move(system)) {}

SgIoDevice::~SgIoDevice() { System->Close(Fd); }

ExecResult SgIoDevice::Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                               uint32_t timeoutMs) {
  if (cdb.empty() || cdb.size() > 16) {
    ExecResult result;
    result.Scsi.TransportError = true;
    result.Error = kErrorInvalidParameter;
    return result;
  }
  sg_io_hdr request;
  uint8_t sense[kSenseCapacity] = {};
  BuildSgRequest(request, cdb, direction, buffer, timeoutMs, sense, kSenseCapacity);
  const int rc = System->Ioctl(Fd, request);
  return MapSgResult(rc, request, sense);
}

}  // namespace platform
