// The size limit of a self-extracting file. Portable (no <windows.h>): the
// stub's archive reader refuses a larger file and the builder never writes
// one, both by this one constant.
#pragma once
#include <stdint.h>

// The whole self-extracting file stays below this size: the stub's positions
// are 32-bit values and its seeks take signed 32-bit distances.
const uint32_t kLargestSfxFile = 0x80000000u;
