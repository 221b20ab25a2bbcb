#pragma once
// Shared pieces of the disc-builder tests: temporary folders, external tools, input
// files and the few drive commands the tests send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/DiscBuilder.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageSet.h"
#include "tests/support/Files.h"
#include "tests/support/RandomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tools.h"

namespace buildertest {

namespace fs = std::filesystem;

using TempDir = test_support::TempDir;
using test_support::Quote;
using test_support::RandomBytes;
using test_support::ReadFile;
using test_support::RunShell;
using test_support::WriteFile;

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
  auto disc = std::make_shared<emu::Disc>();
  std::string error;
  if (!emu::LoadImageSet(ccd, *disc, error)) {
    ADD_FAILURE() << "LoadImageSet: " << error;
    return loaded;
  }
  loaded.Disc = disc;
  loaded.Drive = std::make_unique<emu::EmulatedDrive>(disc);
  return loaded;
}

struct Reply {
  platform::ScsiResult Result;
  std::vector<uint8_t> Data;
};

inline Reply Send(emu::EmulatedDrive& drive, std::vector<uint8_t> cdb, size_t length) {
  Reply r;
  r.Data.assign(length, 0xEE);
  r.Result = drive.Execute(cdb, platform::DataDirection::In, r.Data, 10000);
  return r;
}

inline void PutBe32(std::vector<uint8_t>& cdb, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) cdb[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// READ CD: flags 0x10 cooked user data, 0xF8 raw 2352; sub 0 none, 2 formatted Q.
inline Reply ReadCd(emu::EmulatedDrive& drive, int32_t lba, uint32_t count, uint8_t flags, uint8_t sub,
                    size_t bytesPerSector, uint8_t expectedType = 0) {
  std::vector<uint8_t> cdb(12, 0);
  cdb[0] = 0xBE;
  cdb[1] = expectedType;
  PutBe32(cdb, 2, static_cast<uint32_t>(lba));
  cdb[6] = static_cast<uint8_t>(count >> 16);
  cdb[7] = static_cast<uint8_t>(count >> 8);
  cdb[8] = static_cast<uint8_t>(count);
  cdb[9] = flags;
  cdb[10] = sub;
  return Send(drive, cdb, count * bytesPerSector);
}

inline Reply ReadCdda(emu::EmulatedDrive& drive, int32_t lba, uint32_t count) {
  std::vector<uint8_t> cdb(12, 0);
  cdb[0] = 0xD8;
  PutBe32(cdb, 2, static_cast<uint32_t>(lba));
  PutBe32(cdb, 6, count);
  return Send(drive, cdb, count * 2352);
}

// The formatted Q of one frame (16 bytes, BCD unless the profile says binary).
inline Reply ReadQ(emu::EmulatedDrive& drive, int32_t lba) { return ReadCd(drive, lba, 1, 0x00, 2, 16); }

// READ TOC format 2 in the MMC form, from session 1.
inline std::vector<emu::TocDescriptor> ReadFullToc(emu::EmulatedDrive& drive, bool* ok = nullptr,
                                                   uint8_t* firstSession = nullptr, uint8_t* lastSession = nullptr) {
  std::vector<uint8_t> cdb = {0x43, 0x00, 0x02, 0, 0, 0, 0x01, 0x0B, 0x04, 0x00};
  Reply r = Send(drive, cdb, 2820);
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

inline int32_t PLba(const emu::TocDescriptor& d) { return (d.PMin * 60 + d.PSec) * 75 + d.PFrame - 150; }

inline uint8_t Bcd(int value) { return static_cast<uint8_t>((value / 10) << 4 | (value % 10)); }

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
