#pragma once
// The head every engine that runs workers shares (the TOC detector, the ripper, the
// extracter): the drive it works on with its settings and a drive utility for them, the
// progress window its runs show, the worker head and why the last run failed.
#include <string_view>

#include "drive/Driveutility.h"
#include "drive/Krcdrom.h"
#include "worker/Progresscodes.h"
#include "worker/Workerprotocol.h"

class TWorkerEngine {
 public:
  // The pause after the spin-up read that starts a TOC search, a rip or a scan.
  static constexpr uint32_t kSpinUpMs = 500;

  TWorkerEngine(const TWorkerEngine&) = delete;
  TWorkerEngine& operator=(const TWorkerEngine&) = delete;

  // Copies the drive and its settings, for the engine and its drive utility.
  void SetDrive(const TKrCdRom& drive, const TDriveSetting& setting);
  // The window the runs show; without one no run starts.
  void SetProgressView(IProgressView* view) { View = view; }
  // wsRunning -> wsCancelRequested; any other state stays.
  void Cancel() { Head.Cancel(); }
  TWorkerState GetState() const { return Head.GetState(); }
  // Why the last run failed; fcNone when it did not say (or none ran).
  TFailureCode GetFailure() const { return Failure; }

 protected:
  TWorkerEngine() = default;
  ~TWorkerEngine() = default;

  // Runs `job` on a worker behind the window under `title` and returns once it has ended
  // and been joined: true when it ended done. False at once without a window. The
  // failure reason of the run before is forgotten first.
  bool Launch(std::string_view title, TWorkerJob job);
  // Ends the run as failed, for `reason`; a run the user cancelled stays cancelled.
  void FailWith(TFailureCode reason);

  IProgressView* View = nullptr;
  TWorkerHead Head;
  TKrCdRom CdRom;
  TDriveSetting Setting{};
  TDriveUtility Utility;
  TFailureCode Failure = fcNone;
};
