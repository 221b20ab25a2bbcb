#include "recovery/Filelist.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TKrDirRecord DirectoryRecord(uint8_t tag) {
  std::vector<uint8_t> raw(34, 0);
  raw[0] = 34;
  raw[2] = tag;
  raw[25] = 2;
  raw[32] = 1;
  raw[33] = tag;
  TKrDirRecord r;
  r.Assign(raw.data(), raw.size());
  return r;
}

TExtractedFile Node(const std::string& name, uint8_t kind = nkVolume) {
  TExtractedFile f;
  f.Kind = kind;
  f.Name = name;
  f.Start = 150 + static_cast<int64_t>(name.size());
  f.Size = static_cast<uint32_t>(name.size() * 100);
  return f;
}

}  // namespace

TEST(FilelistTest, DefaultNodeIsAnEmptyFile) {
  const TExtractedFile f;
  EXPECT_EQ(f.Kind, nkVolume);
  EXPECT_EQ(f.DirRecord, TKrDirRecord());
  EXPECT_EQ(f.DirRecord.IsDirectory(), 0);
  EXPECT_EQ(f.Start, 0);
  EXPECT_EQ(f.Size, 0u);
  EXPECT_EQ(f.TailZeroCount, 0u);
  EXPECT_EQ(f.ReadedIndex, 0);
  EXPECT_TRUE(f.Name.empty() && f.TypeName.empty() && f.FoundPath.empty() && f.Children.empty());
  const TReadedFile r;
  EXPECT_EQ(r.Extent, 0u);
  EXPECT_EQ(r.DataLength, 0u);
  EXPECT_TRUE(r.Path.empty() && r.FoundPath.empty());
}

TEST(FilelistTest, CopyingANodeCopiesItsWholeSubtree) {
  TExtractedFile root = Node("root");
  {
    // Built on the stack, children first, then appended and destroyed.
    TExtractedFile level1 = Node("level1");
    level1.DirRecord = DirectoryRecord(1);
    TExtractedFile level2 = Node("level2");
    level2.DirRecord = DirectoryRecord(2);
    TExtractedFile leaf = Node("leaf.bin", nkCarved);
    leaf.TypeName = "PNG image";
    level2.Children.push_back(leaf);
    level1.Children.push_back(level2);
    root.Children.push_back(level1);
  }
  root.Children.push_back(Node("run", nkZeroTailRun));

  TExtractedFile copy = root;
  root.Children.clear();
  root.Name = "changed";

  ASSERT_EQ(copy.Children.size(), 2u);
  const TExtractedFile& level1 = copy.Children[0];
  EXPECT_EQ(level1.Name, "level1");
  EXPECT_EQ(level1.DirRecord.IsDirectory(), 1);
  EXPECT_EQ(level1.DirRecord.GetExtentLsb(), 1u);
  ASSERT_EQ(level1.Children.size(), 1u);
  const TExtractedFile& level2 = level1.Children[0];
  EXPECT_EQ(level2.DirRecord.GetExtentLsb(), 2u);
  ASSERT_EQ(level2.Children.size(), 1u);
  EXPECT_EQ(level2.Children[0].TypeName, "PNG image");
  EXPECT_EQ(level2.Children[0].Kind, nkCarved);
  EXPECT_EQ(level2.Children[0].Size, 800u);
  EXPECT_EQ(copy.Children[1].Kind, nkZeroTailRun);
  EXPECT_EQ(copy.Name, "root");

  // Assignment replaces the previous children, and changing the copy leaves the source.
  TExtractedFile target = Node("target");
  target.Children.push_back(Node("old"));
  target = copy;
  target.Children[0].Children[0].Name = "renamed";
  ASSERT_EQ(target.Children.size(), 2u);
  EXPECT_EQ(target.Children[0].Name, "level1");
  EXPECT_EQ(copy.Children[0].Children[0].Name, "level2");
}

TEST(FilelistTest, SelfAssignmentKeepsTheChildren) {
  TExtractedFile f = Node("dir");
  f.Children.push_back(Node("a"));
  f.Children.push_back(Node("b"));
  f.Children[1].Children.push_back(Node("c"));
  TExtractedFile& same = f;
  f = same;
  ASSERT_EQ(f.Children.size(), 2u);
  EXPECT_EQ(f.Children[0].Name, "a");
  ASSERT_EQ(f.Children[1].Children.size(), 1u);
  EXPECT_EQ(f.Children[1].Children[0].Name, "c");
}

TEST(FilelistTest, ChildrenSurviveTheVectorGrowing) {
  TExtractedFile root;
  for (int i = 0; i < 100; ++i) {
    TExtractedFile child = Node("file" + std::to_string(i), 1);
    child.ReadedIndex = i + 1;
    child.Children.push_back(Node("sub" + std::to_string(i)));
    root.Children.push_back(child);
  }
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(root.Children[i].Name, "file" + std::to_string(i));
    ASSERT_EQ(root.Children[i].ReadedIndex, i + 1);
    ASSERT_EQ(root.Children[i].Children.at(0).Name, "sub" + std::to_string(i));
  }
}
