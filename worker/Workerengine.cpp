#include "worker/Workerengine.h"

#include <utility>

void TWorkerEngine::SetDrive(const TKrCdRom& drive, const TDriveSetting& setting) {
  CdRom = drive;
  Setting = setting;
  Utility.Assign(drive, setting);
}

bool TWorkerEngine::Launch(std::string_view title, TWorkerJob job) {
  if (View == nullptr) return false;
  Failure = fcNone;
  return LaunchWorker(Head, *View, title, std::move(job));
}

void TWorkerEngine::FailWith(TFailureCode reason) {
  if (!Head.Fail()) return;  // cancelled: the user knows why
  Failure = reason;
}
