// One libFuzzer target: FUZZ_BODY names the body of fuzz_bodies.h it runs.
#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_BODY(data, size);
  return 0;
}
