// The ini text writer and reader: the exact bytes written, and how reading treats
// repeated keys, repeated sections, untrimmed values and malformed lines.
#include <gtest/gtest.h>

#include "app/Krfastinireader.h"
#include "app/Krfastiniwriter.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

using test_support::ReadText;
using test_support::WriteFile;

TEST(KrFastIniWriter, WritesSectionsKeysAndValuesAsLinesEndingInCrLf) {
  test_support::TempDir dir;
  const auto file = dir / "a.ini";
  TKrFastIniWriter ini(file.string());
  ini.AddSection("Toc");
  ini.WriteBool("Manual", false);
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(ReadText(file), "\r\n[Toc]\r\nManual=0\r\n");

  TKrFastIniWriter more(file.string());
  more.AddSection("Path");
  more.WriteString("TrackDir", "  /home/a b  ");
  more.WriteString("Evil", "x\n[Toc]\nNoDialog=1");  // would inject a section
  more.WriteInteger("Big", -9000000000LL);
  more.WriteBool("On", true);
  more.AddSection("Next");
  ASSERT_TRUE(more.UpdateFile());
  EXPECT_EQ(ReadText(file), "\r\n[Path]\r\nTrackDir=/home/a b\r\nEvil=\r\nBig=-9000000000\r\nOn=1\r\n\r\n[Next]\r\n");
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 1);

  EXPECT_FALSE(TKrFastIniWriter("").UpdateFile());
  TKrFastIniWriter nowhere((dir / "missing" / "a.ini").string());
  nowhere.AddSection("X");
  EXPECT_FALSE(nowhere.UpdateFile());
  EXPECT_EQ(ReadText(file).substr(0, 8), "\r\n[Path]");  // a failed save touches no other file
}

TEST(KrFastIniReader, ReadsKeysInFileOrderAndConsumesEachLine) {
  test_support::TempDir dir;
  const auto file = dir / "b.ini";
  WriteFile(file,
       "Stray=1\r\n[ISO9660]\nLittleEndian=1\rLittleEndian=0\r\nNum=42 \r\nNeg=-17\nPlus=+5\nHex=0x10\n"
       "Empty=\nText= a=b \nCaps=TRUE\nYes=yes\nNoEquals\nPlusMinus=+-5\nMinusPlus=-+5\nTwoPlus=++5\nTwoMinus=--5\n[Trail] \nAfter=1\n\n[Dup]\nV=1\n[Dup]\nV=2\n");
  TKrFastIniReader ini(file.string());
  EXPECT_EQ(ini.ReadString("Stray", "none"), "none");  // nothing selected yet
  ASSERT_TRUE(ini.SelectSection("ISO9660"));
  EXPECT_TRUE(ini.ReadBool("LittleEndian", false));
  EXPECT_FALSE(ini.ReadBool("LittleEndian", true));
  EXPECT_TRUE(ini.ReadBool("LittleEndian", true));  // a third read: the default
  struct IntCase {
    const char* Key;
    int64_t Expected;
  };
  // At most one sign before the digits.
  for (const IntCase& c : {IntCase{"Num", 7}, {"Neg", -17}, {"Plus", 5}, {"Hex", 7}, {"Empty", 7}, {"Absent", 7},
                           {"PlusMinus", 7}, {"MinusPlus", 7}, {"TwoPlus", 7}, {"TwoMinus", 7}})
    EXPECT_EQ(ini.ReadInteger(c.Key, 7), c.Expected) << c.Key;
  EXPECT_EQ(ini.ReadString("Num", "gone"), "gone");  // consumed although it did not convert
  EXPECT_EQ(ini.ReadString("Text", ""), " a=b ");
  EXPECT_TRUE(ini.ReadBool("Caps", false));
  EXPECT_FALSE(ini.ReadBool("Yes", false));
  EXPECT_TRUE(ini.ReadBool("Yes", true));  // consumed: the default again
  EXPECT_EQ(ini.ReadString("NoEquals", "d"), "d");
  // "[Trail] " ended ISO9660 but is not the header of Trail.
  EXPECT_EQ(ini.ReadString("After", "d"), "d");
  EXPECT_FALSE(ini.SelectSection("Trail"));
  EXPECT_EQ(ini.ReadString("After", "d"), "d");
  ASSERT_TRUE(ini.SelectSection("Dup"));
  EXPECT_EQ(ini.ReadString("V", ""), "1");
  ASSERT_TRUE(ini.SelectSection("Dup"));
  EXPECT_EQ(ini.ReadString("V", ""), "2");
  EXPECT_FALSE(ini.SelectSection("Dup"));
  EXPECT_FALSE(ini.SelectSection("ISO9660"));  // read once
  EXPECT_FALSE(ini.SelectSection(""));
}

TEST(KrFastIniReader, SelectsFromTheEndAndReadsMissingFilesAsEmpty) {
  test_support::TempDir dir;
  const auto file = dir / "c.ini";
  WriteFile(file, "[S]\nK=first\n[S]\nK=last\n");
  TKrFastIniReader ini(file.string());
  ASSERT_TRUE(ini.SelectSection("S", /*fromEnd=*/true));
  EXPECT_EQ(ini.ReadString("K", ""), "last");
  ASSERT_TRUE(ini.SelectSection("S", /*fromEnd=*/true));
  EXPECT_EQ(ini.ReadString("K", ""), "first");

  TKrFastIniReader missing((dir / "none.ini").string());
  EXPECT_FALSE(missing.SelectSection("S"));
  EXPECT_EQ(missing.ReadInteger("K", 3), 3);

  // A folder is not a file: unreadable, which the callers catch.
  EXPECT_THROW(TKrFastIniReader(dir.Path.string()), std::runtime_error);
  std::ofstream(dir / "huge.ini").put('x');
  std::filesystem::resize_file(dir / "huge.ini", TKrFastIniReader::kMaxFileBytes + 1);
  EXPECT_THROW(TKrFastIniReader((dir / "huge.ini").string()), std::runtime_error);
}

}  // namespace
