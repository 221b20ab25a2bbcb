#pragma once
// The SCSI/MMC codes the drive commands, the transports and the emulated drive speak:
// operation codes, mode pages, sense response codes, sense keys and ASC/ASCQ pairs.
#include <cstdint>

namespace scsi {

// Operation codes.
constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpModeSelect6 = 0x15;
constexpr uint8_t kOpModeSense6 = 0x1A;
constexpr uint8_t kOpPreventAllow = 0x1E;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpReadToc = 0x43;
constexpr uint8_t kOpModeSelect10 = 0x55;
constexpr uint8_t kOpModeSense10 = 0x5A;
constexpr uint8_t kOpSetCdSpeed = 0xBB;
constexpr uint8_t kOpReadCd = 0xBE;
constexpr uint8_t kOpReadCdda = 0xD8;  // vendor command

// Mode pages (page code; 0x80 added asks for the default values).
constexpr uint8_t kPageErrorRecovery = 0x01;
constexpr uint8_t kPageCapabilities = 0x2A;
constexpr uint8_t kPageControlDefault = 0x80;

// Sense data response codes (bit 7, VALID, kept apart).
constexpr uint8_t kSenseCurrentFixed = 0x70;
constexpr uint8_t kSenseDeferredFixed = 0x71;
constexpr uint8_t kSenseCurrentDescriptor = 0x72;
constexpr uint8_t kSenseDeferredDescriptor = 0x73;
constexpr uint8_t kSenseValid = 0x80;

// Sense keys.
constexpr uint8_t kKeyNoSense = 0x00;
constexpr uint8_t kKeyNotReady = 0x02;
constexpr uint8_t kKeyMediumError = 0x03;
constexpr uint8_t kKeyHardwareError = 0x04;
constexpr uint8_t kKeyIllegalRequest = 0x05;
constexpr uint8_t kKeyUnitAttention = 0x06;

// Additional sense codes and their qualifiers.
struct AscPair {
  uint8_t Asc;
  uint8_t Ascq;
};
constexpr AscPair kNoSeekComplete = {0x02, 0x00};
constexpr AscPair kNotReadyCauseUnknown = {0x04, 0x00};
constexpr AscPair kBecomingReady = {0x04, 0x01};
constexpr AscPair kUnrecoveredReadError = {0x11, 0x00};
constexpr AscPair kLecUncorrectable = {0x11, 0x05};
constexpr AscPair kParameterListLengthError = {0x1A, 0x00};
constexpr AscPair kInvalidOpcode = {0x20, 0x00};
constexpr AscPair kLbaOutOfRange = {0x21, 0x00};
constexpr AscPair kInvalidFieldInCdb = {0x24, 0x00};
constexpr AscPair kInvalidFieldInParameterList = {0x26, 0x00};
constexpr AscPair kMediumMayHaveChanged = {0x28, 0x00};
constexpr AscPair kPowerOnReset = {0x29, 0x00};
constexpr AscPair kMediumNotPresent = {0x3A, 0x00};
constexpr AscPair kInternalTargetFailure = {0x44, 0x00};
constexpr AscPair kTocUnrecoverable = {0x57, 0x00};
constexpr AscPair kEndOfUserArea = {0x63, 0x00};
constexpr AscPair kIllegalModeForTrack = {0x64, 0x00};

}  // namespace scsi
