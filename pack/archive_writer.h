// Writes the payload's ZIP archive in memory with minizip's zip.c: a standard
// single-disk archive whose offsets count from its own first byte.
#pragma once
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vpack {

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

}  // namespace vpack
