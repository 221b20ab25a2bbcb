// The command-line tool: options map onto the library, existing sets are kept, and
// mistakes end with a clear message and no files.
#include <unistd.h>

#include <cstdio>

#include "sector/SectorEncoder.h"
#include "tests/emulator/BuilderTestSupport.h"

namespace {

using namespace buildertest;
using emu::SectorKind;

fs::path ToolPath() {
  if (const char* env = std::getenv("QNL_DISCBUILD"); env && *env) return env;
  // Run by hand: beside the tests, or in the build tree's emulator folder.
  const fs::path self = fs::read_symlink("/proc/self/exe");
  for (const fs::path& candidate :
       {self.parent_path() / "quarnel-discbuild", self.parent_path() / ".." / ".." / "emulator" / "quarnel-discbuild"})
    if (fs::exists(candidate)) return candidate;
  return {};
}

struct ToolRun {
  int Status = -1;
  std::string Out, Err;
};

ToolRun RunTool(const TempDir& dir, const std::string& args) {
  ToolRun run;
  const fs::path tool = ToolPath();
  if (tool.empty()) {
    ADD_FAILURE() << "quarnel-discbuild not found (set QNL_DISCBUILD)";
    return run;
  }
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  run.Status = RunShell("cd " + Quote(dir.Path) + " && " + Quote(tool) + " " + args + " >" + Quote(out) + " 2>" +
                        Quote(err));
  run.Out = test_support::ReadText(out);
  run.Err = test_support::ReadText(err);
  return run;
}

bool NoPartFiles(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().string().find(".part-") != std::string::npos) return false;
  return true;
}

TEST(BuilderTool, HelpListsTheOptions) {
  TempDir dir;
  const ToolRun run = RunTool(dir, "--help");
  EXPECT_EQ(run.Status, 0);
  for (const char* option : {"--session", "--mode1", "--form1", "--form2", "--mode2", "--audio", "--audio-emph", "--pcm",
                             "--pcm-emph", "--pregap", "--toc-drop-session", "--toc-drop-leadout", "--toc-leadout",
                             "--q-zero", "--q-crc", "--q-wrong", "--fault", "--drive", "--output", "--force", "--bare-gaps", "--mode-q"})
    EXPECT_NE(run.Out.find(option), std::string::npos) << option;
}

TEST(BuilderTool, CommandLineBuildsTheSameSetAsTheLibrary) {
  TempDir dir;
  WriteRandomFiles(dir, {{"a.iso", 30 * 2048}, {"b.pcm", 10 * 2352}, {"c.pcm", 3 * 2352}, {"d.iso", 12 * 2048},
                         {"e.raw", 5 * 2324}, {"f.raw", 4 * 2336}});
  const ToolRun run = RunTool(dir,
                              "-o out/cli --mode1 a.iso --pcm b.pcm --pregap 20 --pcm-emph c.pcm --session --form1 d.iso "
                              "--form2 e.raw --mode2 f.raw --toc-drop-session 2 --toc-drop-leadout 1 --toc-leadout 2:11000 "
                              "--q-zero 3 --q-crc 5-6 --q-wrong 7-8 --fault Unreadable=10-12 --fault SoftByte=13,20,0x01 "
                              "--drive Vendor=PLEXTOR --drive BinaryQ=1 --bare-gaps --mode-q");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("session 2"), std::string::npos) << run.Out;

  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, dir / "a.iso"),
                            Track(SectorKind::Audio, dir / "b.pcm", false, emu::AudioSource::RawPcm),
                            Track(SectorKind::Audio, dir / "c.pcm", true, emu::AudioSource::RawPcm)}});
  spec.Sessions[0].Tracks[2].PregapFrames = 20;
  spec.Sessions.push_back({{Track(SectorKind::Mode2Form1, dir / "d.iso"), Track(SectorKind::Mode2Form2, dir / "e.raw"),
                            Track(SectorKind::Mode2Formless, dir / "f.raw")}});
  spec.Toc.DroppedSessions = {2};
  spec.Toc.DroppedLeadOuts = {1};
  spec.Toc.MovedLeadOuts = {{2, 11000}};
  spec.QDamages = {{3, 4, emu::QDamageKind::Zero}, {5, 7, emu::QDamageKind::BadCrc},
                   {7, 9, emu::QDamageKind::WrongTrack}};
  spec.Faults.Unreadable.push_back({10, 13});
  spec.Faults.Bytes.push_back({13, 20, 0x01, false});
  spec.Profile.Vendor = "PLEXTOR";
  spec.Profile.BinaryQ = true;
  spec.RecordLeadAreas = false;
  spec.ModeQFrames = true;
  std::string error;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "out" / "lib", false, error)) << error;
  // A catalogue frame stands where position frame 25 would.
  const std::vector<uint8_t> sub = ReadFile(dir / "out" / "cli.sub");
  for (const auto& [lba, adr] : {std::pair{24, 1}, std::pair{25, 2}}) {
    const uint8_t* q = sub.data() + lba * 96 + 12;
    EXPECT_EQ(q[0] & 0x0F, adr) << lba;
    EXPECT_TRUE(IsQFrameCrcValid(q)) << lba;
  }
  for (const char* ext : {".img", ".sub", ".ccd", ".flt"})
    EXPECT_EQ(ReadFile(dir / "out" / (std::string("cli") + ext)), ReadFile(dir / "out" / (std::string("lib") + ext)))
        << ext;
  EXPECT_TRUE(NoPartFiles(dir.Path));
}

TEST(BuilderTool, ExistingSetIsKeptUnlessForced) {
  TempDir dir;
  WriteRandomFiles(dir, {{"a.iso", 4 * 2048}, {"b.iso", 6 * 2048}});
  ASSERT_EQ(RunTool(dir, "-o disc.ccd --mode1 a.iso").Status, 0);
  ASSERT_TRUE(fs::exists(dir / "disc.ccd")) << "the .ccd extension names the set";
  EXPECT_FALSE(fs::exists(dir / "disc.ccd.ccd"));
  const auto before = ReadFile(dir / "disc.img");

  const ToolRun again = RunTool(dir, "-o disc --mode1 b.iso");
  EXPECT_EQ(again.Status, 1);
  EXPECT_NE(again.Err.find("already exists"), std::string::npos) << again.Err;
  EXPECT_NE(again.Err.find("--force"), std::string::npos) << again.Err;
  EXPECT_EQ(ReadFile(dir / "disc.img"), before);

  // One file of the set is enough to keep it.
  fs::remove(dir / "disc.img");
  EXPECT_EQ(RunTool(dir, "-o disc --mode1 b.iso").Status, 1);
  EXPECT_FALSE(fs::exists(dir / "disc.img"));

  EXPECT_EQ(RunTool(dir, "-o disc --force --mode1 b.iso").Status, 0);
  EXPECT_EQ(fs::file_size(dir / "disc.img"), 6u * 2352);
  EXPECT_TRUE(NoPartFiles(dir.Path));
}

TEST(BuilderTool, MistakesEndWithAMessageAndNoFiles) {
  TempDir dir;
  WriteFile(dir / "a.iso", RandomBytes(4 * 2048, 1));
  struct Case {
    const char* Args;
    int Status;
    const char* Expect;
  };
  const Case cases[] = {
      {"--mode1 a.iso", 2, "no output name"},
      {"-o disc", 2, "no track"},
      {"-o disc --session --mode1 a.iso", 2, "no track yet"},
      {"-o disc --mode1 a.iso --session", 2, "last session has no track"},
      {"-o disc --mode1 a.iso --pregap 30", 2, "no track follows"},
      {"-o disc --mode1 a.iso --frobnicate 1", 2, "unknown option"},
      {"-o disc --mode1", 2, "needs a value"},
      {"-o disc --mode1 a.iso --fault Unreadable=9-1", 2, "Unreadable"},
      {"-o disc --mode1 a.iso --drive Form2Size=7", 2, "Form2Size"},
      {"-o disc --mode1 a.iso --q-crc 5-x", 2, "--q-crc"},
      {"-o disc --mode1 a.iso --toc-leadout 1", 2, "SESSION:LBA"},
      {"-o disc --mode1 a.iso stray", 2, "unexpected argument"},
      {"-o disc --mode1 missing.iso", 1, "missing.iso"},
      {"-o disc --audio a.iso", 1, "not a WAV file"},
      {"-o disc --mode1 a.iso --toc-drop-session 2", 1, "cannot drop session 2"},
      {"-o disc --mode1 a.iso --q-zero 4", 1, "outside the image"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(dir, c.Args);
    EXPECT_EQ(run.Status, c.Status) << c.Args << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.Expect), std::string::npos) << c.Args << "\n" << run.Err;
    EXPECT_FALSE(fs::exists(dir / "disc.ccd") || fs::exists(dir / "disc.img")) << c.Args;
  }
  EXPECT_TRUE(NoPartFiles(dir.Path));
}

}  // namespace
