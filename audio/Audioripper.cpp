#include "audio/Audioripper.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "audio/AudioripperRun.h"
#include "sector/Datasector.h"

namespace {

std::string RipTitle(uint8_t trackNo) {
  char text[32];
  std::snprintf(text, sizeof text, "Ripping Track %.2d", trackNo);
  return std::string(text) + "...";
}

}  // namespace

TAudioRipper::TAudioRipper() : TAudioRipper(TRipLog::DefaultPath()) {}

TAudioRipper::TAudioRipper(std::filesystem::path logFile) : Log(std::move(logFile)) { SetDefaults(); }

TAudioRipper::~TAudioRipper() = default;

void TAudioRipper::SetDefaults() {
  DeEmph = 0;
  Volume = 100;
}

bool TAudioRipper::StartRip(const TCdTrack& track) {
  if (track.DataType != dtAudio || (track.FileSystem != fsCdda && track.FileSystem != fsCddaEmph)) return false;
  StartSample = CurrentSample = track.Head * kSamplesPerSector;
  EndSample = track.Tail * kSamplesPerSector;
  DeEmphasizer.SetEnabled(DeEmph != 0 && track.FileSystem == fsCddaEmph);
  DeEmphasizer.SetVolume(static_cast<unsigned>(std::clamp(Volume, 0, 100)));

  return Launch(RipTitle(track.TrackNo), Rip());
}

TWorkerJob TAudioRipper::Rip() {
  TWorkerJob job;
  job.Prepare = [this] { return Prepare(); };
  job.Work = [this] { Work(); };
  job.CleanUp = [this] { CleanUp(); };
  return job;
}

bool TAudioRipper::Prepare() {
  UnreadableSectors = 0;
  SectorsRead = 0;
  WriteLog("\nRip");
  Utility.SpinUp(kSpinUpMs);
  LogValue("\nRip HaID   = ", CdRom.HaId);
  LogValue("\nRip Target = ", CdRom.Target);
  LogValue("\nRip Lun    = ", CdRom.Lun);
  LogValue("\nDAE Command = ", Setting.DaeCmd);
  ClampSettings();
  Run = std::make_unique<TRun>(CdRom, Setting, Utility);
  if (!OpenOutput() || !AllocateBuffer()) return false;
  WriteLog("\nRip Buffer Created");
  LogValue("\nRip ReadAtOnce = ", Setting.ReadAtOnce);
  LogValue("\nRip Overlaps = ", Setting.Overlaps);
  LogValue("\nRip Compares = ", Setting.Compares);
  Run->Sync.SetCompareSectors(static_cast<int>(Setting.Compares));
  ApplyOffset();
  if (!PrepareDrive()) return false;

  Run->StartSector = FloorDiv(StartSample, kSamplesPerSector);
  Run->EndSector = FloorDiv(EndSample + kSamplesPerSector - 1, kSamplesPerSector);
  DeEmphasizer.Reset();
  WriteLog("\nRip DeEmph = " + ByteToStr(DeEmph ? 1 : 0));
  LogValue("\nRip Volume = ", Volume);
  return true;
}

void TAudioRipper::ClampSettings() {
  // Each field to its range (anything outside came from a hand-edited file), then the
  // rip's own rules: READ CDDA has no raw sub-channel mode, the overlap leaves a sector
  // to read, and no more sectors are compared than re-read.
  Setting = Bounded(Setting);
  TDriveSetting& s = Setting;
  if (s.DaeCmd == daeReadCdda && s.CdgMode == 2) s.CdgMode = 1;
  s.Overlaps = std::min(s.Overlaps, s.ReadAtOnce - 1);
  s.Compares = std::min(s.Compares, s.Overlaps);
}

bool TAudioRipper::OpenOutput() {
  if (Run->Out.SetFileName(FileName) && Run->Out.Open()) return true;
  WriteLog("\nRip Failure AudioOpen");
  Failure = fcOutputNotWritable;  // before the run: no cancel can have come first
  return false;
}

bool TAudioRipper::AllocateBuffer() {
  SectorBytes = static_cast<uint32_t>(Setting.CdgMode != 0 ? kRawWithSubchannelSize : kRawSectorSize);
  try {
    Run->Buffer = std::make_unique<TKrParagraphBoundaryBuffer>(size_t{SectorBytes} * Setting.ReadAtOnce);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint8_t* buffer = Run->Buffer->GetBuffer();
  if (buffer == nullptr) return false;
  WriteLog("\nRip Buffer Rip     = " + HexText(reinterpret_cast<uintptr_t>(buffer), 8));
  return true;
}

void TAudioRipper::ApplyOffset() {
  LogValue("\nRip Offset = ", Setting.OffsetSamples);
  StartSample += Setting.OffsetSamples;
  EndSample += Setting.OffsetSamples;
  WriteLog("\nRip " + Low32Text(StartSample) + ", " + Low32Text(EndSample));
}

bool TAudioRipper::PrepareDrive() {
  // Page 01 first: its MODE SELECT carries the drive's default block descriptor along.
  ErrorRecoveryByte = Run->Drive.ApplyErrorRecovery(Setting);
  if (Setting.DaeCmd == daeRead10 && !Run->Drive.SetBlockLength(static_cast<uint8_t>(Setting.ModeForm))) {
    // READ(10) would hand back 2048-byte data blocks taken for audio.
    WriteLog("\nRip Failure BlockLength");
    return false;
  }
  Run->Drive.Lock();

  TKrParagraphBoundaryBuffer warmUp(kRawWithSubchannelSize);
  if (uint8_t* data = warmUp.GetBuffer()) {
    std::memset(data, 0, kRawWithSubchannelSize);
    ReadAudio(std::max<int64_t>(FloorDiv(StartSample, kSamplesPerSector), 0), 1, data);
    Pause();
  }
  return true;
}

void TAudioRipper::CleanUp() {
  if (!Run) return;
  Run->Drive.Restore();
  if (Run->Out.IsOpen() && !Run->Out.Close()) {
    // A WAV whose sizes could not be written is not a finished rip.
    WriteLog("\nRip Failure AudioClose");
    FailWith(fcOutputNotWritable);
  }
  Run.reset();
}
