#include "drive/Readspeedlist.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadspeedlistFindIndex, ExactBetweenAndOutsideTheList) {
  TReadSpeedList list;
  EXPECT_EQ(list.FindIndex(176), -1);
  for (uint32_t s : {176u, 352u, 705u}) list.Add(s);
  EXPECT_EQ(list.FindIndex(352), 1);
  EXPECT_EQ(list.FindIndex(500), 1);
  EXPECT_EQ(list.FindIndex(800), 2);
  EXPECT_EQ(list.FindIndex(100), 2);
  EXPECT_EQ(list.FindIndex(176), 0);
  EXPECT_EQ(list.FindIndex(705), 2);
  EXPECT_EQ(list.FindIndex(353), 1);
}

TEST(ReadspeedlistGet, OutOfRangeIsZeroAndClearEmpties) {
  TReadSpeedList list;
  for (uint32_t s : {176u, 352u, 705u}) list.Add(s);
  EXPECT_EQ(list.GetCount(), 3u);
  EXPECT_EQ(list.Get(2), 705u);
  EXPECT_EQ(list.Get(5), 0u);
  EXPECT_EQ(list.Get(3), 0u);
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_EQ(list.Get(0), 0u);
}

}  // namespace
