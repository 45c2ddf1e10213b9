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

// The zone whose wall-clock time the entries' DOS times are written in: the
// stub takes them as the user's local time.
struct TimeZone {
  bool local = true;        // the builder's own zone
  int offset_minutes = 0;   // east of UTC, when not local
};

// "local", "UTC", or an offset such as +08:00, -05:30, +0800, +8 (from
// -12:00 to +14:00).
bool parse_time_zone(const std::string& text, TimeZone* zone);

// Entries for everything below `root` (not `root` itself), sorted by their
// names, so each directory's entry comes before its contents. File entries
// carry `source`, not data. Symbolic links, special files and names the stub
// cannot hold are refused, all of them in one message of a line per file
// (20 at most, then their number).
bool collect_directory(const std::filesystem::path& root, std::vector<Entry>* entries,
                       std::string* error, const TimeZone& zone = TimeZone());

// A local calendar time as DOS date and time words, clamped to 1980-2107.
void dos_date_time(int year, int month, int day, int hour, int minute, int second,
                   uint16_t* date, uint16_t* time);

}  // namespace vpack
