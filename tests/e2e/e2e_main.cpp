// The suite's own main: once the results are printed, the process ends at
// once. Under Wine a run of the suite whose every test had passed once
// stayed in its exit, after the last line, until ctest's time-out.
#include <windows.h>

#include <stdio.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
