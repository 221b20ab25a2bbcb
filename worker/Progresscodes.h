#pragma once
// The codes a worker reports with and the state byte it shares with its launcher.
#include <cstdint>
#include <string>

enum TProgressCode : int8_t {
  pcFailed = 0,
  pcDone = 1,
  pcCancelled = 2,
  pcStep = 3,
  pcSetRange = 6,
  pcFill = 7,
  pcStepIt = 8,
  pcSetText = 9,
  pcSetPosition = 11,
};

enum TWorkerState : uint8_t {
  wsIdle = 0,
  wsRunning = 1,
  wsFailed = 2,
  wsDone = 3,
  wsCancelRequested = 4,
};

// How a run ended, as its launcher collected it: the windows report a failure and pass
// over a run the user cancelled.
enum TWorkerOutcome : uint8_t {
  woDone = 0,
  woFailed = 1,
  woCancelled = 2,
};

// Why an engine ended a job failed; the windows tell the user in their own words.
enum TFailureCode : uint8_t {
  fcNone = 0,           // not failed, or failed without a reason to give
  fcReadRefused,        // the system refused the read command (not the drive)
  fcNoSectorRead,       // not one sector of the track could be read
  fcOutputNotWritable,  // the output file or folder cannot be made or written
  fcFileBeyondTrack,    // a listed file's length runs past the end of its track
  fcQCommandRefused,    // the system refused the subchannel read command
  fcCount
};

// pcFailed, pcDone and pcCancelled end a run and close the progress window.
constexpr bool IsClosingCode(int8_t code) { return code == pcFailed || code == pcDone || code == pcCancelled; }
constexpr bool IsKnownProgressCode(int8_t code) {
  switch (code) {
    case pcFailed: case pcDone: case pcCancelled: case pcStep: case pcSetRange:
    case pcFill: case pcStepIt: case pcSetText: case pcSetPosition:
      return true;
    default:
      return false;
  }
}

// One progress report as it travels from the worker to the window. Text is a copy,
// owned by the event, so the worker's buffer may change as soon as the call returns.
struct TProgressEvent {
  int8_t Code = pcFailed;
  int32_t Value = 0;
  std::string Text;
};
