#pragma once
// Builds the track list of the disc in the selected drive: from its TOC, classifying each
// data track by its first sectors, and/or by searching the Q subchannel where the TOC is
// missing or the user asks for it. The searches run as workers behind the progress window.
//
// The detector appends to a track list it is given (the application's `CdTracks`) and
// reads sectors through the sector reader it is given (the application's `SectorReader`).
// It sets `DiscEndAddress` (reader/Discend.h).
#include <cstdint>
#include <string>
#include <vector>

#include "drive/Krcdrom.h"
#include "drive/Subq.h"
#include "sector/Cdtrack.h"
#include "worker/Workerengine.h"

class TSectorReader;

// The [Toc] options.
struct TTocOptions {
  bool Manual = false;
  bool Leadout = false;
  bool FastSearch = true;
  int64_t LastAddress = 360000;  // 80:00:00
  int64_t MaxLeadout = 300;
};

class TTocDetector : public TWorkerEngine {
 public:
  static constexpr int32_t kMaxSeparateReads = 500;
  // A valid Q sample whose absolute time lies further than this from the frame that was
  // read is corrupt.
  static constexpr int64_t kQSlack = 75;
  // Frames without a valid Q in a row that the linear search takes for damage before it
  // counts them toward the end of the recorded area.
  static constexpr int64_t kInvalidRunToClose = 75;
  // The longest run of damaged Q frames the searches step over to find Q again.
  static constexpr int64_t kDamageSpan = 300;
  // Pairs of a track's first sectors asked for its DataType while no command reads them.
  static constexpr int64_t kTypeProbes = 4;

  TTocOptions Options;

  TTocDetector(std::vector<TCdTrack>& tracks, TSectorReader& reader);
  ~TTocDetector();
  TTocDetector(const TTocDetector&) = delete;
  TTocDetector& operator=(const TTocDetector&) = delete;

  void SetDefaults();
  // The engine's SetDrive with every setting held to its range at once.
  void SetDrive(const TKrCdRom& drive, const TDriveSetting& setting);

  // Rebuilds the track list; the number of tracks in it afterwards. The drive's
  // error-recovery page is back at its default when this returns or throws.
  uint32_t Detect();
  uint8_t DetectDataType(int64_t address);
  uint8_t DetectFileSystem(int64_t head, int64_t tail, uint8_t dataType);

  // One search over [start, end) appending tracks of session `session`; true when it
  // completed (an empty range completes at once, finding nothing).
  bool StartFastSearch(int64_t start, int64_t end, uint8_t session);
  bool StartLinearSearch(int64_t start, int64_t end, uint8_t session);

  // One Q sample; the pause of the drive's Interval follows every read.
  bool ReadSubQ(int64_t address, TSubQSector& sample);
  static bool IsValidSubQ(const TSubQSector& sample);
  // Bisects the change between q1 and q2 (q1 before q2). True when the first frame of
  // q2's side was found; q2's absolute time is then moved there.
  bool SeparateTracks(const TSubQSector& q1, TSubQSector& q2);

  int64_t GetSearchStart() const { return SearchStart; }
  int64_t GetSearchEnd() const { return SearchEnd; }

 private:
  enum class TSide : uint8_t { Before, After, Unknown };
  enum class TMark : uint8_t { Found, Absent, Unread };
  // A frame that decided a side and the sample read there.
  struct TProbe {
    int64_t At = 0;
    TSubQSector Sample;
  };
  // The state of one bisection: frames up to Lo lie before the change, from Hi after it.
  struct TBisection {
    int64_t Lo = 0, Hi = 0;
    int64_t KnownBefore = 0;  // last frame before the change whose Q was read
    TSubQSector HiSample;     // the sample that set Hi
    bool Found = false;
    int32_t Reads = 0;
  };
  struct TLinearWalk {
    TSubQSector Open;  // the sample that opened the current track
    bool HasOpen = false;
    bool SeenQ = false;
    int64_t RunStart = -1;  // first frame of the run without the open track's Q
    int64_t LastKnown = -1;  // last frame whose Q was read
    int64_t FramesWithoutQ = 0;
  };

  // DetectDataType at the head, or at the next pairs of sectors where no command read it.
  uint8_t DetectTrackType(int64_t head, int64_t tail);
  // True when a command read the sectors; `type` then holds their DataType.
  bool ReadDataType(int64_t address, uint8_t& type);
  // Whether the sector carries the ISO 9660 volume mark.
  TMark VolumeMarkAt(int64_t address, uint8_t dataType);
  bool StartSearch(int64_t start, int64_t end, uint8_t session, bool fast);
  void FastSearch();
  void LinearSearch();
  bool RunSearch(int64_t start, int64_t end, uint8_t session);

  void Pause() const;
  // The sample of the frame at `frame` on the disc (again one frame on for a catalogue or
  // ISRC frame), asked at the address a drifting drive reads it at.
  TSubQSector Sample(int64_t frame);
  // The sample read at `address`. One without an absolute time gets the frame the drive
  // read there; a corrupt one loses its ADR.
  TSubQSector SampleAddress(int64_t address);
  // A frame with Q from `address` on towards `limit` (not reached), stepping over damaged
  // ones up to kDamageSpan away; none: a sample without Q at `address`.
  TSubQSector SampleOver(int64_t address, int64_t limit);
  // A frame with Q around `probe`, strictly inside (lo, hi), up to `reach` out: the
  // neighbours first, then ever wider steps; after it only (way 1), before it (-1) or both (0).
  bool ProbeNear(int64_t probe, int64_t lo, int64_t hi, int64_t reach, int way, TSubQSector& found,
                 int32_t& reads);
  TSubQSector ConfirmedSample(int64_t address, int64_t floor, int64_t ceiling);
  TSide SideOf(const TSubQSector& sample, const TSubQSector& q1, const TSubQSector& q2) const;
  TSide ConfirmSide(const TProbe& probe, TSide side, TProbe& decided, int64_t lo, int64_t hi, const TSubQSector& q1,
                    const TSubQSector& q2, int32_t& reads);
  TSide ProbeSide(int64_t probe, TBisection& b, const TSubQSector& q1, const TSubQSector& q2, TProbe& decided);
  static void MoveBound(TSide side, const TProbe& decided, TBisection& b);
  void ReportSeparation(const TSubQSector& q1, const TSubQSector& q2, int64_t range);
  // A track's frame before `boundary` (above `floor`), outside the pregap of `nextTrack`
  // and past frames with damaged Q; none: an empty sample.
  TSubQSector SampleBefore(int64_t floor, int64_t boundary, uint8_t nextTrack);
  // Where the track of a sample found before `limit` starts: at index 1 for one in its pregap.
  int64_t TrackHead(const TSubQSector& q, int64_t limit);
  // Appends the track `open` opened (and any short track hidden before `boundary`).
  void CloseTracks(const TSubQSector& open, int64_t boundary, uint8_t nextTrack, int depth);
  bool ConfirmsNewTrack(int64_t address, const TSubQSector& open);
  // First frame at index 1 of the track `open` opened (in its pregap, perhaps) before `tail`.
  int64_t IndexOneOf(const TSubQSector& open, int64_t tail);
  void AppendTrack(const TSubQSector& open, int64_t tail);

  std::vector<TSubQSector> SampleMinutes();
  void CheckSamples(std::vector<TSubQSector>& samples);
  void WalkSamples(const std::vector<TSubQSector>& samples);
  void EndsTrack(TSubQSector& prev, const TSubQSector& cur);
  void ReportLinearPosition(int64_t address, uint64_t& reported);
  void LinearTrackFrame(int64_t address, const TSubQSector& s, TLinearWalk& walk);
  void LinearOtherFrame(int64_t address, const TSubQSector& s, TLinearWalk& walk);

  std::vector<TCdTrack>& Tracks;
  TSectorReader& Reader;
  int64_t SearchStart = 0;
  int64_t SearchEnd = 0;
  uint8_t SearchSession = 0;
  // Absolute time minus address of the last frame whose Q was read: a drive that drifts
  // is asked for the frame it will really read.
  int64_t Drift = 0;
  // The first entry of the list the running search appended.
  size_t FirstFound = 0;
};
