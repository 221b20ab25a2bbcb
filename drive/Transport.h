#pragma once
// How a drive command runs: a transport function that executes a caller-built CDB and
// gives back the whole result, and the one place that picks the transport of a drive.
//
// Every command builder (Cdbbuild.h) takes a TScsiExec; callers get one from
// TransportFor, so nothing above drive/ chooses between ASPI and pass-through.
#include <cstdint>
#include <optional>

#include "drive/Krcdrom.h"
#include "platform/ScsiResult.h"

// Direction codes every caller speaks (ASPI terms).
constexpr uint8_t kDirIn = 0x08;
constexpr uint8_t kDirOut = 0x10;

// Sense bytes both transports collect from the drive.
constexpr uint8_t kTransportSenseBytes = 14;

// What one command gave back.
//   Scsi.TransportError (the default): no status came back. The command was refused
//     before it was sent (an address, selector or length it cannot carry), the device
//     could not be reached, or it did not complete in time.
//   Refused (with TransportError): the host denied the command itself, as Linux denies
//     vendor commands to a process without the raw-I/O right. It never reached the
//     drive, and no repeat of it will.
//   Otherwise Scsi.Status is the drive's SCSI status. When it is not GOOD, Scsi.Sense
//     holds the drive's fixed-format sense (SenseLength 14, zeros when it gave none).
//     Scsi.Residual is the count of bytes not transferred over pass-through; ASPI
//     reports none and leaves it 0.
struct TCommandResult {
  platform::ScsiResult Scsi{.TransportError = true};
  bool Refused = false;

  bool Good() const { return Scsi.Good(); }
  explicit operator bool() const { return Good(); }
  // The frame address a MEDIUM ERROR names as its failing block; none without such
  // sense (no sense, not fixed format, VALID clear, another sense key).
  std::optional<int64_t> FailingFrame() const;
  // The drive was reset under this command: it failed without a status and was not
  // refused (a time-out; the host resets such a drive) or answered UNIT ATTENTION 29/xx.
  // Its mode pages and block length are back at their defaults.
  bool DriveReset() const;
};

// The fields of 14 or more raw sense bytes.
struct TSense {
  uint8_t ResponseCode = 0;  // byte 0 without VALID
  bool Fixed = false;        // fixed format (0x70, 0x71): the fields below mean something
  bool Valid = false;        // the information field holds the failing block
  uint8_t Key = 0;
  uint8_t Asc = 0;
  uint8_t Ascq = 0;
  int64_t InformationFrame = 0;  // the information field as an LBA, turned into a frame address
};
TSense DecodeSense(const uint8_t* sense);
// FailingFrame of 14 or more raw sense bytes.
std::optional<int64_t> MediumErrorFrame(const uint8_t* sense);

// Executes one CDB on the drive: `data` of `dataLength` bytes in the direction kDirIn
// or kDirOut (or no data), waiting up to timeoutMs where the transport honours it.
using TScsiExec = TCommandResult (*)(const TKrCdRom& drive, const uint8_t* cdb, uint8_t cdbLength, void* data,
                                     uint32_t dataLength, uint8_t direction, uint32_t timeoutMs);

// What to do when the drive's setting asks for ASPI and no ASPI manager is loaded.
enum class TAspiMissing : uint8_t { Fail, UsePassThrough };

// Pass-through when setting.UseSpti is set, else ASPI; with UsePassThrough, also
// pass-through when ASPI cannot be loaded.
TScsiExec TransportFor(const TDriveSetting& setting, TAspiMissing whenMissing = TAspiMissing::Fail);
