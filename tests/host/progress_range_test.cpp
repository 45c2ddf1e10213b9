#include "util/progress_range.h"

#include <gtest/gtest.h>

namespace {

// The 16-bit range holds up to 65,535 steps in the high word of lParam;
// beyond that the 32-bit message carries the count itself.
TEST(ProgressRange, SwitchesToTheWideMessageBeyond65535Steps) {
  struct Row {
    uint32_t steps;
    bool wide;
    uintptr_t lparam;
  } rows[] = {
      {0, false, 0},
      {1, false, 0x10000},
      {65535, false, 0xFFFF0000u},
      {65536, true, 65536},
      {200000, true, 200000},
  };
  for (const Row& row : rows) {
    ProgressRange range = progress_range(row.steps);
    EXPECT_EQ(range.wide, row.wide) << row.steps;
    EXPECT_EQ(range.lparam, row.lparam) << row.steps;
  }
}

}  // namespace
