#pragma once
// Builds the track list of the disc in the selected drive: from its TOC, classifying each
// data track by its first sectors, and/or by searching the Q subchannel where the TOC is
// missing or the user asks for it. The searches run as workers behind the progress window.
//
// The detector appends to a track list it is given (the application's `CdTracks`) and
// reads sectors through the sector reader it is given (the application's `SectorReader`).
// It sets `DiscEndAddress` (reader/Discend.h).
#include <cstdint>
#include <vector>

#include "worker/Workerprotocol.h"
#include "drive/Driveutility.h"
#include "drive/Krcdrom.h"
#include "drive/Subq.h"
#include "sector/Cdtrack.h"

class TSectorReader;

// The [Toc] options.
struct TTocOptions {
  bool Manual = false;
  bool Leadout = false;
  bool FastSearch = true;
  int64_t LastAddress = 360000;  // 80:00:00
  int64_t MaxLeadout = 300;
};

class TTocDetector {
 public:
  static constexpr uint32_t kSpinUpMs = 500;
  static constexpr int32_t kMaxSeparateReads = 500;
  // A valid Q sample whose absolute time lies further than this from the frame that was
  // read is corrupt.
  static constexpr int64_t kQSlack = 75;
  // The linear search closes a track after this many frames without a valid Q; shorter
  // runs are damage inside the track.
  static constexpr int64_t kInvalidRunToClose = 75;

  TTocOptions Options;

  TTocDetector(std::vector<TCdTrack>& tracks, TSectorReader& reader);
  ~TTocDetector();
  TTocDetector(const TTocDetector&) = delete;
  TTocDetector& operator=(const TTocDetector&) = delete;

  void SetDefaults();
  void SetDrive(const TKrCdRom& drive, const TDriveSetting& setting);
  // The window the searches show; without one no search can run.
  void SetProgressView(IProgressView* view) { View = view; }
  // wsRunning -> wsCancelRequested; any other state stays.
  void Cancel();
  TWorkerState GetState() const { return Head.GetState(); }

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
  uint8_t GetSearchSession() const { return SearchSession; }

 private:
  enum class TSide : uint8_t { Before, After, Unknown };

  bool StartSearch(int64_t start, int64_t end, uint8_t session, bool fast);
  void FastSearch();
  void LinearSearch();
  bool RunSearch(int64_t start, int64_t end, uint8_t session);

  void Pause() const;
  // A sample at `address` (again one frame on for a catalogue or ISRC frame). A sample
  // that is not usable has its absolute time set to the frame that was read.
  TSubQSector Sample(int64_t address);
  TSubQSector ConfirmedSample(int64_t address, int64_t floor, int64_t ceiling);
  TSide SideOf(const TSubQSector& sample, const TSubQSector& q1, const TSubQSector& q2) const;
  TSide ConfirmSide(int64_t probe, TSide side, int64_t& position, int64_t lo, int64_t hi, const TSubQSector& q1,
                    const TSubQSector& q2, int32_t& reads);
  // Last frame before `boundary` (above `floor`) outside the pregap of `nextTrack`.
  TSubQSector SampleBefore(int64_t floor, int64_t boundary, uint8_t nextTrack);
  // Appends the track `open` opened (and any short track hidden before `boundary`).
  void CloseTracks(const TSubQSector& open, int64_t boundary, uint8_t nextTrack, int depth);
  bool ConfirmsNewTrack(int64_t address, const TSubQSector& open);
  // First frame at index 1 of the track `open` opened (in its pregap, perhaps) before `tail`.
  int64_t IndexOneOf(const TSubQSector& open, int64_t tail);
  void AppendTrack(const TSubQSector& open, int64_t tail);

  std::vector<TCdTrack>& Tracks;
  TSectorReader& Reader;
  IProgressView* View = nullptr;
  TWorkerHead Head;
  TKrCdRom CdRom;
  TDriveSetting Setting{};
  TDriveUtility Utility;
  int64_t SearchStart = 0;
  int64_t SearchEnd = 0;
  uint8_t SearchSession = 0;
};
