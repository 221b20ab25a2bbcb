#pragma once
// The SCSI pass-through transport: a device opened by drive name for every command.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/Krcdrom.h"
#include "drive/Transport.h"
#include "platform/PassThrough.h"

// Decided on the first call and kept for the process.
bool IsSptiUsable();
// Clears list, then adds "D:" ... for every CD drive letter; returns the count.
uint32_t ListCdDriveLetters(std::vector<std::string>& list);
// Null when the device cannot be opened.
std::unique_ptr<platform::PassThroughHandle> SptiOpenDevice(const std::string& name);
// Opens the drive by Name, runs the request with the given seconds, closes it; `error`
// gets the platform's error code of a request that did not complete.
bool SptiPassThrough(const TKrCdRom& drive, platform::ScsiPassThroughRequest& request, uint32_t seconds,
                     uint32_t* error = nullptr);
// Same arguments as AspiExecScsiCmd. Returns 1 only when the command ended with GOOD
// status; otherwise the SCSI status (0 for a transport failure). sense (14 bytes),
// when given, always receives what the drive reported.
uint8_t SptiExecScsiCmd(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, uint8_t* sense,
                        void* data, uint32_t dataLength, uint8_t direction, uint32_t timeoutMs);
// The same execution as a TScsiExec: the whole result (Transport.h), with the
// residual the device reported.
TCommandResult SptiExecute(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
                           uint32_t dataLength, uint8_t direction, uint32_t timeoutMs);
bool SptiPreventAllow(const TKrCdRom& drive, bool prevent);

// Windows-style version code: 1 not NT, 2 NT 3.5x, 3 NT 4, 4 2000, 5 XP, 6 other; 0 unknown.
uint32_t SptiVersionCode();

namespace spti_detail {
// Pass-through DataIn from an ASPI direction code.
uint8_t MapDirection(uint8_t direction);
// Milliseconds to whole seconds, 1..108.
uint32_t TimeoutSeconds(uint32_t milliseconds);
void ResetForTesting();
}  // namespace spti_detail
