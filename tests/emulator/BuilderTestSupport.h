#pragma once
// Shared pieces of the disc-builder tests: input files, trees, ISOs and WAVs made by
// real tools, a built set loaded into a drive, and the few drive commands the tests send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/DiscBuilder.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageSet.h"
#include "sector/Address.h"
#include "tests/emulator/support/TestDiscs.h"
#include "tests/support/Files.h"
#include "tests/support/RandomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDrive.h"
#include "tests/support/Tools.h"

namespace buildertest {

namespace fs = std::filesystem;

using TempDir = test_support::TempDir;
using test_support::Quote;
using test_support::RandomBytes;
using test_support::ReadFile;
using test_support::RunShell;
using test_support::WriteFile;

// Input files of random bytes in `dir`, each of its size, seeded 1, 2, ... in order.
inline void WriteRandomFiles(const TempDir& dir, std::initializer_list<std::pair<const char*, size_t>> files) {
  uint32_t seed = 0;
  for (const auto& [name, size] : files) WriteFile(dir / name, RandomBytes(size, ++seed));
}

// A small folder tree for an ISO: a few files of odd sizes in two levels.
inline void MakeTree(const fs::path& root, uint32_t seed) {
  fs::create_directories(root / "docs" / "deep");
  WriteFile(root / "readme.txt", "hello\n");
  WriteFile(root / "data.bin", RandomBytes(200000 + seed % 1000, seed));
  WriteFile(root / "docs" / "notes.bin", RandomBytes(70001, seed + 1));
  WriteFile(root / "docs" / "deep" / "tail.bin", RandomBytes(4097, seed + 2));
}

// "xorriso" or "genisoimage": an ISO 9660 image of a fresh tree; empty path on failure.
// `bulk` bytes more in one file make a longer track.
inline fs::path MakeIso(const TempDir& dir, const std::string& tool, const std::string& name, uint32_t seed,
                        size_t bulk = 0) {
  const fs::path tree = dir / (name + "-tree");
  MakeTree(tree, seed);
  if (bulk > 0) WriteFile(tree / "bulk.bin", RandomBytes(bulk, seed + 3));
  const fs::path iso = dir / (name + ".iso");
  const std::string command = tool == "xorriso"
                                  ? "xorriso -as mkisofs -quiet -R -J -V QNLTEST -o " + Quote(iso) + " " + Quote(tree)
                                  : "genisoimage -quiet -R -J -V QNLTEST -o " + Quote(iso) + " " + Quote(tree);
  if (RunShell(command + " >/dev/null 2>&1") != 0) return {};
  return iso;
}

// A WAV made by sox: `seconds` of a two-tone signal, 16-bit stereo 44100 Hz unless told.
inline fs::path MakeWav(const TempDir& dir, const std::string& name, double seconds,
                        const std::string& format = "-r 44100 -c 2 -b 16") {
  const fs::path wav = dir / name;
  const std::string command = "sox -n " + format + " " + Quote(wav) + " synth " + std::to_string(seconds) +
                              " sine 440 sine 1000 >/dev/null 2>&1";
  if (RunShell(command) != 0) return {};
  return wav;
}

struct LoadedDrive {
  std::shared_ptr<emu::Disc> Disc;
  std::unique_ptr<emu::EmulatedDrive> Drive;
};

inline LoadedDrive Load(const fs::path& ccd) {
  LoadedDrive loaded;
  loaded.Disc = test_support::LoadedDisc(ccd);
  if (loaded.Disc) loaded.Drive = std::make_unique<emu::EmulatedDrive>(loaded.Disc);
  return loaded;
}

using emu::test::DataIn;
using emu::test::Reply;

// READ CD: flags 0x10 cooked user data, 0xF8 raw 2352; sub 0 none, 2 formatted Q.
inline Reply ReadCd(emu::EmulatedDrive& drive, int32_t lba, uint32_t count, uint8_t flags, uint8_t sub,
                    size_t bytesPerSector, uint8_t expectedType = 0) {
  return DataIn(drive, emu::test::ReadCdCdb(lba, count, flags, sub, expectedType), count * bytesPerSector);
}

inline Reply ReadCdda(emu::EmulatedDrive& drive, int32_t lba, uint32_t count) {
  return DataIn(drive, emu::test::ReadCddaCdb(lba, count, 0), count * 2352);
}

// The formatted Q of one frame (16 bytes, BCD unless the profile says binary).
inline Reply ReadQ(emu::EmulatedDrive& drive, int32_t lba) { return ReadCd(drive, lba, 1, 0x00, 2, 16); }

// READ TOC format 2 in the MMC form, from session 1.
inline std::vector<emu::TocDescriptor> ReadFullToc(emu::EmulatedDrive& drive, bool* ok = nullptr,
                                                   uint8_t* firstSession = nullptr, uint8_t* lastSession = nullptr) {
  Reply r = DataIn(drive, {0x43, 0x00, 0x02, 0, 0, 0, 0x01, 0x0B, 0x04, 0x00}, 2820);
  if (ok) *ok = r.Result.Good();
  std::vector<emu::TocDescriptor> toc;
  if (!r.Result.Good()) return toc;
  const size_t length = std::min<size_t>(2820, 2 + (size_t{r.Data[0]} << 8 | r.Data[1]));
  if (firstSession) *firstSession = r.Data[2];
  if (lastSession) *lastSession = r.Data[3];
  for (size_t at = 4; at + 11 <= length; at += 11) {
    const uint8_t* p = r.Data.data() + at;
    toc.push_back({p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10]});
  }
  return toc;
}

inline const emu::TocDescriptor* FindPoint(const std::vector<emu::TocDescriptor>& toc, int session, uint8_t point) {
  for (const auto& d : toc)
    if (d.Session == session && d.Point == point) return &d;
  return nullptr;
}

inline int32_t PLba(const emu::TocDescriptor& d) { return FramesToLba(MsfToFrames(d.PMin, d.PSec, d.PFrame)); }

inline uint8_t Bcd(int value) { return BinToBcd(static_cast<uint8_t>(value)); }

inline emu::TrackSpec Track(emu::SectorKind kind, const fs::path& file, bool emphasis = false,
                            emu::AudioSource audio = emu::AudioSource::Wav) {
  emu::TrackSpec t;
  t.Kind = kind;
  t.File = file;
  t.PreEmphasis = emphasis;
  t.Audio = audio;
  return t;
}

}  // namespace buildertest
