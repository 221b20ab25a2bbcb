#include "recovery/Pluginmgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> Events;

}  // namespace

// The fixture modules report here what happens to them: "create:", "destroy:" and
// "unload:" followed by the module's file name.
extern "C" __attribute__((visibility("default"))) void PluginFixtureJournal(const char* event) {
  Events.emplace_back(event);
}

namespace {

namespace fs = std::filesystem;

// A plug-in folder put together from the fixture builds under chosen file names.
class PluginFolder {
 public:
  PluginFolder() : Dir("qnl-pluginmgr") {}
  PluginFolder& Module(const std::string& kind, const std::string& fileName) {
    fs::copy_file(fs::path(QNL_PLUGIN_FIXTURE_DIR) / ("Pm" + kind + ".so"), Dir / fileName);
    return *this;
  }
  PluginFolder& Text(const std::string& fileName, const std::string& contents) {
    test_support::WriteFile(Dir / fileName, contents);
    return *this;
  }
  PluginFolder& Folder(const std::string& name) {
    fs::create_directory(Dir / name);
    return *this;
  }
  std::string Path() const { return Dir.Path.string(); }

 private:
  test_support::TempDir Dir;
};

class PluginManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { Events.clear(); }

  static std::vector<std::string> FileNames(const TPluginManager& manager) {
    std::vector<std::string> names;
    for (unsigned i = 0; i < manager.GetCount(); ++i) names.push_back(manager.GetFileName(i));
    return names;
  }
  static std::vector<bool> Flags(const TPluginManager& manager) {
    std::vector<bool> flags;
    for (unsigned i = 0; i < manager.GetCount(); ++i) flags.push_back(manager.GetEnabled(i));
    return flags;
  }
  static std::vector<std::string> EventsOf(const std::string& fileName) {
    std::vector<std::string> own;
    for (const std::string& event : Events)
      if (event.substr(event.find(':') + 1) == fileName) own.push_back(event.substr(0, event.find(':')));
    return own;
  }
  // The fixture modules of these kinds under these names, loaded into Manager; the
  // count loaded.
  int Load(const std::vector<std::pair<std::string, std::string>>& modules) {
    for (const auto& [kind, name] : modules) Folder.Module(kind, name);
    return Manager.LoadPlugins(Folder.Path());
  }
  // A B C D, all of the ordinary kind.
  int LoadFourModules() {
    return Load({{"Underscore", "D.fpi"}, {"Underscore", "B.fpi"}, {"Underscore", "A.fpi"}, {"Underscore", "C.fpi"}});
  }

  PluginFolder Folder;
  TPluginManager Manager;
};

using Names = std::vector<std::string>;

// ---- The ten real modules

TEST_F(PluginManagerTest, LoadsTheTenFormatModulesInNameOrderWithTheirTexts) {
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(QNL_REAL_PLUGIN_DIR), 10);
  EXPECT_EQ(manager.GetDirectory(), QNL_REAL_PLUGIN_DIR);
  EXPECT_EQ(FileNames(manager), (Names{"Bmp.fpi", "Cab.fpi", "Gif.fpi", "Jpeg.fpi", "Lzh.fpi", "Mp3.fpi", "Pdf.fpi",
                                       "Png.fpi", "Riff.fpi", "Zip.fpi"}));
  std::vector<TFormatPlugin*> objects;
  for (unsigned i = 0; i < manager.GetCount(); ++i) {
    SCOPED_TRACE(manager.GetFileName(i));
    EXPECT_TRUE(manager.GetEnabled(i));
    EXPECT_EQ(manager.GetVersion(i), "1.00.1");
    EXPECT_FALSE(manager.GetName(i).empty());
    EXPECT_FALSE(manager.GetDescription(i).empty());
    EXPECT_NE(manager.GetCopyright(i).find("2003"), std::string::npos);
    TFormatPlugin* plugin = manager.GetPlugin(i);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->GetPluginType(), 1);
    objects.push_back(plugin);
  }
  std::sort(objects.begin(), objects.end());
  EXPECT_EQ(std::adjacent_find(objects.begin(), objects.end()), objects.end()) << "one object per module";
}

TEST_F(PluginManagerTest, LoadingAgainStartsOrderAndFlagsOver) {
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(QNL_REAL_PLUGIN_DIR), 10);
  const Names first = FileNames(manager);
  ASSERT_TRUE(manager.Move(9, 0));
  ASSERT_TRUE(manager.SetEnabled(3, false));
  ASSERT_NE(FileNames(manager), first);

  ASSERT_EQ(manager.LoadPlugins(QNL_REAL_PLUGIN_DIR), 10);
  EXPECT_EQ(FileNames(manager), first);
  EXPECT_EQ(Flags(manager), std::vector<bool>(10, true));
}

// ---- What is and is not a module

TEST_F(PluginManagerTest, EmptyOrMissingFolderGivesNoPluginsButKeepsTheFolder) {
  PluginFolder empty;
  empty.Text("readme.txt", "not a module");
  TPluginManager manager;
  EXPECT_EQ(manager.LoadPlugins(empty.Path()), 0);
  EXPECT_EQ(manager.GetCount(), 0u);
  EXPECT_EQ(manager.GetDirectory(), empty.Path());

  const std::string missing = empty.Path() + "/no-such-folder";
  EXPECT_EQ(manager.LoadPlugins(missing), 0);
  EXPECT_EQ(manager.GetDirectory(), missing);
}

TEST_F(PluginManagerTest, LoadsOnlyWorkingModulesAndFreesTheRest) {
  PluginFolder folder;
  folder.Module("Underscore", "Alpha.fpi")
      .Module("Plain", "Beta.fpi")
      .Module("Underscore", "GAMMA.FPI")
      .Module("Underscore", "Other.so")
      .Module("Underscore", "Alpha.fpi.bak")
      .Text("bad.fpi", "this is text, not a module")
      .Folder("sub.fpi")
      .Module("NoCreate", "NoCreate.fpi")
      .Module("NullCreate", "NullCreate.fpi")
      .Module("ThrowingCreate", "ThrowingCreate.fpi")
      .Module("ThrowingText", "ThrowingText.fpi");
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 3);
  EXPECT_EQ(FileNames(manager), (Names{"Alpha.fpi", "Beta.fpi", "GAMMA.FPI"}));
  EXPECT_EQ(Flags(manager), (std::vector<bool>{true, true, true}));

  EXPECT_TRUE(EventsOf("Other.so").empty());
  EXPECT_TRUE(EventsOf("Alpha.fpi.bak").empty());
  EXPECT_EQ(EventsOf("NoCreate.fpi"), (Names{"unload"}));
  EXPECT_EQ(EventsOf("NullCreate.fpi"), (Names{"unload"}));
  EXPECT_EQ(EventsOf("ThrowingCreate.fpi"), (Names{"unload"}));
  // Its texts failed: the object goes back to its own module before the module is freed.
  EXPECT_EQ(EventsOf("ThrowingText.fpi"), (Names{"create", "destroy", "unload"}));
  EXPECT_EQ(EventsOf("Beta.fpi"), (Names{"create"}));
}

TEST_F(PluginManagerTest, KeepsOnlyTheTextsAPluginGives) {
  ASSERT_EQ(Load({{"Underscore", "Alpha.fpi"}, {"Plain", "Beta.fpi"}}), 2);
  for (unsigned i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Manager.GetName(i), Manager.GetFileName(i));
    EXPECT_EQ(Manager.GetVersion(i), "1.00.1");
    EXPECT_EQ(Manager.GetCopyright(i), "Copyright (C) 2003 Fixture");
    ASSERT_NE(Manager.GetPlugin(i), nullptr);
    EXPECT_EQ(Manager.GetPlugin(i)->GetPluginType(), 7);
  }
  EXPECT_EQ(Manager.GetDescription(0), "") << "a zero result keeps no text";
  EXPECT_EQ(Manager.GetDescription(1), std::string(1023, 'x')) << "an unterminated text is cut at the buffer's end";
}

// ---- Unloading

TEST_F(PluginManagerTest, UnloadDestroysEachObjectThroughItsModuleThenFreesItInManagerOrder) {
  ASSERT_EQ(LoadFourModules(), 4);
  ASSERT_TRUE(Manager.Move(2, 0));  // C A B D
  Events.clear();
  EXPECT_TRUE(Manager.UnloadPlugins());
  EXPECT_EQ(Events, (Names{"destroy:C.fpi", "unload:C.fpi", "destroy:A.fpi", "unload:A.fpi", "destroy:B.fpi",
                           "unload:B.fpi", "destroy:D.fpi", "unload:D.fpi"}));
  EXPECT_EQ(Manager.GetCount(), 0u);
  EXPECT_EQ(Manager.GetPlugin(0), nullptr);
  EXPECT_EQ(Manager.GetDirectory(), Folder.Path());
}

TEST_F(PluginManagerTest, DestructionAndReloadingUnloadEverything) {
  PluginFolder folder;
  folder.Module("Underscore", "A.fpi").Module("Plain", "B.fpi");
  {
    TPluginManager manager;
    ASSERT_EQ(manager.LoadPlugins(folder.Path()), 2);
    Events.clear();
    ASSERT_EQ(manager.LoadPlugins(folder.Path()), 2);
    EXPECT_EQ(Events, (Names{"destroy:A.fpi", "unload:A.fpi", "destroy:B.fpi", "unload:B.fpi", "create:A.fpi",
                             "create:B.fpi"}));
    Events.clear();
  }
  EXPECT_EQ(Events, (Names{"destroy:A.fpi", "unload:A.fpi", "destroy:B.fpi", "unload:B.fpi"}));
}

TEST_F(PluginManagerTest, ModuleWithoutDestroyExportIsStillFreed) {
  ASSERT_EQ(Load({{"NoDestroy", "Lone.fpi"}}), 1);
  EXPECT_EQ(Manager.GetName(0), "Lone.fpi");
  Events.clear();
  Manager.UnloadPlugins();
  EXPECT_EQ(Events, (Names{"unload:Lone.fpi"}));
}

TEST_F(PluginManagerTest, DestroyExportThatThrowsDoesNotStopTheUnloading) {
  ASSERT_EQ(Load({{"ThrowingDestroy", "A.fpi"}, {"Underscore", "B.fpi"}}), 2);
  Events.clear();
  EXPECT_TRUE(Manager.UnloadPlugins());
  EXPECT_EQ(Events, (Names{"destroy:A.fpi", "unload:A.fpi", "destroy:B.fpi", "unload:B.fpi"}));
  EXPECT_EQ(Manager.GetCount(), 0u);
}

// ---- Order and flags

TEST_F(PluginManagerTest, MoveRotatesOneEntryAndItsDataTravelWithIt) {
  ASSERT_EQ(LoadFourModules(), 4);
  ASSERT_EQ(FileNames(Manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));
  TFormatPlugin* c = Manager.GetPlugin(2);
  ASSERT_TRUE(Manager.SetEnabled(2, false));

  EXPECT_TRUE(Manager.Move(2, 0));
  EXPECT_EQ(FileNames(Manager), (Names{"C.fpi", "A.fpi", "B.fpi", "D.fpi"}));
  EXPECT_EQ(Manager.GetPlugin(0), c);
  EXPECT_EQ(Manager.GetName(0), "C.fpi");
  EXPECT_EQ(Flags(Manager), (std::vector<bool>{false, true, true, true}));

  EXPECT_TRUE(Manager.Move(0, 2));
  EXPECT_EQ(FileNames(Manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));
  EXPECT_TRUE(Manager.Move(0, 2));
  EXPECT_EQ(FileNames(Manager), (Names{"B.fpi", "C.fpi", "A.fpi", "D.fpi"}));
  EXPECT_TRUE(Manager.Move(3, 0));
  EXPECT_EQ(FileNames(Manager), (Names{"D.fpi", "B.fpi", "C.fpi", "A.fpi"}));
  EXPECT_TRUE(Manager.Move(1, 1));
  EXPECT_EQ(FileNames(Manager), (Names{"D.fpi", "B.fpi", "C.fpi", "A.fpi"}));
}

TEST_F(PluginManagerTest, MoveOutOfRangeChangesNothing) {
  ASSERT_EQ(LoadFourModules(), 4);
  EXPECT_FALSE(Manager.Move(4, 0));
  EXPECT_FALSE(Manager.Move(0, 4));
  EXPECT_FALSE(Manager.Move(UINT_MAX, 1));
  EXPECT_FALSE(Manager.MoveByFileName("A.fpi", 4));
  EXPECT_EQ(FileNames(Manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));

  TPluginManager empty;
  EXPECT_FALSE(empty.Move(0, 0));
}

TEST_F(PluginManagerTest, MoveByFileNameMatchesTheExactName) {
  ASSERT_EQ(LoadFourModules(), 4);
  EXPECT_FALSE(Manager.MoveByFileName("d.fpi", 0));
  EXPECT_FALSE(Manager.MoveByFileName("D", 0));
  EXPECT_FALSE(Manager.MoveByFileName("", 0));
  EXPECT_EQ(FileNames(Manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));
  EXPECT_TRUE(Manager.MoveByFileName("D.fpi", 1));
  EXPECT_EQ(FileNames(Manager), (Names{"A.fpi", "D.fpi", "B.fpi", "C.fpi"}));
  EXPECT_TRUE(Manager.MoveByFileName("A.fpi", 3));
  EXPECT_EQ(FileNames(Manager), (Names{"D.fpi", "B.fpi", "C.fpi", "A.fpi"}));
}

TEST_F(PluginManagerTest, IndexedOperationsOutOfRangeGiveTheEmptyAnswer) {
  ASSERT_EQ(Load({{"Underscore", "A.fpi"}}), 1);
  for (unsigned index : {1u, 2u, UINT_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(Manager.GetPlugin(index), nullptr);
    EXPECT_EQ(Manager.GetFileName(index), "");
    EXPECT_EQ(Manager.GetName(index), "");
    EXPECT_EQ(Manager.GetVersion(index), "");
    EXPECT_EQ(Manager.GetDescription(index), "");
    EXPECT_EQ(Manager.GetCopyright(index), "");
    EXPECT_FALSE(Manager.GetEnabled(index));
    EXPECT_FALSE(Manager.SetEnabled(index, false));
  }
  EXPECT_TRUE(Manager.GetEnabled(0));
  EXPECT_TRUE(Manager.SetEnabled(0, false));
  EXPECT_FALSE(Manager.GetEnabled(0));
  EXPECT_TRUE(Manager.SetEnabled(0, true));
  EXPECT_TRUE(Manager.GetEnabled(0));
}

TEST_F(PluginManagerTest, SavedOrderPlacesNamedPluginsFirstAndSkipsMissingOnes) {
  ASSERT_EQ(LoadFourModules(), 4);
  EXPECT_EQ(Manager.ApplyOrder({{"C.fpi", false}, {"Gone.fpi", false}, {"a.fpi", false}, {"A.fpi", true},
                                {"B.fpi", false}}),
            3u);
  EXPECT_EQ(FileNames(Manager), (Names{"C.fpi", "A.fpi", "B.fpi", "D.fpi"}));
  EXPECT_EQ(Flags(Manager), (std::vector<bool>{false, true, false, true}));
}

TEST_F(PluginManagerTest, SavedOrderNamingAPluginTwiceKeepsItsFirstPlace) {
  ASSERT_EQ(LoadFourModules(), 4);
  EXPECT_EQ(Manager.ApplyOrder({{"B.fpi", true}, {"A.fpi", false}, {"B.fpi", false}, {"D.fpi", false}}), 3u);
  EXPECT_EQ(FileNames(Manager), (Names{"B.fpi", "A.fpi", "D.fpi", "C.fpi"}));
  EXPECT_EQ(Flags(Manager), (std::vector<bool>{true, false, false, true}));
}

TEST_F(PluginManagerTest, SavedOrderOnNoPluginsPlacesNothing) {
  TPluginManager manager;
  EXPECT_EQ(manager.ApplyOrder({{"A.fpi", false}}), 0u);
  EXPECT_EQ(manager.GetCount(), 0u);
}

}  // namespace
