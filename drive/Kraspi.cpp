#include "drive/Kraspi.h"

#include <cstring>
#include <memory>

#include "platform/AspiHost.h"
#include "platform/DynamicLibrary.h"
#include "platform/Event.h"
#include "platform/Machine.h"

namespace {

struct AspiModule {
  std::unique_ptr<platform::DynamicLibrary> Library;
  AspiGetSupportInfoFn GetSupportInfo = nullptr;
  AspiSendCommandFn SendCommand = nullptr;
};

AspiModule& Module() {
  static AspiModule module;
  return module;
}

constexpr uint32_t kAspiWaitMs = 10000;

}  // namespace

bool LoadAspi() {
  AspiModule& module = Module();
  if (!module.Library) {
    std::string error;
    auto library = platform::DynamicLibrary::Load(platform::CurrentMachine()->AspiModulePath(), error, true);
    if (!library) return false;
    module.GetSupportInfo = reinterpret_cast<AspiGetSupportInfoFn>(library->Symbol("GetASPI32SupportInfo"));
    module.SendCommand = reinterpret_cast<AspiSendCommandFn>(library->Symbol("SendASPI32Command"));
    if (auto attach = reinterpret_cast<AspiAttachHostFn>(library->Symbol(kAspiAttachHostName))) {
      attach(&platform::HostServicesForAspi());
    }
    module.Library = std::move(library);
  }
  return module.GetSupportInfo != nullptr && module.SendCommand != nullptr;
}

uint32_t AspiGetSupportInfo() {
  const AspiModule& module = Module();
  return module.GetSupportInfo != nullptr && module.SendCommand != nullptr ? module.GetSupportInfo() : 0;
}

uint32_t AspiSendCommand(void* srb) {
  const AspiModule& module = Module();
  if (module.GetSupportInfo == nullptr || module.SendCommand == nullptr) {
    if (srb != nullptr) static_cast<TSrbHeader*>(srb)->SRB_Status = kSrbStatusInvalidSrb;
    return kSrbStatusInvalidSrb;
  }
  return module.SendCommand(srb);
}

bool AspiExecSrb(const TKrCdRom& drive, SRB_ExecSCSICmd& srb, uint32_t milliseconds) {
  platform::Event event;
  srb.SRB_Flags |= kSrbEventNotify;
  srb.SRB_PostProc = &event;
  event.Reset();
  if (AspiSendCommand(&srb) == kSrbStatusPending && !event.Wait(milliseconds)) {
    // After the abort the manager no longer touches the block or its buffer, so
    // SRB_Status can be read and both can go out of scope.
    SRB_Abort abort;
    abort.SRB_HaId = drive.HaId;
    abort.SRB_ToAbort = &srb;
    AspiSendCommand(&abort);
  }
  srb.SRB_PostProc = nullptr;
  return srb.SRB_Status == kSrbStatusDone;
}

namespace {

// Fills the request block for the CDB and runs it; false, with nothing sent, for a CDB
// the block cannot hold.
bool RunExec(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data, uint32_t dataLength,
             uint8_t direction, SRB_ExecSCSICmd& srb) {
  srb.SRB_HaId = drive.HaId;
  srb.SRB_Target = drive.Target;
  srb.SRB_Lun = drive.Lun;
  srb.SRB_Flags = direction & (kSrbDirIn | kSrbDirOut);
  srb.SRB_BufLen = dataLength;
  srb.SRB_BufPointer = data;
  srb.SRB_SenseLen = kSrbSenseLength;
  if (cdb == nullptr || cdbLength == 0 || cdbLength > kSrbMaxCdb) return false;
  srb.SRB_CDBLen = cdbLength;
  std::memcpy(srb.CDBByte, cdb, cdbLength);
  AspiExecSrb(drive, srb, kAspiWaitMs);
  return true;
}

}  // namespace

uint8_t AspiExecScsiCmd(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, uint8_t* sense, void* data,
                        uint32_t dataLength, uint8_t direction, uint32_t /*timeoutMs*/) {
  SRB_ExecSCSICmd srb;
  if (!RunExec(drive, cdb, cdbLength, data, dataLength, direction, srb)) {
    if (sense != nullptr) std::memset(sense, 0, kSrbSenseLength);
    return kSrbStatusInvalidSrb;
  }
  if (sense != nullptr) std::memcpy(sense, srb.SenseArea, kSrbSenseLength);
  return srb.SRB_Status;
}

TCommandResult AspiExecute(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
                           uint32_t dataLength, uint8_t direction, uint32_t /*timeoutMs*/) {
  TCommandResult result;
  SRB_ExecSCSICmd srb;
  if (!RunExec(drive, cdb, cdbLength, data, dataLength, direction, srb)) return result;
  if (srb.SRB_Status == kSrbStatusDone) {
    result.Scsi = platform::ScsiResult{};
    return result;
  }
  result.Refused = srb.SRB_Status == kSrbStatusError && srb.HostStatus == kHostStatusRefused;
  // Only a command the target ended with a status of its own has a status and sense.
  if (srb.SRB_Status != kSrbStatusError || srb.HostStatus != kHostStatusOk || srb.TargetStatus == platform::kStatusGood)
    return result;
  result.Scsi = platform::ScsiResult{};
  result.Scsi.Status = srb.TargetStatus;
  std::memcpy(result.Scsi.Sense.data(), srb.SenseArea, kSrbSenseLength);
  result.Scsi.SenseLength = kSrbSenseLength;
  return result;
}

namespace aspi_detail {
void ResetForTesting() { Module() = AspiModule{}; }
}  // namespace aspi_detail
