#include "platform/PassThrough.h"

#include <algorithm>
#include <cstring>

#include "platform/Machine.h"

namespace platform {

std::unique_ptr<PassThroughHandle> OpenDrive(const std::string& name, uint32_t access, uint32_t& error) {
  auto device = CurrentMachine()->OpenDrive(name, access, error);
  if (!device) return nullptr;
  return std::make_unique<PassThroughHandle>(std::move(device));
}

bool PassThroughIoctl(PassThroughHandle& handle, ScsiPassThroughRequest& request, uint32_t& error) {
  ScsiPassThroughDirect& sptd = request.Sptd;
  if (sptd.Length != sizeof(ScsiPassThroughDirect) || sptd.CdbLength == 0 || sptd.CdbLength > sizeof sptd.Cdb ||
      (sptd.SenseInfoLength > 0 && (sptd.SenseInfoOffset != kSenseBufferOffset ||
                                    sptd.SenseInfoLength > sizeof request.SenseBuffer)) ||
      (sptd.DataTransferLength > 0 && sptd.DataBuffer == nullptr)) {
    error = kErrorInvalidParameter;
    return false;
  }
  DataDirection direction = DataDirection::None;
  if (sptd.DataTransferLength > 0) direction = sptd.DataIn == 0 ? DataDirection::Out : DataDirection::In;
  std::span<uint8_t> buffer(static_cast<uint8_t*>(sptd.DataBuffer), sptd.DataTransferLength);
  const ExecResult result =
      handle.Get().Execute(std::span<const uint8_t>(sptd.Cdb, sptd.CdbLength), direction, buffer, sptd.TimeOutValue * 1000);
  sptd.ScsiStatus = result.Scsi.TransportError ? 0 : static_cast<uint8_t>(result.Scsi.Status & 0xFE);
  const size_t senseBytes = std::min<size_t>(sptd.SenseInfoLength, result.Scsi.SenseLength);
  std::memset(request.SenseBuffer, 0, sizeof request.SenseBuffer);
  std::copy_n(result.Scsi.Sense.begin(), senseBytes, request.SenseBuffer);
  const size_t residual = std::min<size_t>(result.Scsi.Residual, sptd.DataTransferLength);
  sptd.DataTransferLength -= static_cast<uint32_t>(residual);
  if (result.Scsi.TransportError) {
    error = result.Error != kErrorNone ? result.Error : kErrorIoDevice;
    return false;
  }
  error = kErrorNone;
  return true;
}

}  // namespace platform
