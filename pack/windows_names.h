// What Windows cannot keep of a source tree's names: components it changes
// or reserves, names it cannot tell apart, paths too long for the stub.
#pragma once
#include <stddef.h>

#include <string>
#include <vector>

#include "core/config_limits.h"
#include "pack/archive_writer.h"
#include "pack/config_block.h"

namespace vpack {

// The stub's path buffers hold 259 bytes: destination, backslash and name.
const size_t kLongestPath = kPathBufferSize - 1;

// Why Windows cannot keep one UTF-8 name component as it is; empty when it
// can: a trailing dot or blank, or a device name with or without extension.
std::string component_problem(const std::string& utf8);

// The name as Windows compares names: letters of either case made one.
std::u32string case_folded(const std::string& utf8);

// The first two entries (by index) whose names Windows takes for one; false
// when there are none. Names are compared in UTF-8 (`utf8_name`, else `name`
// read as code page 936).
bool find_case_collision(const std::vector<Entry>& entries, size_t* first, size_t* second);

// Checks the longest entry name against the destination the cp936 keys give:
// refused when a destination without variables leaves it no room; a warning
// (one line, empty when none) when a typical expansion leaves too little.
bool check_path_room(const std::vector<Entry>& entries, const KeyList& cp936_keys,
                     std::string* warning, std::string* error);

}  // namespace vpack
