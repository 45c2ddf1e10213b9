// minizip's file hooks over the two places an archive is written to: a byte
// string in memory, and a region of an open file that starts at the
// archive's first byte. Both count offsets from that byte, so the archive's
// bytes do not depend on where it is written.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include <ioapi.h>

namespace vpack {

struct MemoryStream {
  std::string* bytes;
  size_t position;
};

void memory_hooks(MemoryStream* stream, zlib_filefunc_def* hooks);

// The archive inside a file from byte `base` on. A write that would make the
// archive longer than `limit` bytes fails and sets `too_large`; a failed
// write keeps its errno in `error_number`.
struct FileRegion {
  FILE* file = nullptr;
  uint64_t base = 0;
  uint64_t limit = 0;
  uint64_t position = 0;        // minizip's, from `base`
  uint64_t end = 0;             // the archive's length so far
  uint64_t file_at = UINT64_MAX;  // the stream's own position, to skip needless seeks
  bool failed = false;
  bool too_large = false;
  int error_number = 0;
};

void file_region_hooks(FileRegion* region, zlib_filefunc_def* hooks);

}  // namespace vpack
