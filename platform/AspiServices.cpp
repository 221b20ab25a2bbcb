#include <algorithm>
#include <exception>

#include "platform/AspiHost.h"
#include "platform/Event.h"
#include "platform/Machine.h"

namespace platform {
namespace {

uint32_t UnitCount(void*) {
  try {
    return static_cast<uint32_t>(CurrentMachine()->ScsiUnits().size());
  } catch (const std::exception&) {
    return 0;
  }
}

uint8_t GetUnit(void*, uint32_t index, AspiUnitInfo* info) {
  try {
    const auto machine = CurrentMachine();
    const auto& units = machine->ScsiUnits();
    if (index >= units.size() || info == nullptr) return 0;
    info->HostKey = units[index].HostKey;
    info->Target = units[index].Target;
    info->Lun = units[index].Lun;
    info->DeviceType = units[index].DeviceType;
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

void Execute(void*, uint32_t index, const uint8_t* cdb, uint8_t cdbLength, uint8_t direction, uint8_t* data,
             uint32_t length, uint32_t timeoutMs, AspiUnitResult* result) {
  *result = AspiUnitResult{};
  try {
    uint32_t error = kErrorNone;
    auto device = CurrentMachine()->OpenUnit(index, error);
    if (!device) return;
    DataDirection dir = DataDirection::None;
    if (length > 0 && direction == kSrbDirIn) dir = DataDirection::In;
    if (length > 0 && direction == kSrbDirOut) dir = DataDirection::Out;
    const ExecResult r = device->Execute(std::span<const uint8_t>(cdb, cdbLength), dir,
                                         std::span<uint8_t>(data, length), timeoutMs);
    if (r.Scsi.TransportError) {
      result->Refused = r.Error == kErrorAccessDenied;
      return;
    }
    result->Completed = 1;
    result->Status = r.Scsi.Status;
    std::copy_n(r.Scsi.Sense.begin(), std::min<size_t>(r.Scsi.SenseLength, kSrbSenseLength), result->Sense);
    result->Residual = static_cast<uint32_t>(std::min<size_t>(r.Scsi.Residual, length));
  } catch (const std::exception&) {
    *result = AspiUnitResult{};
  }
}

void SignalEvent(void*, void* event) {
  if (event != nullptr) static_cast<Event*>(event)->Set();
}

}  // namespace

const AspiHostServices& HostServicesForAspi() {
  static const AspiHostServices services{nullptr, &UnitCount, &GetUnit, &Execute, &SignalEvent};
  return services;
}

}  // namespace platform
