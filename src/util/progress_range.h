// How a progress bar is told its number of steps.
#pragma once
#include <stdint.h>

// The bar's 16-bit range message wraps beyond 65,535 steps (an archive or
// its cleanup can have more): past that, the 32-bit message takes the count
// as it is.
struct ProgressRange {
  bool wide;        // PBM_SETRANGE32 rather than PBM_SETRANGE
  uintptr_t lparam; // the message's lParam; its wParam is 0
};

inline ProgressRange progress_range(uint32_t steps) {
  if (steps <= 0xFFFF) return {false, static_cast<uintptr_t>(steps) << 16};
  return {true, steps};
}
