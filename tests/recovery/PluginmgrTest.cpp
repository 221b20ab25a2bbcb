#include "recovery/Pluginmgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    std::ofstream(Dir / fileName) << contents;
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
  // A B C D, all of the ordinary kind.
  static void AddFourModules(PluginFolder& folder) {
    for (const char* name : {"D.fpi", "B.fpi", "A.fpi", "C.fpi"}) folder.Module("Underscore", name);
  }
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
  PluginFolder folder;
  folder.Module("Underscore", "Alpha.fpi").Module("Plain", "Beta.fpi");
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 2);
  for (unsigned i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(manager.GetName(i), manager.GetFileName(i));
    EXPECT_EQ(manager.GetVersion(i), "1.00.1");
    EXPECT_EQ(manager.GetCopyright(i), "Copyright (C) 2003 Fixture");
    ASSERT_NE(manager.GetPlugin(i), nullptr);
    EXPECT_EQ(manager.GetPlugin(i)->GetPluginType(), 7);
  }
  EXPECT_EQ(manager.GetDescription(0), "") << "a zero result keeps no text";
  EXPECT_EQ(manager.GetDescription(1), std::string(1023, 'x')) << "an unterminated text is cut at the buffer's end";
}

// ---- Unloading

TEST_F(PluginManagerTest, UnloadDestroysEachObjectThroughItsModuleThenFreesItInManagerOrder) {
  PluginFolder folder;
  AddFourModules(folder);
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 4);
  ASSERT_TRUE(manager.Move(2, 0));  // C A B D
  Events.clear();
  EXPECT_TRUE(manager.UnloadPlugins());
  EXPECT_EQ(Events, (Names{"destroy:C.fpi", "unload:C.fpi", "destroy:A.fpi", "unload:A.fpi", "destroy:B.fpi",
                           "unload:B.fpi", "destroy:D.fpi", "unload:D.fpi"}));
  EXPECT_EQ(manager.GetCount(), 0u);
  EXPECT_EQ(manager.GetPlugin(0), nullptr);
  EXPECT_EQ(manager.GetDirectory(), folder.Path());
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
  PluginFolder folder;
  folder.Module("NoDestroy", "Lone.fpi");
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 1);
  EXPECT_EQ(manager.GetName(0), "Lone.fpi");
  Events.clear();
  manager.UnloadPlugins();
  EXPECT_EQ(Events, (Names{"unload:Lone.fpi"}));
}

TEST_F(PluginManagerTest, DestroyExportThatThrowsDoesNotStopTheUnloading) {
  PluginFolder folder;
  folder.Module("ThrowingDestroy", "A.fpi").Module("Underscore", "B.fpi");
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 2);
  Events.clear();
  EXPECT_TRUE(manager.UnloadPlugins());
  EXPECT_EQ(Events, (Names{"destroy:A.fpi", "unload:A.fpi", "destroy:B.fpi", "unload:B.fpi"}));
  EXPECT_EQ(manager.GetCount(), 0u);
}

// ---- Order and flags

TEST_F(PluginManagerTest, MoveRotatesOneEntryAndItsDataTravelWithIt) {
  PluginFolder folder;
  AddFourModules(folder);
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 4);
  ASSERT_EQ(FileNames(manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));
  TFormatPlugin* c = manager.GetPlugin(2);
  ASSERT_TRUE(manager.SetEnabled(2, false));

  EXPECT_TRUE(manager.Move(2, 0));
  EXPECT_EQ(FileNames(manager), (Names{"C.fpi", "A.fpi", "B.fpi", "D.fpi"}));
  EXPECT_EQ(manager.GetPlugin(0), c);
  EXPECT_EQ(manager.GetName(0), "C.fpi");
  EXPECT_EQ(Flags(manager), (std::vector<bool>{false, true, true, true}));

  EXPECT_TRUE(manager.Move(0, 2));
  EXPECT_EQ(FileNames(manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));
  EXPECT_TRUE(manager.Move(0, 2));
  EXPECT_EQ(FileNames(manager), (Names{"B.fpi", "C.fpi", "A.fpi", "D.fpi"}));
  EXPECT_TRUE(manager.Move(3, 0));
  EXPECT_EQ(FileNames(manager), (Names{"D.fpi", "B.fpi", "C.fpi", "A.fpi"}));
  EXPECT_TRUE(manager.Move(1, 1));
  EXPECT_EQ(FileNames(manager), (Names{"D.fpi", "B.fpi", "C.fpi", "A.fpi"}));
}

TEST_F(PluginManagerTest, MoveOutOfRangeChangesNothing) {
  PluginFolder folder;
  AddFourModules(folder);
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 4);
  EXPECT_FALSE(manager.Move(4, 0));
  EXPECT_FALSE(manager.Move(0, 4));
  EXPECT_FALSE(manager.Move(UINT_MAX, 1));
  EXPECT_FALSE(manager.MoveByFileName("A.fpi", 4));
  EXPECT_EQ(FileNames(manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));

  TPluginManager empty;
  EXPECT_FALSE(empty.Move(0, 0));
}

TEST_F(PluginManagerTest, MoveByFileNameMatchesTheExactName) {
  PluginFolder folder;
  AddFourModules(folder);
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 4);
  EXPECT_FALSE(manager.MoveByFileName("d.fpi", 0));
  EXPECT_FALSE(manager.MoveByFileName("D", 0));
  EXPECT_FALSE(manager.MoveByFileName("", 0));
  EXPECT_EQ(FileNames(manager), (Names{"A.fpi", "B.fpi", "C.fpi", "D.fpi"}));
  EXPECT_TRUE(manager.MoveByFileName("D.fpi", 1));
  EXPECT_EQ(FileNames(manager), (Names{"A.fpi", "D.fpi", "B.fpi", "C.fpi"}));
  EXPECT_TRUE(manager.MoveByFileName("A.fpi", 3));
  EXPECT_EQ(FileNames(manager), (Names{"D.fpi", "B.fpi", "C.fpi", "A.fpi"}));
}

TEST_F(PluginManagerTest, IndexedOperationsOutOfRangeGiveTheEmptyAnswer) {
  PluginFolder folder;
  folder.Module("Underscore", "A.fpi");
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 1);
  for (unsigned index : {1u, 2u, UINT_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(manager.GetPlugin(index), nullptr);
    EXPECT_EQ(manager.GetFileName(index), "");
    EXPECT_EQ(manager.GetName(index), "");
    EXPECT_EQ(manager.GetVersion(index), "");
    EXPECT_EQ(manager.GetDescription(index), "");
    EXPECT_EQ(manager.GetCopyright(index), "");
    EXPECT_FALSE(manager.GetEnabled(index));
    EXPECT_FALSE(manager.SetEnabled(index, false));
  }
  EXPECT_TRUE(manager.GetEnabled(0));
  EXPECT_TRUE(manager.SetEnabled(0, false));
  EXPECT_FALSE(manager.GetEnabled(0));
  EXPECT_TRUE(manager.SetEnabled(0, true));
  EXPECT_TRUE(manager.GetEnabled(0));
}

TEST_F(PluginManagerTest, SavedOrderPlacesNamedPluginsFirstAndSkipsMissingOnes) {
  PluginFolder folder;
  AddFourModules(folder);
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 4);
  EXPECT_EQ(manager.ApplyOrder({{"C.fpi", false}, {"Gone.fpi", false}, {"a.fpi", false}, {"A.fpi", true},
                                {"B.fpi", false}}),
            3u);
  EXPECT_EQ(FileNames(manager), (Names{"C.fpi", "A.fpi", "B.fpi", "D.fpi"}));
  EXPECT_EQ(Flags(manager), (std::vector<bool>{false, true, false, true}));
}

TEST_F(PluginManagerTest, SavedOrderNamingAPluginTwiceKeepsItsFirstPlace) {
  PluginFolder folder;
  AddFourModules(folder);
  TPluginManager manager;
  ASSERT_EQ(manager.LoadPlugins(folder.Path()), 4);
  EXPECT_EQ(manager.ApplyOrder({{"B.fpi", true}, {"A.fpi", false}, {"B.fpi", false}, {"D.fpi", false}}), 3u);
  EXPECT_EQ(FileNames(manager), (Names{"B.fpi", "A.fpi", "D.fpi", "C.fpi"}));
  EXPECT_EQ(Flags(manager), (std::vector<bool>{true, false, false, true}));
}

TEST_F(PluginManagerTest, SavedOrderOnNoPluginsPlacesNothing) {
  TPluginManager manager;
  EXPECT_EQ(manager.ApplyOrder({{"A.fpi", false}}), 0u);
  EXPECT_EQ(manager.GetCount(), 0u);
}

}  // namespace
