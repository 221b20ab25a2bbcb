#pragma once
// What the ASPI manager module asks of the program that loads it. Plain C layout:
// nothing but data and function pointers cross the module boundary, no exception.
#include <cstdint>

#include "platform/AspiSrb.h"

extern "C" {

struct AspiUnitInfo {
  uint32_t HostKey;  // Linux SCSI host number; kAspiVirtualHost for the emulated drives
  uint8_t Target;
  uint8_t Lun;
  uint8_t DeviceType;
};

struct AspiUnitResult {
  uint8_t Completed;  // 0: transport failure, no status
  uint8_t Refused;    // with Completed 0: the system refused the command itself
  uint8_t Status;     // SCSI status
  uint8_t Sense[kSrbSenseLength];
  uint32_t Residual;
};

struct AspiHostServices {
  void* Context;
  uint32_t (*UnitCount)(void* context);
  uint8_t (*GetUnit)(void* context, uint32_t index, AspiUnitInfo* info);
  // Runs one CDB on unit index. direction: 0 none, kSrbDirIn, kSrbDirOut.
  void (*Execute)(void* context, uint32_t index, const uint8_t* cdb, uint8_t cdbLength, uint8_t direction,
                  uint8_t* data, uint32_t length, uint32_t timeoutMs, AspiUnitResult* result);
  void (*SignalEvent)(void* context, void* event);
};

// Module entry points.
typedef uint32_t (*AspiGetSupportInfoFn)();
typedef uint32_t (*AspiSendCommandFn)(void* srb);
typedef void (*AspiAttachHostFn)(const AspiHostServices* services);
}

constexpr uint32_t kAspiVirtualHost = 0xFFFFFFFFu;
constexpr const char* kAspiAttachHostName = "QuarnelAspiAttachHost";

namespace platform {
// The services the program hands the manager: units and devices of CurrentMachine().
const AspiHostServices& HostServicesForAspi();
}  // namespace platform
