#pragma once
// The ASPI transport: our ASPI manager module, loaded at run time, and the execution
// of a caller-built CDB through it.
#include <cstdint>

#include "drive/Krcdrom.h"
#include "drive/Transport.h"
#include "platform/AspiSrb.h"

// Loads the manager module once; true when both entry points are bound.
bool LoadAspi();
// The manager's GetASPI32SupportInfo; 0 (no manager) when it is not loaded.
uint32_t AspiGetSupportInfo();
// The manager's SendASPI32Command; kSrbStatusInvalidSrb without a manager.
uint32_t AspiSendCommand(void* srb);

// Sends an exec request and waits for it up to milliseconds; a request still pending
// then is aborted and counts as failed. True when SRB_Status ends as done (1).
bool AspiExecSrb(const TKrCdRom& drive, SRB_ExecSCSICmd& srb, uint32_t milliseconds);
// Returns SRB_Status: 1 done, 0 still pending (aborted), any other value failed.
// sense (14 bytes) may be null. The time-out is not used: every command waits 10 s.
uint8_t AspiExecScsiCmd(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, uint8_t* sense,
                        void* data, uint32_t dataLength, uint8_t direction, uint32_t timeoutMs);
// The same execution as a TScsiExec: the whole result (Transport.h). SRB_Status 1 is
// GOOD; a failed command with a target status carries its sense; anything else (no
// device, aborted, host failure) is a transport error.
TCommandResult AspiExecute(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
                           uint32_t dataLength, uint8_t direction, uint32_t timeoutMs);

namespace aspi_detail {
// Forgets the loaded manager so a test can load another machine's; never used by the program.
void ResetForTesting();
}  // namespace aspi_detail
