#include <algorithm>

#include "platform/OutputFile.h"
#include "reader/Sectorreader.h"
#include "recovery/Isoextracter.h"
#include "recovery/IsoextracterInternal.h"
#include "sector/Datasector.h"

using iso_internal::RecordedTime;

bool TIsoExtracter::ReadListedFile(const TExtractedFile& node, const std::string& path) {
  UnreadableCount = 0;
  Damage = {};
  TWorkerJob job;
  job.Work = [this, &node, &path] {
    Utility.ApplyErrorRecovery();
    const TReaderSession session(Reader, &Utility);
    ReadListedFileWorker(node, path);
  };
  return Launch("Reading " + node.Name + "...", std::move(job));
}

void TIsoExtracter::ReadListedFileWorker(const TExtractedFile& node, const std::string& path) {
  const uint8_t mode = node.SectorMode != 0 ? node.SectorMode : static_cast<uint8_t>(SectorMode);
  const int64_t trackEnd = node.TrackEnd != 0 ? node.TrackEnd : TrackEnd;
  uint32_t size = 0, offset = 0;
  if (mode < dtMode1 || mode > dtMode2Formless) return static_cast<void>(Head.Fail());
  GetUserDataLayout(mode, &size, &offset);

  platform::OutputFile out;
  if (!out.Create(path)) return OutputFailed();
  const uint64_t sectors = (uint64_t{node.Size} + size - 1) / size;
  Report(pcSetRange, static_cast<int32_t>(sectors));
  uint64_t left = node.Size;
  for (uint64_t i = 0; i < sectors && Head.KeepGoing(); ++i) {
    const int64_t address = node.Start + static_cast<int64_t>(i);
    if (trackEnd > 0 && address >= trackEnd) {
      // A length that runs past the track is damage: what lies beyond is not this file.
      return FailWith(fcFileBeyondTrack);
    }
    if (!ReadSectorAs(address, mode)) {
      if (Reader.ReadRefused()) return ReadCommandRefused();
      ++UnreadableCount;
    }
    const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(left, size));
    if (!out.Write(Sector.data() + offset, bytes)) return OutputFailed();
    left -= bytes;
    if (bytes == size) Report(pcStepIt);
  }
  if (!out.Close()) return OutputFailed();
  if (UnreadableCount > 0) {
    Report(pcSetText, 0, std::to_string(UnreadableCount) + " unreadable sectors written as zeros");
    Damage.AddFile(path);
  }
  // Only a complete copy carries the original's time: a partial one must not look whole.
  timespec time;
  if (Head.KeepGoing() && UnreadableCount == 0) platform::SetFileTimes(path, RecordedTime(node.DirRecord, time));
}
