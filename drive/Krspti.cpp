#include "drive/Krspti.h"

#include <algorithm>
#include <cstring>

#include "platform/Machine.h"
#include "platform/ScsiCodes.h"

namespace {

struct SptiState {
  uint32_t VersionCode = 0;
  bool Decided = false;
  bool Usable = false;
};

SptiState& State() {
  static SptiState state;
  return state;
}

void PrepareRequest(platform::ScsiPassThroughRequest& request, const uint8_t* cdb, uint8_t cdbLength, uint8_t dataIn,
                    void* data, uint32_t dataLength) {
  request = platform::ScsiPassThroughRequest{};
  auto& sptd = request.Sptd;
  sptd.Length = sizeof(platform::ScsiPassThroughDirect);
  sptd.CdbLength = cdbLength;
  sptd.SenseInfoLength = kTransportSenseBytes;
  sptd.DataIn = dataIn;
  sptd.DataTransferLength = dataLength;
  sptd.TimeOutValue = 10;
  sptd.DataBuffer = data;
  sptd.SenseInfoOffset = platform::kSenseBufferOffset;
  std::memcpy(sptd.Cdb, cdb, cdbLength);
}

bool RunOn(platform::PassThroughHandle& handle, platform::ScsiPassThroughRequest& request, uint32_t seconds,
           uint32_t& error) {
  request.Sptd.TimeOutValue = seconds;
  return platform::PassThroughIoctl(handle, request, error);
}

}  // namespace

uint32_t SptiVersionCode() {
  SptiState& state = State();
  if (state.VersionCode == 0) {
    const platform::OsVersion v = platform::CurrentMachine()->GetVersion();
    if (v.PlatformId != platform::kPlatformWin32Nt) {
      state.VersionCode = 1;
    } else if (v.Major == 3 && v.Minor >= 50) {
      state.VersionCode = 2;
    } else if (v.Major == 4) {
      state.VersionCode = 3;
    } else if (v.Major == 5 && v.Minor == 0) {
      state.VersionCode = 4;
    } else if (v.Major == 5 && v.Minor == 1) {
      state.VersionCode = 5;
    } else {
      state.VersionCode = 6;
    }
  }
  return state.VersionCode;
}

uint32_t ListCdDriveLetters(std::vector<std::string>& list) {
  list.clear();
  const auto machine = platform::CurrentMachine();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string name = std::string(1, letter) + ":";
    if (machine->GetDriveType(name + "\\") == platform::kDriveCdrom) list.push_back(name);
  }
  return static_cast<uint32_t>(list.size());
}

bool IsSptiUsable() {
  SptiState& state = State();
  if (state.Decided) return state.Usable;
  state.Decided = true;
  state.Usable = false;
  const uint32_t code = SptiVersionCode();
  if (code == 1 || code == 2) return false;
  std::vector<std::string> letters;
  if (ListCdDriveLetters(letters) == 0) return false;
  // TEST UNIT READY changes nothing on the drive (an ALLOW MEDIUM REMOVAL would unlock
  // a tray another program locked); usable only once a command really completed.
  const uint8_t testUnitReady[6] = {scsi::kOpTestUnitReady, 0, 0, 0, 0, 0};
  for (const auto& letter : letters) {
    auto handle = SptiOpenDevice(letter);
    if (!handle) continue;
    platform::ScsiPassThroughRequest request;
    PrepareRequest(request, testUnitReady, 6, 0, nullptr, 0);
    request.Sptd.SenseInfoLength = 0;
    uint32_t error = platform::kErrorNone;
    if (RunOn(*handle, request, 5, error)) {
      state.Usable = true;
      break;
    }
    if (error == platform::kErrorAccessDenied) break;
  }
  return state.Usable;
}

std::unique_ptr<platform::PassThroughHandle> SptiOpenDevice(const std::string& name) {
  const uint32_t access = platform::kAccessRead | (SptiVersionCode() >= 4 ? platform::kAccessWrite : 0);
  uint32_t error = platform::kErrorNone;
  return platform::OpenDrive(name, access, error);
}

bool SptiPassThrough(const TKrCdRom& drive, platform::ScsiPassThroughRequest& request, uint32_t seconds,
                     uint32_t* error) {
  auto handle = SptiOpenDevice(drive.Name);
  if (!handle) return false;
  uint32_t code = platform::kErrorNone;
  const bool completed = RunOn(*handle, request, seconds, code);
  if (error != nullptr) *error = code;
  return completed;
}

namespace {

// Builds the request for the CDB and runs it; false, with nothing sent, for a CDB the
// request cannot hold. `completed`: a status came back.
bool RunCdb(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data, uint32_t dataLength,
            uint8_t direction, uint32_t timeoutMs, platform::ScsiPassThroughRequest& request, bool& completed,
            uint32_t* error = nullptr) {
  if (cdb == nullptr || cdbLength == 0 || cdbLength > sizeof(platform::ScsiPassThroughDirect::Cdb)) return false;
  PrepareRequest(request, cdb, cdbLength, spti_detail::MapDirection(direction), data, dataLength);
  completed = SptiPassThrough(drive, request, spti_detail::TimeoutSeconds(timeoutMs), error);
  return true;
}

}  // namespace

uint8_t SptiExecScsiCmd(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, uint8_t* sense, void* data,
                        uint32_t dataLength, uint8_t direction, uint32_t timeoutMs) {
  if (sense != nullptr) std::memset(sense, 0, kTransportSenseBytes);
  platform::ScsiPassThroughRequest request;
  bool completed = false;
  if (!RunCdb(drive, cdb, cdbLength, data, dataLength, direction, timeoutMs, request, completed)) return 0;
  if (sense != nullptr) std::memcpy(sense, request.SenseBuffer, kTransportSenseBytes);
  if (!completed) return 0;
  // CHECK CONDITION (or any status but GOOD) is a failed command, not a done one.
  return request.Sptd.ScsiStatus == 0 ? 1 : request.Sptd.ScsiStatus;
}

TCommandResult SptiExecute(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
                           uint32_t dataLength, uint8_t direction, uint32_t timeoutMs) {
  TCommandResult result;
  platform::ScsiPassThroughRequest request;
  bool completed = false;
  uint32_t error = platform::kErrorNone;
  if (!RunCdb(drive, cdb, cdbLength, data, dataLength, direction, timeoutMs, request, completed, &error)) return result;
  if (!completed) {
    result.Refused = error == platform::kErrorAccessDenied;
    return result;
  }
  result.Scsi = platform::ScsiResult{};
  result.Scsi.Status = request.Sptd.ScsiStatus;
  result.Scsi.Residual = dataLength - std::min(dataLength, request.Sptd.DataTransferLength);
  if (result.Scsi.Status != platform::kStatusGood) {
    std::memcpy(result.Scsi.Sense.data(), request.SenseBuffer, kTransportSenseBytes);
    result.Scsi.SenseLength = kTransportSenseBytes;
  }
  return result;
}

bool SptiPreventAllow(const TKrCdRom& drive, bool prevent) {
  // The device is opened by name, so byte 1 carries no LUN.
  const uint8_t cdb[6] = {scsi::kOpPreventAllow, 0, 0, 0, static_cast<uint8_t>(prevent ? 1 : 0), 0};
  platform::ScsiPassThroughRequest request;
  PrepareRequest(request, cdb, 6, 0, nullptr, 0);
  return SptiPassThrough(drive, request, 15) && request.Sptd.ScsiStatus == 0;
}

namespace spti_detail {

uint8_t MapDirection(uint8_t direction) {
  if (direction == 8) return 1;
  if (direction <= 2) return direction;
  return 0;
}

uint32_t TimeoutSeconds(uint32_t milliseconds) {
  if (milliseconds < 1000) return 1;
  if (milliseconds > 108000) return 108;
  return milliseconds / 1000;
}

void ResetForTesting() { State() = SptiState{}; }

}  // namespace spti_detail
