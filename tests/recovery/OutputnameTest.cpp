// Names from a disc become one safe leaf of the output folder.
#include <gtest/gtest.h>

#include "platform/OutputFile.h"
#include "recovery/Outputname.h"

namespace {

TEST(OutputnameTest, HostileNamesBecomeOneLeaf) {
  const std::string kanji = "\xE6\x97\xA5";  // three bytes
  const struct {
    std::string In, Out;
  } cases[] = {
      {"readme.txt", "readme.txt"},   {"", "_"},
      {".", "_."},                     {"..", "_.."},
      {"../../etc/x", ".._.._etc_x"}, {"a\\b", "a_b"},
      {std::string("a\0b", 3), "a_b"}, {"tab\there\x7F", "tab_here_"},
      {"...", "..."},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeLeafName(c.In), c.Out) << c.In;

  // Overlong: cut at a character boundary, the extension kept, room left for "~N".
  std::string longName;
  for (int i = 0; i < 100; ++i) longName += kanji;
  const std::string cut = SafeLeafName(longName + ".txt");
  EXPECT_LE(cut.size(), kMaxLeafBytes);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".txt");
  EXPECT_EQ((cut.size() - 4) % 3, 0u);
  EXPECT_EQ(SafeLeafName(longName).size() % 3, 0u);
  EXPECT_LE(platform::NumberedName(cut, 99).size(), 255u);
  EXPECT_EQ(platform::NumberedName("a.tar.gz", 2), "a.tar~2.gz");
  EXPECT_EQ(platform::NumberedName(".hidden", 3), ".hidden~3");
}

}  // namespace
