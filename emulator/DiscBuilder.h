#pragma once
// Builds image sets (ImageSet.h) from ISO 9660 images, raw data and audio files, with
// chosen damage. Inputs and outputs are streamed: a full-size disc never sits in memory.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/Disc.h"

namespace emu {

enum class AudioSource : uint8_t { Wav, RawPcm };

struct TrackSpec {
  // Mode1 / Mode2Form1: 2048 bytes a sector (an ISO image); Mode2Form2: 2324;
  // Mode2Formless: 2336; Audio: 2352 (16-bit little-endian stereo PCM, 44100 Hz).
  // A short last sector is padded with zeros.
  SectorKind Kind = SectorKind::Mode1;
  std::filesystem::path File;
  AudioSource Audio = AudioSource::Wav;
  bool PreEmphasis = false;
  // Pregap inside the image, before index 1; -1: 150 frames where the track changes
  // between data and audio, else none. The first track of a session always has the
  // standard 150-frame pregap (the disc's first lies before LBA 0, outside the image);
  // setting one there is refused.
  int32_t PregapFrames = -1;
};

struct SessionSpec {
  std::vector<TrackSpec> Tracks;
};

enum class QDamageKind : uint8_t {
  Zero,        // all twelve Q bytes zero: the drive could not read the frame's Q
  BadCrc,      // garbage with a CRC that does not match
  WrongTrack,  // a valid frame naming another track and index
};

// Q frames of [FirstLba, EndLba) written damaged into the .sub.
struct QDamage {
  int32_t FirstLba = 0;
  int32_t EndLba = 0;
  QDamageKind Kind = QDamageKind::Zero;
};

// The TOC the drive reports may differ from what is recorded; the sectors stay recorded.
struct TocDamage {
  std::vector<int> DroppedSessions;  // every entry of these sessions left out
  std::vector<int> DroppedLeadOuts;  // the A2 entry of these sessions left out
  struct MovedLeadOut {
    int Session = 0;
    int32_t Lba = 0;  // where the A2 entry claims the session's lead-out starts
  };
  std::vector<MovedLeadOut> MovedLeadOuts;
};

struct DiscSpec {
  std::vector<SessionSpec> Sessions;
  DriveProfile Profile;
  FaultSet Faults;
  std::vector<QDamage> QDamages;
  TocDamage Toc;
  // What a real disc holds between sessions: the lead-out (Q track AA), the next
  // session's lead-in (its Q carries that session's TOC) and that session's first
  // pregap (index 0, counting down). Off: those frames are zeros and unreadable.
  bool RecordLeadAreas = true;
  // What pressed discs carry in place of some position frames: the catalogue number
  // (ADR 2) in a track's frames and the ISRC (ADR 3) in an audio track's, one each in
  // every hundred frames.
  bool ModeQFrames = false;
};

// The ADR a frame of a track carries on a disc with mode-2/3 Q frames: 2, 3, or 1 for
// a position frame.
uint8_t ModeQAdrAt(int32_t lba, SectorKind kind);
// Writes the catalogue (adr 2) or ISRC (adr 3) Q frame of this LBA, with its CRC.
void EncodeModeQFrame(uint8_t q[12], uint8_t control, uint8_t adr, int32_t lba);

// Where everything lies, computed from the disc description and the input sizes.
struct TrackLayout {
  int Number = 0;
  int Session = 0;
  SectorKind Kind = SectorKind::Mode1;
  uint8_t Control = 0;
  int32_t PregapLba = 0;       // first pregap frame (index 0); == StartLba without a pregap
  bool PregapRecorded = false;  // the pregap is part of the recorded image
  int32_t StartLba = 0;        // index 1
  int32_t EndLba = 0;          // exclusive: the next track's pregap or the lead-out
  int32_t DataSectors = 0;     // sectors that carry the input file
  uint64_t DataOffset = 0;     // where the input's payload starts (WAV data chunk)
  uint64_t DataBytes = 0;
};

struct SessionLayout {
  int Number = 0;
  int FirstTrack = 0, LastTrack = 0;  // indexes into DiscLayout::Tracks
  int32_t LeadOutLba = 0;
  int32_t LeadOutFrames = 0;  // 6750 for the first session, 2250 for later ones
};

struct DiscLayout {
  std::vector<TrackLayout> Tracks;
  std::vector<SessionLayout> Sessions;
  int32_t ImageSectors = 0;  // sectors in the .img and .sub
};

constexpr int32_t kFirstLeadOutFrames = 6750;
constexpr int32_t kLaterLeadOutFrames = 2250;
constexpr int32_t kLeadInFrames = 4500;
constexpr int32_t kPregapFrames = 150;

// User-data bytes an input supplies for one sector of this kind.
uint32_t SectorPayloadBytes(SectorKind kind);

// Checks the disc description and its inputs (existence, WAV format) and lays the disc out.
bool PlanDisc(const DiscSpec& spec, DiscLayout& layout, std::string& error);

// The TOC entries of session `s` (0-based), with `damage` applied; no damage gives what
// the session's lead-in records.
std::vector<TocDescriptor> SessionToc(const DiscLayout& layout, size_t s, const TocDamage& damage);

// The disc as the drive sees it, without the sector store: TOC (damage applied),
// true layout, session header, profile and faults.
Disc DescribeDisc(const DiscSpec& spec, const DiscLayout& layout);

// Writes NAME.img, NAME.sub, NAME.ccd and NAME.flt, where NAME is `name` without a
// .ccd/.img/.sub/.flt extension. An existing set is replaced only when `overwrite`.
// Nothing is left behind on failure.
bool BuildImageSet(const DiscSpec& spec, const std::filesystem::path& name, bool overwrite, std::string& error,
                   DiscLayout* layoutOut = nullptr);

// Reads the PCM payload of a WAV file: 16-bit stereo 44100 Hz PCM only.
bool ReadWavPayload(const std::filesystem::path& file, uint64_t& offset, uint64_t& bytes, std::string& error);

// One "Key=Value" of the .flt [Drive] or [Faults] section, applied to a profile or a
// fault set; the command-line tool takes its drive and fault options in this form.
bool ApplyDriveSetting(DriveProfile& profile, const std::string& key, const std::string& value, std::string& error);
bool ApplyFaultSetting(FaultSet& faults, const std::string& key, const std::string& value, std::string& error);

}  // namespace emu
