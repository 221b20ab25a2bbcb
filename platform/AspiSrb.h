#pragma once
// Our ASPI request blocks: the members the transports and the drive scan use.
#include <cstdint>

constexpr uint8_t kSrbCmdHaInquiry = 0;
constexpr uint8_t kSrbCmdGetDeviceType = 1;
constexpr uint8_t kSrbCmdExecScsi = 2;
constexpr uint8_t kSrbCmdAbort = 3;

constexpr uint8_t kSrbStatusPending = 0x00;
constexpr uint8_t kSrbStatusDone = 0x01;
constexpr uint8_t kSrbStatusAborted = 0x02;
constexpr uint8_t kSrbStatusError = 0x04;
constexpr uint8_t kSrbStatusInvalidCommand = 0x80;
constexpr uint8_t kSrbStatusInvalidHa = 0x81;
constexpr uint8_t kSrbStatusNoDevice = 0x82;
constexpr uint8_t kSrbStatusInvalidSrb = 0xE0;
constexpr uint8_t kSrbStatusNoAdapters = 0xE8;

// Host adapter status of an ended request.
constexpr uint8_t kHostStatusOk = 0x00;
constexpr uint8_t kHostStatusSelectionTimeout = 0x11;  // no status came back from the unit
// Our manager's own: the system refused the command before it reached the unit (Linux
// denies vendor commands to a process without the raw-I/O right); no repeat will pass.
constexpr uint8_t kHostStatusRefused = 0x80;

constexpr uint8_t kSrbDirIn = 0x08;
constexpr uint8_t kSrbDirOut = 0x10;
constexpr uint8_t kSrbEventNotify = 0x40;

constexpr uint8_t kSrbSenseLength = 14;
constexpr uint8_t kSrbMaxCdb = 16;

struct TSrbHeader {
  uint8_t Command = 0;
  uint8_t SRB_Status = 0;
  uint8_t SRB_HaId = 0;
  uint8_t SRB_Flags = 0;
  uint32_t Reserved = 0;
};

struct SRB_HAInquiry {
  uint8_t Command = kSrbCmdHaInquiry;
  uint8_t SRB_Status = 0;
  uint8_t SRB_HaId = 0;
  uint8_t SRB_Flags = 0;
  uint32_t Reserved = 0;
  uint8_t AdapterCount = 0;
  uint8_t AdapterScsiId = 0;
  uint8_t ManagerName[16] = {};
  uint8_t AdapterName[16] = {};
  uint8_t HA_Unique[16] = {};  // byte 3: number of targets (0 means 8)
  uint16_t Reserved2 = 0;
};

struct SRB_GDEVBlock {
  uint8_t Command = kSrbCmdGetDeviceType;
  uint8_t SRB_Status = 0;
  uint8_t SRB_HaId = 0;
  uint8_t SRB_Flags = 0;
  uint32_t Reserved = 0;
  uint8_t SRB_Target = 0;
  uint8_t SRB_Lun = 0;
  uint8_t SRB_DeviceType = 0;
  uint8_t Reserved2 = 0;
};

struct SRB_ExecSCSICmd {
  uint8_t Command = kSrbCmdExecScsi;
  uint8_t SRB_Status = 0;
  uint8_t SRB_HaId = 0;
  uint8_t SRB_Flags = 0;
  uint32_t Reserved = 0;
  uint8_t SRB_Target = 0;
  uint8_t SRB_Lun = 0;
  uint16_t Reserved2 = 0;
  uint32_t SRB_BufLen = 0;
  void* SRB_BufPointer = nullptr;
  uint8_t SRB_SenseLen = 0;
  uint8_t SRB_CDBLen = 0;
  uint8_t HostStatus = 0;
  uint8_t TargetStatus = 0;
  void* SRB_PostProc = nullptr;  // the event signalled at completion
  uint8_t CDBByte[kSrbMaxCdb] = {};
  uint8_t SenseArea[kSrbSenseLength + 2] = {};
};

struct SRB_Abort {
  uint8_t Command = kSrbCmdAbort;
  uint8_t SRB_Status = 0;
  uint8_t SRB_HaId = 0;
  uint8_t SRB_Flags = 0;
  uint32_t Reserved = 0;
  void* SRB_ToAbort = nullptr;
};
