// Writes a self-extracting file: the stub, the configuration block with the
// archive's ZipSize, and the archive streamed from the entries' sources, all
// into a temporary file beside the output that is renamed into place once
// it has been checked.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/config_block.h"

namespace vpack {

struct Payload {
  std::string stub;
  KeyList keys;  // code page 936, without ZipSize
  std::vector<Entry> entries;
  ArchiveOptions options;
  StreamLimits limits;
};

// Runs on the written temporary file before it is renamed and may refuse it.
typedef bool (*WrittenCheck)(const std::filesystem::path& written, void* context,
                             std::string* error);

// The file's bytes are stub + build_config_block_for(keys, zip) + zip, where
// zip is what build_archive makes of the entries. Before the rename every
// rule of check_layout is checked over the written bytes, then `check` runs.
// On failure `output` is left as it was and no temporary or spool file
// remains, whether the run fails or an exception ends it.
bool write_payload_file(const std::filesystem::path& output, const Payload& payload,
                        std::string* error, WrittenCheck check = nullptr,
                        void* check_context = nullptr);

}  // namespace vpack
