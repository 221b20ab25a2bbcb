#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/plugins/samples/SampleFiles.h"
#include "tests/plugins/support/PluginModule.h"

using plugin_test::PluginModule;

namespace {

using TextOperation = int (TFormatPlugin::*)(int, char*);

struct NamedText {
  const char* name;
  TextOperation op;
};
const NamedText TextOperations[] = {
    {"GetTypeName", &TFormatPlugin::GetTypeName},   {"GetExtension", &TFormatPlugin::GetExtension},
    {"GetName", &TFormatPlugin::GetName},           {"GetVersion", &TFormatPlugin::GetVersion},
    {"GetDescription", &TFormatPlugin::GetDescription}, {"GetCopyright", &TFormatPlugin::GetCopyright},
};

// Holds a dlopen handle of its own, so the module stays loaded while a test looks at it.
class Handle {
 public:
  explicit Handle(const std::string& path) : Value(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~Handle() {
    if (Value != nullptr) dlclose(Value);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void* Get() const { return Value; }

 private:
  void* Value;
};

TEST(PluginExports, ModuleWithPlainNamesLoadsAndIsDestroyedThroughItself) {
  const std::string path = QNL_PLAIN_EXPORT_MODULE;
  Handle own(path);
  ASSERT_NE(own.Get(), nullptr) << dlerror();
  ASSERT_EQ(dlsym(own.Get(), "_CreatePluginModule"), nullptr) << "fixture should export plain names only";
  auto live = reinterpret_cast<int (*)()>(dlsym(own.Get(), "PlainExportLiveObjects"));
  ASSERT_NE(live, nullptr);
  {
    PluginModule module(path);
    ASSERT_TRUE(module.Loaded()) << module.Error();
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(module.Text(&TFormatPlugin::GetName), "Plain export");
    EXPECT_EQ(module->GetPluginType(), 1);
  }
  EXPECT_EQ(live(), 0);
}

TEST(PluginExports, MissingModuleIsReportedNotLoaded) {
  PluginModule module("NoSuchModule.fpi");
  EXPECT_FALSE(module.Loaded());
  EXPECT_FALSE(module.Error().empty());
}

class EveryPlugin : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string path = std::string(QNL_PLUGIN_DIR) + "/" + GetParam();
    if (!std::filesystem::exists(path)) GTEST_SKIP() << GetParam() << " is not built yet";
    Module = std::make_unique<PluginModule>(GetParam());
    ASSERT_TRUE(Module->Loaded()) << Module->Error();
  }
  TFormatPlugin& Plugin() { return **Module; }

  std::unique_ptr<PluginModule> Module;
};

TEST_P(EveryPlugin, DestroyExportIgnoresNull) {
  Handle own(std::string(QNL_PLUGIN_DIR) + "/" + GetParam());
  ASSERT_NE(own.Get(), nullptr);
  void* symbol = dlsym(own.Get(), "_DestroyPluginModule");
  if (symbol == nullptr) symbol = dlsym(own.Get(), "DestroyPluginModule");
  ASSERT_NE(symbol, nullptr);
  reinterpret_cast<TDestroyPluginModule>(symbol)(nullptr);
  // The module's own object is unaffected.
  EXPECT_EQ(Plugin().GetPluginType(), 1);
}

TEST_P(EveryPlugin, FixedValuesAndTexts) {
  EXPECT_EQ(Plugin().GetPluginType(), 1);
  EXPECT_EQ(Plugin().GetReserved(), 0);
  EXPECT_EQ(Module->Text(&TFormatPlugin::GetVersion), "1.00.1");
  const std::string copyright = Module->Text(&TFormatPlugin::GetCopyright);
  EXPECT_NE(copyright.find("2003"), std::string::npos);
  EXPECT_NE(copyright.find("Ostrel"), std::string::npos);
  EXPECT_EQ(copyright.find('\n'), std::string::npos);
  // The extension may depend on what Detect found; every other text is fixed.
  for (const auto& text : TextOperations) {
    if (text.op == &TFormatPlugin::GetExtension) continue;
    EXPECT_FALSE(Module->Text(text.op).empty()) << text.name;
  }
}

TEST_P(EveryPlugin, TextsFillTheBufferAsAgreed) {
  for (const auto& text : TextOperations) {
    SCOPED_TRACE(text.name);
    std::vector<char> whole(1024, '\x7f');
    const int length = (Plugin().*text.op)(1024, whole.data());
    ASSERT_GE(length, 0);
    ASSERT_LT(length, 1023);
    EXPECT_EQ(std::strlen(whole.data()), static_cast<size_t>(length));
    for (size_t i = static_cast<size_t>(length); i < whole.size(); ++i) ASSERT_EQ(whole[i], '\0') << "byte " << i;

    // bufSize 1: an empty, terminated text, nothing written past it.
    char one[2] = {'\x7f', '\x7f'};
    EXPECT_EQ((Plugin().*text.op)(1, one), 0);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(one[1], '\x7f');

    // A short buffer gets the text cut and terminated.
    char four[6] = {'\x7f', '\x7f', '\x7f', '\x7f', '\x7f', '\x7f'};
    const int cut = (Plugin().*text.op)(4, four);
    EXPECT_EQ(cut, std::min(length, 3));
    EXPECT_EQ(std::string(four), std::string(whole.data(), static_cast<size_t>(cut)));
    EXPECT_EQ(four[4], '\x7f');

    // No buffer, or no room at all: nothing written.
    char none = '\x7f';
    EXPECT_EQ((Plugin().*text.op)(0, &none), 0);
    EXPECT_EQ((Plugin().*text.op)(-5, &none), 0);
    EXPECT_EQ(none, '\x7f');
    EXPECT_EQ((Plugin().*text.op)(16, nullptr), 0);
  }
}

// What a module tells of itself before any Detect, and one of its texts cut to a short
// buffer. The extension of some modules comes only from what Detect found.
struct ModuleTexts {
  const char* File;
  const char* TypeName;
  const char* Extension;
  const char* Name;
  const char* Description;
  unsigned HeaderSize;
  TextOperation CutOp;
  int CutSize;
  const char* Cut;
};
const ModuleTexts Texts[] = {
    {"Bmp.fpi", "Windows Bitmap graphic", ".bmp", "Windows Bitmap Plug-in", "This supports Windows Bitmap graphics.", 54,
     &TFormatPlugin::GetExtension, 3, ".b"},
    {"Cab.fpi", "Windows Cabinet file", ".cab", "Windows Cabinet Plug-in", "This supports Windows Cabinet files.", 12,
     &TFormatPlugin::GetName, 8, "Windows"},
    {"Gif.fpi", "GIF file", ".gif", "GIF Plug-in", "This supports GIF graphics.", 6, &TFormatPlugin::GetName, 4, "GIF"},
    {"Jpeg.fpi", "JPEG file", ".jpg", "JPEG Plug-in", "This supports JPEG graphics.", 11, &TFormatPlugin::GetTypeName, 3,
     "JP"},
    {"Lzh.fpi", "Lzh archive file", nullptr, "LZH Plug-in",
     "This supports .LZH/.LZS archives. It supports self-extracting executable files with LHA's SFX too.", 54,
     &TFormatPlugin::GetName, 4, "LZH"},
    {"Mp3.fpi", "MPEG Audio file", ".mp3", "MPEG Audio Plug-in", "This supports MPEG Audio files with ID3 v1/v2 Tags.", 10,
     &TFormatPlugin::GetTypeName, 5, "MPEG"},
    {"Pdf.fpi", "Portable Document Format file", ".pdf", "PDF Plug-in", "This supports Portable Document Format files.",
     5, &TFormatPlugin::GetExtension, 4, ".pd"},
    {"Png.fpi", "Portable Network Graphics file", ".png", "PNG Plug-in", "This supports Portable Network Graphics files.",
     8, &TFormatPlugin::GetTypeName, 9, "Portable"},
    {"Riff.fpi", "RIFF format file", nullptr, "RIFF Format Plug-in",
     "This supports WAV, AVI, RMP, ANI and other RIFF format files.", 12, &TFormatPlugin::GetTypeName, 5, "RIFF"},
    {"Zip.fpi", "PK Zipped archive", ".zip", "PKZIP Plug-in", "This supports PK Zipped archives.", 54,
     &TFormatPlugin::GetName, 5, "PKZI"},
};

TEST_P(EveryPlugin, TellsItsOwnTextsAndCutsThemToTheBuffer) {
  const auto texts = std::find_if(std::begin(Texts), std::end(Texts),
                                  [this](const ModuleTexts& t) { return std::strcmp(t.File, GetParam()) == 0; });
  ASSERT_NE(texts, std::end(Texts)) << "no texts listed for " << GetParam();
  EXPECT_EQ(Plugin().GetHeaderSize(), texts->HeaderSize);
  EXPECT_EQ(Module->Text(&TFormatPlugin::GetTypeName), texts->TypeName);
  if (texts->Extension) {
    EXPECT_EQ(Module->Text(&TFormatPlugin::GetExtension, 16), texts->Extension);
  }
  EXPECT_EQ(Module->Text(&TFormatPlugin::GetName), texts->Name);
  EXPECT_EQ(Module->Text(&TFormatPlugin::GetDescription), texts->Description);
  std::vector<char> cut(static_cast<size_t>(texts->CutSize) + 1, '\x7f');
  EXPECT_EQ((Plugin().*texts->CutOp)(texts->CutSize, cut.data()), static_cast<int>(std::strlen(texts->Cut)));
  EXPECT_EQ(std::string(cut.data()), texts->Cut);
  EXPECT_EQ(cut.back(), '\x7f') << "wrote past the buffer";
}

// First sectors of real files made by the installed tools, and one hand-made RIFF file of
// an unknown form (which has the longest extension).
class Samples {
 public:
  Samples() {
    for (auto& file : plugin_samples::MakeSampleFiles(Folder.Dir())) {
      file.Data.resize(2048, 0);
      First.push_back(std::move(file.Data));
    }
    std::vector<unsigned char> riff(2048, 0);
    std::memcpy(riff.data(), "RIFF\x04\x01\x00\x00QNLX", 12);
    First.push_back(riff);
  }

  plugin_test::TempDir Folder;
  std::vector<std::vector<unsigned char>> First;
};

const Samples& SampleFiles() {
  static const Samples samples;
  return samples;
}

TEST_P(EveryPlugin, ExtensionFitsTheHostsSixteenByteBuffer) {
  int detected = 0;
  for (const auto& sample : SampleFiles().First) {
    Plugin().Reset();
    const std::vector<unsigned char> copy(sample);
    if (Plugin().Detect(copy.data(), static_cast<unsigned>(copy.size())) == 0) continue;
    ++detected;
    char buf[16];
    std::memset(buf, 0, sizeof buf);
    const int length = Plugin().GetExtension(sizeof buf, buf);
    ASSERT_GT(length, 1);
    EXPECT_LT(length, 16);
    EXPECT_EQ(buf[0], '.');
    EXPECT_EQ(std::strlen(buf), static_cast<size_t>(length));
    std::vector<char> large(1024, '\x7f');
    Plugin().GetExtension(1024, large.data());
    EXPECT_STREQ(buf, large.data()) << "extension cut by the 16-byte buffer";
  }
  if (detected == 0) GTEST_SKIP() << "no sample of this type could be made (a tool is missing)";
}

// Exact-size heap copies make any read past the data visible under the sanitizers.
TEST_P(EveryPlugin, ShortDataIsNeverReadPastItsEnd) {
  std::mt19937 generator(7);
  for (int fill = 0; fill < 3; ++fill) {
    for (unsigned size = 0; size <= 80; ++size) {
      std::vector<unsigned char> data(size);
      for (auto& b : data) b = fill == 0 ? 0 : fill == 1 ? 0xFF : static_cast<unsigned char>(generator());
      Plugin().Reset();
      Plugin().Detect(data.data(), size);
      bool end = false;
      Plugin().FindEnd(data.data(), size, &end);
      Plugin().FindEnd(data.data(), size, &end);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, EveryPlugin,
                         ::testing::Values("Lzh.fpi", "Mp3.fpi", "Riff.fpi", "Gif.fpi", "Cab.fpi", "Bmp.fpi", "Png.fpi",
                                           "Jpeg.fpi", "Zip.fpi", "Pdf.fpi"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::strlen(info.param) - 4); });

}  // namespace
