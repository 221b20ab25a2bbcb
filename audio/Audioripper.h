#pragma once
// Rips one audio track of the disc in the selected drive to a WAV file on a worker behind
// the progress window: reads ReadAtOnce sectors a command, re-reads Overlaps sectors of
// the previous command to line the new data up with the old, shifts the track by the
// drive's read offset, turns unreadable sectors into silence, de-emphasises and scales,
// and logs every step to the rip log.
//
// The WAV holds exactly the samples of the track: a rip ends as done only when every
// sample up to the track end was written, some of them read from the disc.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "audio/Deemphasize.h"
#include "audio/Riplog.h"
#include "audio/Sync.h"
#include "drive/Krcdrom.h"
#include "drive/Transport.h"
#include "sector/Cdtrack.h"
#include "sector/Datasector.h"
#include "worker/Workerengine.h"

class TAudioRipper : public TWorkerEngine {
 public:
  static constexpr int64_t kSamplesPerSector = TSynchronizer::SamplesPerSector;
  static constexpr uint32_t kSampleBytes = TSynchronizer::SampleBytes;

  // Options the main window copies in before each rip.
  std::string FileName;
  uint8_t DeEmph = 0;
  int Volume = 100;

  // Logs to rip_log.txt at its usual place, or to `logFile`.
  TAudioRipper();
  explicit TAudioRipper(std::filesystem::path logFile);
  ~TAudioRipper();
  TAudioRipper(const TAudioRipper&) = delete;
  TAudioRipper& operator=(const TAudioRipper&) = delete;

  void SetDefaults();

  // Rips an AUDIO track with file system CDDA or CDDA(EMPH); true when it ended as done.
  bool StartRip(const TCdTrack& track);

  // One read command by DaeCmd: `count` sectors from frame address `frame` into
  // `buffer`. The number of leading sectors that arrived.
  uint32_t ReadAudio(int64_t frame, uint32_t count, uint8_t* buffer);
  TCommandResult SendAudioRead(int64_t frame, uint32_t count, uint8_t* buffer);
  // After a failed read: how many leading sectors arrived, from the 14 sense bytes.
  uint32_t GetGoodCount(int64_t head, uint32_t count, const uint8_t* sense);
  void WriteLog(std::string_view text) { Log.Write(text); }

  // The settings copy as the last rip clamped it.
  const TDriveSetting& GetSetting() const { return Setting; }
  // Sectors of the last rip that could not be read and became silence.
  int64_t GetUnreadableSectors() const { return UnreadableSectors; }
  const std::filesystem::path& GetLogPath() const { return Log.GetPath(); }

 private:
  class TDriveChanges;
  struct TRun;
  // What one pass takes from the transfer buffer.
  struct TBlock {
    int64_t HeadPos = 0;
    int64_t Samples = 0;
  };

  // The worker the rip runs: Prepare (spin-up, settings, output, buffer, drive), then,
  // once running, Work (the read loop), then CleanUp (drive restored, WAV closed) on every
  // end, as the worker protocol runs a job.
  TWorkerJob Rip();
  bool Prepare();
  void ClampSettings();
  bool OpenOutput();
  bool AllocateBuffer();
  void ApplyOffset();
  bool PrepareDrive();
  void Work();
  void CleanUp();

  bool RipPass();
  TBlock ReadBlock(int64_t sector, int64_t off);
  TBlock TryRead(int64_t head, uint32_t count, int64_t overlapSamples, int64_t off);
  TBlock GiveUpSector(int64_t off);
  bool WriteBlock(const TBlock& block);
  void Pause() const;
  void LogValue(std::string_view label, int64_t value) { WriteLog(std::string(label) + DecimalText(value)); }

  TRipLog Log;
  TDeEmphsizer DeEmphasizer;

  int64_t StartSample = 0;
  int64_t CurrentSample = 0;
  int64_t EndSample = 0;
  uint32_t SectorBytes = kRawSectorSize;
  uint8_t ErrorRecoveryByte = 255;
  int64_t UnreadableSectors = 0;
  int64_t SectorsRead = 0;

  std::unique_ptr<TRun> Run;
};
