// The read loop: every pass reads a block, finds where it continues what was written,
// and writes the new samples. Each pass moves on by at least one sample, so the loop
// ends only at the track end, on a cancel or on a failed write.
#include <algorithm>
#include <cstring>

#include "audio/AudioripperRun.h"
#include "platform/Clock.h"
#include "sector/Datasector.h"

void TAudioRipper::Work() {
  Run->FirstBlock = true;
  CurrentSample = StartSample;
  Head.Notify(pcSetRange, static_cast<int32_t>(Run->EndSector - Run->StartSector));
  WriteLog("\n\nRip Ripping Loop Start\n");
  while (Head.KeepGoing() && RipPass()) {
  }
  WriteLog("\n\nRip Ripping Roop End\n");
  WriteLog("\nRip Buffer Rip     = " + HexText(reinterpret_cast<uintptr_t>(Run->Buffer->GetBuffer()), 8));
  LogValue("\nRip Unreadable Sectors = ", UnreadableSectors);
  if (Run->Refused) return FailWith(fcReadRefused);
  // Silence alone, or a WAV that stops short of the track end, is no rip.
  if (SectorsRead == 0) return FailWith(fcNoSectorRead);
  if (CurrentSample < EndSample) Head.Fail();
}

void TAudioRipper::Pause() const {
  if (Setting.Interval != 0) platform::Sleep(Setting.Interval);
}

bool TAudioRipper::RipPass() {
  LogValue("\nRip CurrentSample = ", CurrentSample);
  WriteLog("\nRip Normal Playback");
  const int64_t sector = FloorDiv(CurrentSample, kSamplesPerSector);
  const int64_t off = CurrentSample - sector * kSamplesPerSector;
  TBlock block = ReadBlock(sector, off);
  if (Run->Refused) return false;

  bool last = false;
  if (CurrentSample + block.Samples >= EndSample) {
    block.Samples = EndSample - CurrentSample;
    last = true;
    WriteLog("\nRip Normal Loop End");
  }
  CurrentSample += block.Samples;
  LogValue("\nRip CurrentSample = ", CurrentSample);
  LogValue("\nRip RemainLength  = ", EndSample - CurrentSample);
  if (block.Samples > 0 && !WriteBlock(block)) return false;
  WriteLog(last ? "\nRip AudioFlush" : "\n");
  return !last;
}

TAudioRipper::TBlock TAudioRipper::ReadBlock(int64_t sector, int64_t off) {
  const bool overlap = !Run->FirstBlock;
  Run->FirstBlock = false;
  const int64_t head = overlap ? sector - Setting.Overlaps : sector;
  const int64_t overlapSamples = overlap ? int64_t{Setting.Overlaps} * kSamplesPerSector : 0;
  // With synchronisation the reads run one sector past the end, so that the last blocks too
  // hold the reference wherever a late or early read put it.
  const int64_t readEnd = Run->EndSector + (Setting.Compares > 0 ? 1 : 0);
  const auto count = static_cast<uint32_t>(std::clamp<int64_t>(readEnd - head, 1, Setting.ReadAtOnce));
  TBlock block = TryRead(head, count, overlapSamples, off);
  if (block.Samples > 0 || Run->Refused) return block;
  // The sector past the end may be one the drive will not read (the lead-out).
  if (head + count > Run->EndSector && Run->EndSector - head > 0) {
    block = TryRead(head, static_cast<uint32_t>(Run->EndSector - head), overlapSamples, off);
    if (block.Samples > 0) return block;
  }
  // Nothing new came back (a read error, or the data lay inside the overlap): before the
  // sector is given up, it is read once more on its own, with no reference to match.
  if (head != sector || count != 1) {
    Run->Sync.Reset();
    block = TryRead(sector, 1, 0, off);
    if (block.Samples > 0) return block;
  }
  return GiveUpSector(off);
}

TAudioRipper::TBlock TAudioRipper::TryRead(int64_t head, uint32_t count, int64_t overlapSamples, int64_t off) {
  LogValue("\nRip Head   = ", head);
  LogValue("\nRip Length = ", count);
  uint8_t* buffer = Run->Buffer->GetBuffer();
  std::memset(buffer, 0, size_t{count} * SectorBytes);
  const uint32_t n = ReadAudio(head, count, buffer);
  Pause();
  LogValue("\nRip Readed Length = ", n);
  TBlock block;
  if (n == 0) return block;
  const int64_t samples = int64_t{n} * kSamplesPerSector;
  LogValue("\nRip Sync theNumSamples = ", samples);
  LogValue("\nRip Sync theOverlapSamples = ", overlapSamples);
  LogValue("\nRip Sync theOffsetSamples  = ", off);
  unsigned headPos = 0, numSamples = 0;
  const auto skip = static_cast<unsigned>(overlapSamples + off);
  const uint8_t state = Run->Sync.Sync(buffer, static_cast<unsigned>(samples), skip, headPos, numSamples);
  LogValue("\nRip Sync State = ", state);
  LogValue("\nRip Sync HeadPos = ", headPos);
  LogValue("\nRip Sync theNumSamples = ", numSamples);
  block.HeadPos = headPos;
  block.Samples = numSamples;
  if (block.Samples > 0) SectorsRead += n;
  return block;
}

TAudioRipper::TBlock TAudioRipper::GiveUpSector(int64_t off) {
  WriteLog("\nRip Command Failure");
  LogValue("\nRip theOffsetSamples  = ", off);
  // The unread sector becomes silence up to the next sector boundary; nothing of it may
  // serve as a reference, and the next pass reads without overlap.
  std::memset(Run->Buffer->GetBuffer(), 0, kRawSectorSize);
  Run->Sync.Reset();
  Run->FirstBlock = true;
  ++UnreadableSectors;
  return TBlock{0, kSamplesPerSector - off};
}

bool TAudioRipper::WriteBlock(const TBlock& block) {
  WriteLog("\nRip Effect Start");
  auto* samples = reinterpret_cast<int16_t*>(Run->Buffer->GetBuffer() + block.HeadPos * kSampleBytes);
  DeEmphasizer.Process(samples, static_cast<int>(block.Samples));
  WriteLog("\nRip DeEmph Success");
  const int64_t bytes = block.Samples * kSampleBytes;
  LogValue("\nRip AudioWrite ", bytes);
  if (!Run->Out.Write(samples, static_cast<size_t>(bytes))) {
    WriteLog("\nRip Failure AudioWrite");
    FailWith(fcOutputNotWritable);
    return false;
  }
  Head.Notify(pcSetPosition, static_cast<int32_t>((CurrentSample - StartSample) / kSamplesPerSector));
  return true;
}
