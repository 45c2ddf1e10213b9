// Turns a source directory into archive entries: deterministic order, a
// directory entry for every directory, names in code page 936.
#pragma once
#include <stdint.h>
#include <time.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/archive_writer.h"

namespace vpack {

// Entries for everything below `root` (not `root` itself), sorted by their
// names, so each directory's entry comes before its contents. File entries
// carry `source`, not data. Symbolic links, special files and names the stub
// cannot hold are refused with a message naming the file.
bool collect_directory(const std::filesystem::path& root, std::vector<Entry>* entries,
                       std::string* error);

// A local calendar time as DOS date and time words, clamped to 1980-2107.
void dos_date_time(int year, int month, int day, int hour, int minute, int second,
                   uint16_t* date, uint16_t* time);

}  // namespace vpack
