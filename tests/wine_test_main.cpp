// The Windows suites' main: once the results are printed, the process ends
// at once. Under Wine a run whose every test had passed once stayed in its
// exit until ctest's time-out, and under qemu-i386 a suite that had started
// programs was often killed in its exit, after its last line.
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
