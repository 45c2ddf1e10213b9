// Reads a self-extracting file the way the stub does and reports its layout,
// configuration and entries; optionally decompresses every entry.
#pragma once
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/config_block.h"

namespace vpack {

struct EntryInfo {
  std::string name;  // as stored: code page 936, or UTF-8 when utf8_flag
  bool utf8_flag = false;
  int method = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint32_t crc = 0;
  uint16_t dos_date = 0;
  uint16_t dos_time = 0;
};

struct PayloadReport {
  uint64_t file_size = 0;
  bool has_marker = false;
  uint32_t marker_offset = 0;   // M, also the stub's size
  uint32_t archive_offset = 0;  // P, the first local header
  uint64_t zip_size = 0;        // the ZipSize key as the stub reads it
  uint64_t archive_length = 0;  // P to the end of the end record
  uint32_t comment_length = 0;
  uint32_t archive_base = 0;  // where a ZIP64 archive's own offsets count from
  uint64_t certificate_offset = 0;  // a signature's certificate table after
  uint64_t certificate_size = 0;    // the archive; 0 when unsigned
  std::string execution_level;  // the stub's manifest asks for; "" without one
  std::string manifest_error;   // why the manifest does not read, or ""
  KeyList keys;  // as written, code page 936 values
  std::vector<EntryInfo> entries;
  bool verified = false;  // every entry decompressed with a correct CRC-32
};

// A file source: its size and a reader of up to n bytes at an offset
// (fewer at the end of the file; false on a read error).
struct ByteSource {
  uint64_t size = 0;
  bool (*read)(void* context, uint64_t offset, size_t n, std::string* out) = nullptr;
  void* context = nullptr;
};

// Fails with a message for a file without a payload, a damaged one, or a
// ZipSize that disagrees with the archive, and with `verify` also for a
// manifest that is not well formed; `report` holds what was found.
bool inspect(const ByteSource& source, bool verify, PayloadReport* report, std::string* error);
bool inspect_bytes(const std::string& file, bool verify, PayloadReport* report,
                   std::string* error);
bool inspect_file(const std::filesystem::path& path, bool verify, PayloadReport* report,
                  std::string* error);

// The report as UTF-8 text for the terminal.
std::string format_report(const PayloadReport& report);

}  // namespace vpack
