// The Q-subchannel searches: the fast one samples once a minute and bisects each change,
// the linear one reads every frame. Both run on the detector's worker thread.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "drive/Cdbbuild.h"
#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "reader/Sectorreader.h"
#include "reader/Tocdetector.h"
#include "sector/Address.h"
#include "sector/Datasector.h"

namespace {

constexpr int64_t kFirstProgramFrame = 150;
constexpr int kMaxHiddenTracks = 99;
constexpr int kMaxPregapProbes = 24;

int64_t AbsoluteFrames(const TSubQSector& q) { return MsfToFrames(q.AbsMinute, q.AbsSecond, q.AbsFrame); }

void SetAbsolute(TSubQSector& q, int64_t frames) {
  const TPackedMsf msf = FramesToMsf(frames);
  q.AbsMinute = PackedMsfMinute(msf);
  q.AbsSecond = PackedMsfSecond(msf);
  q.AbsFrame = PackedMsfFrame(msf);
}

uint8_t AdrOf(const TSubQSector& q) { return q.AdrControl & 0x0F; }

int64_t RelativeFrames(const TSubQSector& q) { return MsfToFrames(q.RelMinute, q.RelSecond, q.RelFrame); }

bool IsIndexOne(const TSubQSector& q, uint8_t track) {
  return TTocDetector::IsValidSubQ(q) && q.Track == track && q.Index != 0;
}

// Same track, or both outside any track.
bool SameClass(const TSubQSector& a, const TSubQSector& b) {
  const bool va = TTocDetector::IsValidSubQ(a), vb = TTocDetector::IsValidSubQ(b);
  return va == vb && (!va || a.Track == b.Track);
}

// The sample belongs to the open track: its own frames or the next track's pregap.
bool StaysWith(const TSubQSector& sample, const TSubQSector& open) {
  if (!TTocDetector::IsValidSubQ(sample)) return false;
  return sample.Track == open.Track || (sample.Track == open.Track + 1 && sample.Index == 0);
}

}  // namespace

bool TTocDetector::ReadSubQ(int64_t address, TSubQSector& sample) {
  sample = TSubQSector{};
  const TScsiExec exec = TransportFor(Setting);
  const bool read = Setting.SubChCmd == 1 ? CdbReadSubQCdda(exec, CdRom, address, sample)
                                          : CdbReadSubQ(exec, CdRom, address, sample);
  Pause();
  return read;
}

bool TTocDetector::IsValidSubQ(const TSubQSector& sample) {
  return AdrOf(sample) == 1 && sample.Track >= 1 && sample.Track <= 99;
}

TSubQSector TTocDetector::Sample(int64_t address) {
  TSubQSector q;
  ReadSubQ(address, q);
  int64_t read = address;
  if (AdrOf(q) == 2 || AdrOf(q) == 3) {
    read = address + 1;
    ReadSubQ(read, q);
  }
  if (IsValidSubQ(q)) {
    const int64_t at = AbsoluteFrames(q);
    if (at < read - kQSlack || at > read + kQSlack) q.AdrControl &= 0xF0;  // corrupt: not valid
  }
  if (!IsValidSubQ(q)) SetAbsolute(q, read);
  return q;
}

// A minute sample, checked against the next frame (or the previous one at the end of
// the range) so that one damaged Q frame does not decide what lies there.
TSubQSector TTocDetector::ConfirmedSample(int64_t address, int64_t floor, int64_t ceiling) {
  const TSubQSector first = Sample(address);
  const int64_t step = address + 2 < ceiling ? 1 : -1;
  const int64_t n1 = address + step, n2 = address + 2 * step;
  if (n1 <= floor || n1 >= ceiling || !Head.KeepGoing()) return first;
  const TSubQSector second = Sample(n1);
  if (SameClass(first, second)) return first;
  if (n2 <= floor || n2 >= ceiling) return first;
  const TSubQSector third = Sample(n2);
  return SameClass(second, third) ? second : first;
}

TTocDetector::TSide TTocDetector::SideOf(const TSubQSector& sample, const TSubQSector& q1,
                                         const TSubQSector& q2) const {
  if (IsValidSubQ(sample)) {
    if (IsValidSubQ(q2) && sample.Track == q2.Track) return sample.Index == 0 ? TSide::Before : TSide::After;
    return TSide::Before;
  }
  if (!IsValidSubQ(q2)) return TSide::After;
  if (!IsValidSubQ(q1)) return TSide::Before;
  return TSide::Unknown;
}

// A sample that would move a bound is checked by the next frame further on its side;
// when that one disagrees, a third frame decides which of the two was damaged.
TTocDetector::TSide TTocDetector::ConfirmSide(int64_t probe, TSide side, int64_t& position, int64_t lo, int64_t hi,
                                              const TSubQSector& q1, const TSubQSector& q2, int32_t& reads) {
  const int64_t step = side == TSide::After ? 1 : -1;
  const int64_t n1 = probe + step, n2 = probe + 2 * step;
  if (n1 <= lo || n1 >= hi || reads >= kMaxSeparateReads) return side;
  const TSubQSector s1 = Sample(n1);
  ++reads;
  const TSide c1 = SideOf(s1, q1, q2);
  if (c1 == side || c1 == TSide::Unknown) return side;
  if (n2 <= lo || n2 >= hi || reads >= kMaxSeparateReads) return side;
  const TSubQSector s2 = Sample(n2);
  ++reads;
  if (SideOf(s2, q1, q2) == side) return side;  // the neighbour was the damaged one
  position = IsValidSubQ(s1) ? AbsoluteFrames(s1) : n1;
  return c1;
}

bool TTocDetector::SeparateTracks(const TSubQSector& q1, TSubQSector& q2) {
  int64_t lo = std::max(kFirstProgramFrame, AbsoluteFrames(q1));
  int64_t hi = AbsoluteFrames(q2);
  if (lo >= hi) return false;

  char text[64];
  if (!IsValidSubQ(q1))
    std::snprintf(text, sizeof text, "Separating Lead-in/out and Track %.2d...", q2.Track);
  else if (!IsValidSubQ(q2))
    std::snprintf(text, sizeof text, "Separating Track %.2d and Lead-in/out...", q1.Track);
  else
    std::snprintf(text, sizeof text, "Separating Track %.2d and Track %.2d...", q1.Track, q2.Track);
  Head.Notify(pcSetText, 0, text);
  const int64_t initial = hi - lo;
  Head.Notify(pcSetRange, static_cast<int32_t>(initial));

  bool found = false;
  int32_t reads = 0;
  int64_t probe = lo + (hi - lo) * 2 / 3;
  int64_t unknownAt = -1;  // first probe of a run of samples that decide nothing
  int64_t unknownStep = 0;
  while (hi - lo >= 2 && reads < kMaxSeparateReads && Head.KeepGoing()) {
    probe = std::clamp(probe, lo + 1, hi - 1);
    const TSubQSector s = Sample(probe);
    ++reads;
    TSide side = SideOf(s, q1, q2);
    if (side == TSide::Unknown) {
      // Both sides are tracks: look at the neighbours, nearest first.
      if (unknownAt < 0) {
        unknownAt = probe;
        unknownStep = 0;
      }
      int64_t next = -1;
      while (next < 0) {
        ++unknownStep;
        const int64_t offset = (unknownStep + 1) / 2 * (unknownStep % 2 ? 1 : -1);
        const int64_t candidate = unknownAt + offset;
        if (unknownAt + (unknownStep + 1) / 2 >= hi && unknownAt - (unknownStep + 1) / 2 <= lo) break;
        if (candidate > lo && candidate < hi) next = candidate;
      }
      if (next < 0) break;
      probe = next;
      continue;
    }
    unknownAt = -1;
    const bool valid = IsValidSubQ(s);
    int64_t position = valid ? AbsoluteFrames(s) : probe;
    const TSide decided = ConfirmSide(probe, side, position, lo, hi, q1, q2, reads);
    if (decided != side) side = decided;
    if (side == TSide::Before) {
      lo = std::min(hi - 1, std::max(lo, position));
    } else {
      hi = std::max(lo + 1, std::min(hi, position));
      found = true;
    }
    probe = lo + (hi - lo) * 2 / 3;
    if (valid && decided == SideOf(s, q1, q2)) {
      const int64_t at = AbsoluteFrames(s);
      if (at < probe) ++probe;
      else if (at > probe) --probe;
    }
    Head.Notify(pcSetPosition, static_cast<int32_t>(initial - (hi - lo)));
  }
  Head.Notify(pcFill);
  if (found) SetAbsolute(q2, hi);
  return found;
}

TSubQSector TTocDetector::SampleBefore(int64_t floor, int64_t boundary, uint8_t nextTrack) {
  int64_t at = boundary - 1;
  if (at <= floor) return TSubQSector{};
  TSubQSector s = Sample(at);
  const auto inPregap = [nextTrack](const TSubQSector& q) {
    return nextTrack != 0 && IsValidSubQ(q) && q.Track == nextTrack && q.Index == 0;
  };
  if (inPregap(s)) {
    int64_t lo = floor, hi = at;
    for (int i = 0; i < kMaxPregapProbes && hi - lo >= 2 && Head.KeepGoing(); ++i) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (inPregap(Sample(mid))) hi = mid;
      else lo = mid;
    }
    at = hi - 1;
    if (at <= floor) return TSubQSector{};
    s = Sample(at);
  }
  // A second frame must agree before a hidden track is believed.
  if (IsValidSubQ(s) && at - 1 > floor && !SameClass(s, Sample(at - 1))) return TSubQSector{};
  return s;
}

void TTocDetector::CloseTracks(const TSubQSector& open, int64_t boundary, uint8_t nextTrack, int depth) {
  const bool openValid = IsValidSubQ(open);
  if (depth < kMaxHiddenTracks && Head.KeepGoing()) {
    const int64_t floor = AbsoluteFrames(open);
    TSubQSector hidden = SampleBefore(floor, boundary, nextTrack);
    if (IsValidSubQ(hidden) && hidden.Track != nextTrack && (!openValid || hidden.Track != open.Track)) {
      // A track shorter than the sample spacing lies before the boundary.
      SeparateTracks(open, hidden);
      CloseTracks(open, AbsoluteFrames(hidden), hidden.Track, depth + 1);
      AppendTrack(hidden, boundary);
      return;
    }
  }
  if (openValid) AppendTrack(open, boundary);
}

int64_t TTocDetector::IndexOneOf(const TSubQSector& open, int64_t tail) {
  const int64_t at = AbsoluteFrames(open);
  if (open.Index != 0) return at;
  // In the pregap the relative time counts down to zero on the frame before index 1.
  const int64_t guess = at + RelativeFrames(open) + 1;
  if (guess > at && guess < tail && IsIndexOne(Sample(guess), open.Track)) return guess;
  int64_t lo = at, hi = tail;
  while (hi - lo >= 2 && Head.KeepGoing()) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (IsIndexOne(Sample(mid), open.Track)) hi = mid;
    else lo = mid;
  }
  return hi;
}

void TTocDetector::AppendTrack(const TSubQSector& open, int64_t tail) {
  if (!IsValidSubQ(open)) return;
  // A track opened in its pregap starts at index 1.
  const int64_t head = IndexOneOf(open, tail);
  if (tail <= head) return;
  TCdTrack track;
  track.SessionNo = SearchSession;
  track.TrackNo = open.Track;
  track.Head = head;
  track.Tail = tail;
  const uint8_t control = open.AdrControl >> 4;
  if (control & 0x04) {
    track.DataType = DetectDataType(head);
    track.FileSystem = DetectFileSystem(head, tail, track.DataType);
  } else {
    track.DataType = dtAudio;
    track.FileSystem = (control & 0x01) ? fsCddaEmph : fsCdda;
  }
  Tracks.push_back(track);
}

void TTocDetector::FastSearch() {
  // Sampling: the start, every whole minute strictly inside, the last frame.
  std::vector<int64_t> addresses{SearchStart};
  for (int64_t m = (SearchStart + kFramesPerMinute - 1) / kFramesPerMinute; m * kFramesPerMinute < SearchEnd - 1;
       ++m)
    if (m * kFramesPerMinute > SearchStart) addresses.push_back(m * kFramesPerMinute);
  if (SearchEnd - 1 > SearchStart) addresses.push_back(SearchEnd - 1);

  Head.Notify(pcSetRange, static_cast<int32_t>(addresses.size()));
  std::vector<TSubQSector> samples;
  for (int64_t address : addresses) {
    if (!Head.KeepGoing()) return;
    samples.push_back(ConfirmedSample(address, SearchStart - 1, SearchEnd));
    Head.Notify(pcStepIt);
  }
  Head.Notify(pcFill);

  // Checking: a sample the drive gave nothing for is asked once more.
  const int n = static_cast<int>(samples.size());
  Head.Notify(pcSetRange, n);
  Head.Notify(pcSetText, 0, "Checking tracks...");
  for (int e = n - 1; e >= 0; --e) {
    if (!Head.KeepGoing()) return;
    if (samples[e].AdrControl == 0 && e + 1 < n && samples[e + 1].AdrControl != 0) {
      Sample(AbsoluteFrames(samples[e + 1]));
      const TSubQSector again = Sample(AbsoluteFrames(samples[e]));
      if (IsValidSubQ(again)) samples[e] = again;
    }
    Head.Notify(pcStepIt);
  }

  TSubQSector prev = samples.front();
  for (int i = 1; i < n && Head.KeepGoing(); ++i) {
    TSubQSector cur = samples[i];
    const bool pv = IsValidSubQ(prev), cv = IsValidSubQ(cur);
    if (pv && cv) {
      if (StaysWith(cur, prev)) continue;
      SeparateTracks(prev, cur);
      CloseTracks(prev, AbsoluteFrames(cur), cur.Track, 0);
      prev = cur;
    } else if (pv) {
      // Damage inside a track: the track goes on after it.
      if (i + 1 < n && IsValidSubQ(samples[i + 1]) && samples[i + 1].Track == prev.Track) continue;
      SeparateTracks(prev, cur);
      // The recorded area ends in a lead-out of thousands of frames; valid Q soon after
      // the cut means the cut was damage.
      const int64_t cut = AbsoluteFrames(cur);
      if (cut + kInvalidRunToClose < SearchEnd) {
        TSubQSector after = Sample(cut + kInvalidRunToClose);
        if (IsValidSubQ(after)) {
          if (StaysWith(after, prev)) continue;
          SeparateTracks(prev, after);
          CloseTracks(prev, AbsoluteFrames(after), after.Track, 0);
          prev = after;
          continue;
        }
      }
      CloseTracks(prev, cut, 0, 0);
      prev = cur;
    } else if (cv) {
      SeparateTracks(prev, cur);
      CloseTracks(prev, AbsoluteFrames(cur), cur.Track, 0);
      prev = cur;
    } else {
      prev = cur;
    }
  }
  if (Head.KeepGoing() && IsValidSubQ(prev)) AppendTrack(prev, SearchEnd);
}

bool TTocDetector::ConfirmsNewTrack(int64_t address, const TSubQSector& open) {
  if (address + 1 >= SearchEnd) return true;
  return !StaysWith(Sample(address + 1), open);
}

void TTocDetector::LinearSearch() {
  const int64_t total = SearchEnd - SearchStart;
  Head.Notify(pcSetRange, static_cast<int32_t>(total));
  TSubQSector open;
  bool hasOpen = false;
  bool seenValid = false;
  int64_t runStart = -1;  // first frame of the invalid run inside the open track
  int64_t invalidSteps = 0;
  const int64_t maxLeadout = std::max<int64_t>(1, Options.MaxLeadout);

  for (int64_t address = SearchStart; address < SearchEnd; ++address) {
    if (!Head.KeepGoing()) return;
    if ((address - SearchStart) % kFramesPerSecond == 0)
      Head.Notify(pcSetPosition, static_cast<int32_t>(address - SearchStart));
    const TSubQSector s = Sample(address);
    if (IsValidSubQ(s)) {
      seenValid = true;
      invalidSteps = 0;
      if (hasOpen) {
        if (StaysWith(s, open)) {
          runStart = -1;
          continue;
        }
        if (!ConfirmsNewTrack(address, open)) continue;  // one corrupt frame
        AppendTrack(open, AbsoluteFrames(s));
      }
      open = s;
      hasOpen = true;
      runStart = -1;
      continue;
    }
    if (hasOpen) {
      if (runStart < 0) runStart = address;
      if (address + 1 - runStart >= kInvalidRunToClose) {
        AppendTrack(open, runStart);
        hasOpen = false;
        runStart = -1;
      }
    } else if (seenValid && ++invalidSteps >= maxLeadout) {
      break;  // the end of the recorded area
    }
  }
  if (Head.KeepGoing() && hasOpen) AppendTrack(open, runStart >= 0 ? runStart : SearchEnd);
}
