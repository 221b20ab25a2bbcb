// The Q-subchannel searches: the fast one samples once a minute and bisects each change,
// the linear one reads every frame. Both run on the detector's worker thread.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "drive/Cdbbuild.h"
#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "platform/Clock.h"
#include "reader/Sectorreader.h"
#include "reader/Tocdetector.h"
#include "sector/Address.h"
#include "sector/Datasector.h"

namespace {

constexpr int kMaxHiddenTracks = 99;
constexpr int kMaxPregapProbes = 24;
// Frames asked one by one around one without Q before wider steps are taken: a scratch
// spoils a handful of Q frames in a row.
constexpr int32_t kDamageReach = 4;
// Runs of damaged Q frames looked behind for the rest of a track.
constexpr int kMaxDamageRuns = 8;
// The search that reads every frame says where it stands at most this often.
constexpr uint64_t kPositionReportMs = 250;

int64_t AbsoluteFrames(const TSubQSector& q) { return MsfToFrames(q.AbsMinute, q.AbsSecond, q.AbsFrame); }

void SetAbsolute(TSubQSector& q, int64_t frames) {
  const TPackedMsf msf = FramesToMsf(frames);
  q.AbsMinute = PackedMsfMinute(msf);
  q.AbsSecond = PackedMsfSecond(msf);
  q.AbsFrame = PackedMsfFrame(msf);
}

uint8_t AdrOf(const TSubQSector& q) { return q.AdrControl & 0x0F; }

int64_t RelativeFrames(const TSubQSector& q) { return MsfToFrames(q.RelMinute, q.RelSecond, q.RelFrame); }

bool IsTrack(const TSubQSector& q) { return TTocDetector::IsValidSubQ(q); }

bool IsLeadOut(const TSubQSector& q) { return AdrOf(q) == 1 && q.Track == kLeadOutTrack; }

// Its absolute time is one: a track's frame or a lead-out's (a lead-in's Q carries TOC
// entries there).
bool HasTime(const TSubQSector& q) { return IsTrack(q) || IsLeadOut(q); }

bool IsTime(uint8_t m, uint8_t s, uint8_t f) { return m <= 99 && s < 60 && f < kFramesPerSecond; }

// A frame read with a damaged Q (whose CRC the drive did not check) names times that no
// frame holds (in the lead-in, the second time is a TOC entry's).
bool Garbled(const TSubQSector& q) {
  return AdrOf(q) == 1 && (!IsTime(q.RelMinute, q.RelSecond, q.RelFrame) ||
                           !IsTime(q.AbsMinute, q.AbsSecond, q.AbsFrame) || (q.Track != 0 && q.Index > 99));
}

// How far the k-th look (from 1) beside a frame without Q goes: the next frames, then
// doubling steps.
int64_t StepOut(int k) { return k <= kDamageReach ? k : int64_t{kDamageReach} << (k - kDamageReach); }

// Q was read there: a track's, or the lead-in's (track 0) or a lead-out's (track AA).
bool HasQ(const TSubQSector& q) {
  return IsTrack(q) || (AdrOf(q) == 1 && (q.Track == 0 || q.Track == kLeadOutTrack));
}

bool IsIndexOne(const TSubQSector& q, uint8_t track) { return IsTrack(q) && q.Track == track && q.Index != 0; }

// Same track, or both outside any track.
bool SameClass(const TSubQSector& a, const TSubQSector& b) {
  const bool ta = IsTrack(a), tb = IsTrack(b);
  return ta == tb && (!ta || a.Track == b.Track);
}

// The sample belongs to the open track: its own frames or the next track's pregap.
bool StaysWith(const TSubQSector& sample, const TSubQSector& open) {
  if (!IsTrack(sample)) return false;
  return sample.Track == open.Track || (sample.Track == open.Track + 1 && sample.Index == 0);
}

// The first frame of the track (from index 1) or lead-out `at` lies in, by its relative
// time, when that falls after `floor` (the last frame known outside it); else `at`'s own.
int64_t HeadBehind(const TSubQSector& at, int64_t floor) {
  const int64_t here = AbsoluteFrames(at);
  if (!IsLeadOut(at) && (!IsTrack(at) || at.Index == 0)) return here;
  const int64_t head = here - RelativeFrames(at);
  return head > floor && head <= here ? head : here;
}

// Where a track's Q stopped at `cut`: when a lead-out follows damage, where it starts by
// its relative time.
int64_t LeadOutStart(const TSubQSector& after, int64_t cut) {
  return IsLeadOut(after) ? std::max(cut, AbsoluteFrames(after) - RelativeFrames(after)) : cut;
}

}  // namespace

bool TTocDetector::ReadSubQ(int64_t address, TSubQSector& sample) {
  sample = TSubQSector{};
  const TScsiExec exec = TransportFor(Setting);
  TCommandResult command;
  const bool read = Setting.SubChCmd == sqReadCdda ? CdbReadSubQCdda(exec, CdRom, address, sample, &command)
                                          : CdbReadSubQ(exec, CdRom, address, sample, &command);
  // Every further read would be refused too: a search that went on would list nothing
  // here as if nothing were recorded. It ends as failed instead.
  if (command.Refused) FailWith(fcQCommandRefused);
  Pause();
  return read;
}

bool TTocDetector::IsValidSubQ(const TSubQSector& sample) {
  return AdrOf(sample) == 1 && sample.Track >= 1 && sample.Track <= 99;
}

TSubQSector TTocDetector::Sample(int64_t frame) { return SampleAddress(frame - Drift); }

TSubQSector TTocDetector::SampleAddress(int64_t address) {
  TSubQSector q;
  ReadSubQ(address, q);
  if (AdrOf(q) == 2 || AdrOf(q) == 3) ReadSubQ(++address, q);
  if (Garbled(q)) q.AdrControl &= 0xF0;
  if (HasTime(q)) {
    const int64_t off = AbsoluteFrames(q) - address;
    if (off < -kQSlack || off > kQSlack) q.AdrControl &= 0xF0;  // corrupt: not valid
    else Drift = off;
  }
  if (!HasTime(q)) SetAbsolute(q, address + Drift);
  return q;
}

TSubQSector TTocDetector::SampleOver(int64_t address, int64_t limit) {
  const int64_t way = limit < address ? -1 : 1;
  TSubQSector q = Sample(address);
  for (int k = 1; !HasQ(q) && StepOut(k) <= kDamageSpan && Head.KeepGoing(); ++k) {
    const int64_t next = address + way * StepOut(k);
    if (way * (limit - next) <= 0) break;
    q = Sample(next);
  }
  if (!HasQ(q)) SetAbsolute(q, address);
  return q;
}

bool TTocDetector::ProbeNear(int64_t probe, int64_t lo, int64_t hi, int64_t reach, int way, TSubQSector& found,
                             int32_t& reads) {
  for (int k = 1; StepOut(k) <= reach && StepOut(k) < hi - lo; ++k)
    for (const int64_t at : {probe + StepOut(k), probe - StepOut(k)}) {
      if (reads >= kMaxSeparateReads || !Head.KeepGoing()) return false;
      if (at <= lo || at >= hi || (at - probe) * way < 0) continue;
      found = Sample(at);
      ++reads;
      if (HasQ(found)) return true;
    }
  return false;
}

// A minute sample, checked against the next frame with Q (or the previous one at the end
// of the range) so that a few damaged Q frames do not decide what lies there.
TSubQSector TTocDetector::ConfirmedSample(int64_t address, int64_t floor, int64_t ceiling) {
  const TSubQSector first = SampleOver(address, ceiling);
  if (!HasQ(first)) return first;  // its neighbours were asked already
  const int64_t at = AbsoluteFrames(first);
  const bool forward = at + 2 < ceiling;
  const int64_t n1 = forward ? at + 1 : at - 1;
  if (n1 <= floor || n1 >= ceiling || !Head.KeepGoing()) return first;
  const TSubQSector second = forward ? SampleOver(n1, ceiling) : Sample(n1);
  if (SameClass(first, second)) return first;
  const int64_t n2 = forward ? AbsoluteFrames(second) + 1 : at - 2;
  if (n2 <= floor || n2 >= ceiling) return first;
  const TSubQSector third = forward ? SampleOver(n2, ceiling) : Sample(n2);
  return SameClass(second, third) ? second : first;
}

TTocDetector::TSide TTocDetector::SideOf(const TSubQSector& sample, const TSubQSector& q1,
                                         const TSubQSector& q2) const {
  if (IsTrack(sample)) {
    if (IsTrack(q2) && sample.Track == q2.Track) return sample.Index == 0 ? TSide::Before : TSide::After;
    return TSide::Before;
  }
  if (HasQ(sample)) return IsTrack(q2) ? TSide::Before : TSide::After;  // a lead-in or lead-out
  // Without Q: where nothing is recorded, unless Q is recorded on both sides.
  if (!HasQ(q2)) return TSide::After;
  if (!HasQ(q1)) return TSide::Before;
  return TSide::Unknown;
}

// A sample that would move a bound is checked by the next frames with Q further on its
// side; when one disagrees, the frame after it decides which of the two was damaged.
TTocDetector::TSide TTocDetector::ConfirmSide(const TProbe& probe, TSide side, TProbe& decided, int64_t lo,
                                              int64_t hi, const TSubQSector& q1, const TSubQSector& q2,
                                              int32_t& reads) {
  const int64_t step = side == TSide::After ? 1 : -1;
  bool disagreed = false;
  TSide other = side;
  for (int32_t i = 1; i <= 2; ++i) {
    const int64_t at = probe.At + i * step;
    if (at <= lo || at >= hi || reads >= kMaxSeparateReads) break;
    const TSubQSector s = Sample(at);
    ++reads;
    if (!HasQ(s)) continue;
    const TSide c = SideOf(s, q1, q2);
    if (c == side) return side;
    if (!disagreed) {
      disagreed = true;
      other = c;
      decided = {AbsoluteFrames(s), s};
    }
  }
  return disagreed ? other : side;
}

void TTocDetector::ReportSeparation(const TSubQSector& q1, const TSubQSector& q2, int64_t range) {
  char text[64];
  if (!IsTrack(q1))
    std::snprintf(text, sizeof text, "Separating Lead-in/out and Track %.2d...", q2.Track);
  else if (!IsTrack(q2))
    std::snprintf(text, sizeof text, "Separating Track %.2d and Lead-in/out...", q1.Track);
  else
    std::snprintf(text, sizeof text, "Separating Track %.2d and Track %.2d...", q1.Track, q2.Track);
  Head.Notify(pcSetText, 0, text);
  Head.Notify(pcSetRange, static_cast<int32_t>(range));
}

// One bisection step: the side of the frame at `probe` (or, when its Q cannot be read, of
// the nearest frame with Q), confirmed by its neighbours.
TTocDetector::TSide TTocDetector::ProbeSide(int64_t probe, TBisection& b, const TSubQSector& q1,
                                            const TSubQSector& q2, TProbe& decided) {
  TSubQSector s = Sample(probe);
  ++b.Reads;
  if (!HasQ(s)) {
    // Between two areas with Q a frame without Q tells nothing: walk out until one has Q.
    // Beside an area without Q, Q a little further into it shows the frame was damage.
    const bool both = HasQ(q1) && HasQ(q2);
    const int way = both ? 0 : HasQ(q1) ? 1 : -1;
    TSubQSector near;
    if (ProbeNear(probe, b.Lo, b.Hi, both ? b.Hi - b.Lo : kDamageSpan, way, near, b.Reads)) s = near;
  }
  // A sample outside any track carries the frame it was read at.
  decided = {AbsoluteFrames(s), s};
  const TSide side = SideOf(s, q1, q2);
  // No Q anywhere near: the probe lies in an area where nothing is recorded.
  if (side == TSide::Unknown || !HasQ(s)) return side;
  const TProbe first = decided;
  return ConfirmSide(first, side, decided, b.Lo, b.Hi, q1, q2, b.Reads);
}

void TTocDetector::MoveBound(TSide side, const TProbe& decided, TBisection& b) {
  if (side == TSide::Before) {
    b.Lo = std::min(b.Hi - 1, std::max(b.Lo, decided.At));
    if (HasQ(decided.Sample)) b.KnownBefore = std::max(b.KnownBefore, std::min(b.Lo, decided.At));
  } else {
    b.Hi = std::max(b.Lo + 1, std::min(b.Hi, decided.At));
    b.HiSample = decided.Sample;
    b.Found = true;
  }
}

bool TTocDetector::SeparateTracks(const TSubQSector& q1, TSubQSector& q2) {
  TBisection b;
  b.Lo = std::max(kLbaOffset, AbsoluteFrames(q1));
  b.Hi = AbsoluteFrames(q2);
  if (b.Lo >= b.Hi) return false;
  b.KnownBefore = HasQ(q1) ? b.Lo : b.Lo - 1;
  const int64_t initial = b.Hi - b.Lo;
  ReportSeparation(q1, q2, initial);

  int64_t probe = b.Lo + initial * 2 / 3;
  while (b.Hi - b.Lo >= 2 && b.Reads < kMaxSeparateReads && Head.KeepGoing()) {
    probe = std::clamp(probe, b.Lo + 1, b.Hi - 1);
    TProbe decided;
    const TSide side = ProbeSide(probe, b, q1, q2, decided);
    if (side == TSide::Unknown) break;  // no frame with Q near the probe between two tracks
    MoveBound(side, decided, b);
    const int64_t next = b.Lo + (b.Hi - b.Lo) * 2 / 3;
    probe = next + (decided.At < next ? 1 : decided.At > next ? -1 : 0);
    Head.Notify(pcSetPosition, static_cast<int32_t>(initial - (b.Hi - b.Lo)));
  }
  Head.Notify(pcFill);
  // A first frame whose Q is damaged still starts the track: the frame after it counts.
  // Where damage left no frame to bisect, q2 itself tells where its track starts.
  if (!b.Found) b.HiSample = q2;
  const bool startsThere = IsIndexOne(b.HiSample, q2.Track) || (!IsTrack(q2) && IsLeadOut(b.HiSample));
  const int64_t head = startsThere ? std::min(b.Hi, HeadBehind(b.HiSample, b.KnownBefore)) : b.Hi;
  if (!b.Found && head == b.Hi) return false;
  SetAbsolute(q2, head);
  return true;
}

TSubQSector TTocDetector::SampleBefore(int64_t floor, int64_t boundary, uint8_t nextTrack) {
  if (boundary - 1 <= floor) return TSubQSector{};
  TSubQSector s = SampleOver(boundary - 1, floor);
  const auto inPregap = [nextTrack](const TSubQSector& q) {
    return nextTrack != 0 && IsTrack(q) && q.Track == nextTrack && q.Index == 0;
  };
  if (inPregap(s)) {
    int64_t lo = floor, hi = AbsoluteFrames(s);
    TSubQSector last;  // the latest frame found before the pregap
    int32_t reads = 0;
    for (int i = 0; i < kMaxPregapProbes && hi - lo >= 2 && Head.KeepGoing(); ++i) {
      const int64_t mid = lo + (hi - lo) / 2;
      TSubQSector q = Sample(mid);
      if (!HasQ(q) && !ProbeNear(mid, lo, hi, kDamageSpan, 0, q, reads)) break;
      if (inPregap(q)) {
        hi = AbsoluteFrames(q);
      } else {
        lo = AbsoluteFrames(q);
        last = q;
      }
    }
    if (hi - 1 <= floor) return TSubQSector{};
    s = SampleOver(hi - 1, floor);
    if (inPregap(s) || !HasQ(s)) s = last;
  }
  const int64_t at = AbsoluteFrames(s);
  if (!IsTrack(s) || at <= floor) return TSubQSector{};
  // A second frame must agree before a hidden track is believed.
  if (at - 1 > floor && !SameClass(s, SampleOver(at - 1, floor))) return TSubQSector{};
  return s;
}

void TTocDetector::CloseTracks(const TSubQSector& open, int64_t boundary, uint8_t nextTrack, int depth) {
  const bool openValid = IsTrack(open);
  if (depth < kMaxHiddenTracks && Head.KeepGoing()) {
    const int64_t floor = AbsoluteFrames(open);
    TSubQSector hidden = SampleBefore(floor, boundary, nextTrack);
    if (IsTrack(hidden) && hidden.Track != nextTrack && (!openValid || hidden.Track != open.Track)) {
      // A track shorter than the sample spacing lies before the boundary.
      SeparateTracks(open, hidden);
      CloseTracks(open, AbsoluteFrames(hidden), hidden.Track, depth + 1);
      AppendTrack(hidden, boundary);
      return;
    }
  }
  if (openValid) AppendTrack(open, boundary);
}

int64_t TTocDetector::TrackHead(const TSubQSector& q, int64_t limit) {
  const int64_t at = AbsoluteFrames(q);
  if (!IsTrack(q) || q.Index != 0) return at;
  const int64_t one = IndexOneOf(q, limit);
  return one < limit ? one : at;
}

int64_t TTocDetector::IndexOneOf(const TSubQSector& open, int64_t tail) {
  const int64_t at = AbsoluteFrames(open);
  if (open.Index != 0) return at;
  TBisection b;
  b.Lo = b.KnownBefore = at;
  b.Hi = tail;
  // In the pregap the relative time counts down to zero on the frame before index 1.
  const int64_t countdown = at + RelativeFrames(open) + 1;
  int64_t probe = countdown;
  while (b.Hi - b.Lo >= 2 && b.Reads < kMaxSeparateReads && Head.KeepGoing()) {
    if (probe <= b.Lo || probe >= b.Hi) probe = b.Lo + (b.Hi - b.Lo) / 2;
    TSubQSector s = Sample(probe);
    ++b.Reads;
    if (!HasQ(s) && !ProbeNear(probe, b.Lo, b.Hi, kDamageSpan, 0, s, b.Reads)) break;
    const int64_t where = AbsoluteFrames(s);
    // A later track or a lead-out lies past index 1 too, but does not tell where it starts.
    const bool before = IsTrack(s) ? s.Track < open.Track || (s.Track == open.Track && s.Index == 0) : !IsLeadOut(s);
    if (before) {
      b.Lo = b.KnownBefore = std::max(b.Lo, where);
    } else {
      b.Hi = std::min(b.Hi, where);
      if (IsIndexOne(s, open.Track)) b.HiSample = s;
    }
    probe = b.Lo + (b.Hi - b.Lo) / 2;
  }
  if (IsIndexOne(b.HiSample, open.Track)) return HeadBehind(b.HiSample, b.KnownBefore);
  // No frame of index 1 has readable Q: the countdown tells where it starts.
  return countdown > b.Lo && countdown < b.Hi ? countdown : b.Hi;
}

void TTocDetector::AppendTrack(const TSubQSector& open, int64_t tail) {
  if (!IsTrack(open)) return;
  // A track opened in its pregap starts at index 1.
  const int64_t head = IndexOneOf(open, tail);
  // A drive that reads short of the range shows the track before it.
  if (tail <= head || tail <= SearchStart) return;
  // The same track again after frames without its Q: they were damage inside it.
  if (Tracks.size() > FirstFound && Tracks.back().TrackNo == open.Track && Tracks.back().Tail <= head) {
    Tracks.back().Tail = tail;
    return;
  }
  TCdTrack track;
  track.SessionNo = SearchSession;
  track.TrackNo = open.Track;
  track.Head = head;
  track.Tail = tail;
  const uint8_t control = open.AdrControl >> 4;
  if (control & 0x04) {
    track.DataType = DetectTrackType(head, tail);
    track.FileSystem = DetectFileSystem(head, tail, track.DataType);
  } else {
    track.DataType = dtAudio;
    track.FileSystem = (control & 0x01) ? fsCddaEmph : fsCdda;
  }
  Tracks.push_back(track);
}

std::vector<TSubQSector> TTocDetector::SampleMinutes() {
  // The start, every whole minute strictly inside, the last frame.
  std::vector<int64_t> addresses{SearchStart};
  for (int64_t m = (SearchStart + kFramesPerMinute - 1) / kFramesPerMinute; m * kFramesPerMinute < SearchEnd - 1;
       ++m)
    if (m * kFramesPerMinute > SearchStart) addresses.push_back(m * kFramesPerMinute);
  if (SearchEnd - 1 > SearchStart) addresses.push_back(SearchEnd - 1);

  Head.Notify(pcSetRange, static_cast<int32_t>(addresses.size()));
  std::vector<TSubQSector> samples;
  for (int64_t address : addresses) {
    if (!Head.KeepGoing()) return {};
    samples.push_back(ConfirmedSample(address, SearchStart - 1, SearchEnd));
    Head.Notify(pcStepIt);
  }
  Head.Notify(pcFill);
  return samples;
}

// A sample the drive gave nothing for is asked once more.
void TTocDetector::CheckSamples(std::vector<TSubQSector>& samples) {
  const int n = static_cast<int>(samples.size());
  Head.Notify(pcSetRange, n);
  Head.Notify(pcSetText, 0, "Checking tracks...");
  for (int e = n - 1; e >= 0; --e) {
    if (!Head.KeepGoing()) return;
    if (samples[e].AdrControl == 0 && e + 1 < n && samples[e + 1].AdrControl != 0) {
      Sample(AbsoluteFrames(samples[e + 1]));
      const TSubQSector again = Sample(AbsoluteFrames(samples[e]));
      if (IsTrack(again)) samples[e] = again;
    }
    Head.Notify(pcStepIt);
  }
}

// The open track `prev` meets a sample outside any track: it ends where its Q stops,
// unless track Q behind the cut shows the cut was damage (a recorded area ends in a
// lead-out of thousands of frames, or in frames where nothing is recorded).
void TTocDetector::EndsTrack(TSubQSector& prev, const TSubQSector& cur) {
  TSubQSector from = prev, after;
  int64_t cut = AbsoluteFrames(cur);
  for (int run = 0; run < kMaxDamageRuns && Head.KeepGoing(); ++run) {
    TSubQSector end = cur;
    SeparateTracks(from, end);
    cut = AbsoluteFrames(end);
    after = cut < SearchEnd ? SampleOver(cut, SearchEnd) : TSubQSector{};
    if (!IsTrack(after)) break;
    if (AbsoluteFrames(after) >= AbsoluteFrames(cur)) return;  // the sample itself lay in damage
    if (after.Track != prev.Track) {
      // The next track starts behind the damage.
      TSubQSector next = after;
      SeparateTracks(prev, next);
      CloseTracks(prev, TrackHead(next, AbsoluteFrames(cur)), next.Track, 0);
      prev = next;
    }
    from = after;
  }
  CloseTracks(prev, LeadOutStart(after, cut), 0, 0);
  prev = cur;
}

void TTocDetector::WalkSamples(const std::vector<TSubQSector>& samples) {
  const size_t n = samples.size();
  if (n == 0) return;
  TSubQSector prev = samples.front();
  for (size_t i = 1; i < n && Head.KeepGoing(); ++i) {
    TSubQSector cur = samples[i];
    const bool pv = IsTrack(prev), cv = IsTrack(cur);
    if (pv && cv && StaysWith(cur, prev)) continue;
    if (pv && !cv) {
      // Damage inside a track: the track goes on after it.
      if (i + 1 < n && IsTrack(samples[i + 1]) && samples[i + 1].Track == prev.Track) continue;
      EndsTrack(prev, cur);
      continue;
    }
    if (cv) {
      SeparateTracks(prev, cur);
      const int64_t limit = i + 1 < n ? AbsoluteFrames(samples[i + 1]) : SearchEnd;
      CloseTracks(prev, TrackHead(cur, limit), cur.Track, 0);
    }
    prev = cur;
  }
  if (Head.KeepGoing() && IsTrack(prev)) AppendTrack(prev, SearchEnd);
}

void TTocDetector::FastSearch() {
  std::vector<TSubQSector> samples = SampleMinutes();
  if (!Head.KeepGoing()) return;
  CheckSamples(samples);
  if (!Head.KeepGoing()) return;
  WalkSamples(samples);
}

bool TTocDetector::ConfirmsNewTrack(int64_t address, const TSubQSector& open) {
  if (address + 1 >= SearchEnd) return true;
  const TSubQSector next = SampleOver(address + 1, SearchEnd);
  return HasQ(next) && !StaysWith(next, open);
}

void TTocDetector::LinearSearch() {
  const int64_t total = SearchEnd - SearchStart;
  Head.Notify(pcSetRange, static_cast<int32_t>(total));
  TLinearWalk walk;
  const int64_t maxLeadout = std::max<int64_t>(1, Options.MaxLeadout);
  uint64_t reported = platform::NowMs();
  for (int64_t address = SearchStart; address < SearchEnd; ++address) {
    if (!Head.KeepGoing()) return;
    ReportLinearPosition(address, reported);
    // Read in address order; the frame the drive read is where the walk stands.
    const TSubQSector s = SampleAddress(address);
    const int64_t at = AbsoluteFrames(s);
    if (IsTrack(s)) {
      LinearTrackFrame(at, s, walk);
      continue;
    }
    LinearOtherFrame(at, s, walk);
    // The recorded area ends where no Q follows; a lead-out or lead-in goes on.
    if (walk.SeenQ && walk.FramesWithoutQ >= maxLeadout) break;
  }
  if (Head.KeepGoing() && walk.HasOpen) AppendTrack(walk.Open, walk.RunStart >= 0 ? walk.RunStart : SearchEnd);
}

// A search over the whole disc reads for minutes: the bar and the text follow it, a few
// times a second whatever the drive's pace.
void TTocDetector::ReportLinearPosition(int64_t address, uint64_t& reported) {
  const uint64_t now = platform::NowMs();
  if (now - reported < kPositionReportMs) return;
  reported = now;
  Head.Notify(pcSetText, 0, "Searching tracks at " + FramesToMsfText(address) + "...");
  Head.Notify(pcSetPosition, static_cast<int32_t>(address - SearchStart));
}

void TTocDetector::LinearTrackFrame(int64_t address, const TSubQSector& s, TLinearWalk& walk) {
  walk.SeenQ = true;
  walk.FramesWithoutQ = 0;
  if (walk.HasOpen) {
    if (StaysWith(s, walk.Open)) {
      walk.RunStart = -1;
      walk.LastKnown = address;
      return;
    }
    if (!ConfirmsNewTrack(address, walk.Open)) return;  // one corrupt frame
  }
  const int64_t head = HeadBehind(s, walk.LastKnown);
  if (walk.HasOpen) AppendTrack(walk.Open, head);
  walk.Open = s;
  SetAbsolute(walk.Open, head);
  walk.HasOpen = true;
  walk.RunStart = -1;
  walk.LastKnown = address;
}

// A lead-out or lead-in ends the open track; a run without Q may be damage inside it and
// ends it only where the recorded area ends.
void TTocDetector::LinearOtherFrame(int64_t address, const TSubQSector& s, TLinearWalk& walk) {
  const bool q = HasQ(s);
  if (q) {
    walk.SeenQ = true;
    walk.FramesWithoutQ = 0;
    walk.LastKnown = address;
  }
  if (!walk.HasOpen) {
    if (!q && walk.SeenQ) ++walk.FramesWithoutQ;
    return;
  }
  if (walk.RunStart < 0) walk.RunStart = address;
  if (!q) {
    if (address + 1 - walk.RunStart > kInvalidRunToClose) ++walk.FramesWithoutQ;
    return;
  }
  if (!ConfirmsNewTrack(address, walk.Open)) return;  // one corrupt frame
  AppendTrack(walk.Open, LeadOutStart(s, walk.RunStart));
  walk.HasOpen = false;
  walk.RunStart = -1;
}
