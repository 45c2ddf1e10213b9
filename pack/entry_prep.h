// Makes a batch of entries ready for the archive on worker threads: CRC-32,
// method and deflated form, whole in memory for small entries and in chunks
// through a spool file for large ones.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/file_io.h"

namespace vpack {

extern const uint64_t kLargestEntry;

struct Prepared {
  bool large = false;        // set by the batch's maker: read in chunks
  std::string loaded;        // a small entry's bytes read from its source, when stored
  std::string packed;        // a small entry's deflated bytes, when deflated
  ScratchFile spool;         // a large entry's deflated bytes, when deflated
  bool from_source = false;  // a large stored entry: copied from its source when written
  uint64_t size = 0;         // uncompressed
  unsigned long crc = 0;
  int method = 0;
  bool ok = false;
  std::string error;  // when not ok; reported when the entry's turn comes
};

// Prepares entries[first + i] into (*batch)[i] for every i. Exceptions
// become the entry's error; nothing is thrown.
void prepare_batch(const std::vector<Entry>& entries, size_t first, const ArchiveOptions& options,
                   const StreamLimits& limits, const std::filesystem::path& spool,
                   std::vector<Prepared>* batch);

}  // namespace vpack
