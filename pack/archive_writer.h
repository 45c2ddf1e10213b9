// Writes the payload's ZIP archive with minizip's zip.c, in memory or
// streamed into an open file: a standard single-disk archive whose offsets
// count from its own first byte. Both give the same bytes.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vpack {

// What to do about a payload the stub's 2 GiB limit leaves no room for.
const char kOverLimitAdvice[] =
    "split the payload into several self-extracting files, or ship the largest files "
    "beside the self-extracting file";

struct Entry {
  std::string name;  // code page 936 bytes, '/' separators, directories end with '/'
  std::string data;  // the file's bytes, unless `source` is set
  uint16_t dos_date = 0;
  uint16_t dos_time = 0;
  bool utf8_flag = false;  // general-purpose bit 11: `name` holds UTF-8
  // The name in UTF-8 for other tools, written as a Unicode Path extra field
  // (0x7075) when it differs from `name`; the stub skips extra fields.
  std::string utf8_name;
  std::filesystem::path source;  // when not empty, the bytes are read from here
};

struct ArchiveOptions {
  int level = 6;  // 0 stores every entry, 1-9 deflate (method 8)
  // Store an entry whose deflated form would not be smaller (the builder's
  // default); off, every file entry of a level 1-9 archive is method 8.
  bool store_if_larger = false;
  std::string comment;  // archive comment, at most 65,535 bytes
};

bool build_archive(const std::vector<Entry>& entries, const ArchiveOptions& options,
                   std::string* zip, std::string* error);

// Method 0 when `level` is 0, else method 8 for every file entry.
bool build_archive(const std::vector<Entry>& entries, int level, std::string* zip,
                   std::string* error, const std::string& comment = std::string());

// How much of the input a streamed archive holds at once; tests make the
// figures small to reach every path with small files.
struct StreamLimits {
  // Entries read from a source larger than this, or whose size cannot be
  // read, are read, checksummed and deflated in chunks instead of whole.
  uint64_t large_entry = 4u << 20;
  size_t chunk = 256u << 10;
  // A batch of entries is prepared on worker threads before it is written:
  // at most this many bytes of small entries (plus one entry) in memory,
  // and of large entries deflated into spool files on disk.
  uint64_t batch_bytes = 32u << 20;
  uint64_t batch_spool = 256u << 20;
  // The archive's size the configuration block is first written for; 0
  // takes archive_size_bound().
  uint64_t size_guess = 0;
};

// Where a streamed archive goes: `file` from byte `base` on, at most `limit`
// bytes. Spool files are named `spool` plus a dot and the entry's index, and
// are removed once their entry is written or the run fails.
struct ArchiveTarget {
  FILE* file = nullptr;
  uint64_t base = 0;
  uint64_t limit = 0;
  std::filesystem::path spool;
  std::string name;  // the file, for messages
};

// The same bytes as build_archive, written into `target`; `size` is the
// archive's length. On failure the file holds an unfinished archive.
bool write_archive(const std::vector<Entry>& entries, const ArchiveOptions& options,
                   const ArchiveTarget& target, uint64_t* size, std::string* error,
                   const StreamLimits& limits = StreamLimits());

// The archive's size were every entry stored, from the sources' sizes now:
// never less than the builder's archives, which store what deflate would
// not shrink.
uint64_t archive_size_bound(const std::vector<Entry>& entries, const ArchiveOptions& options);

}  // namespace vpack
