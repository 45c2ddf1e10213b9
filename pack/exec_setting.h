// What the stub will do with the Exec setting, checked against the payload:
// it launches nothing for a command with arguments, for a file of a kind it
// neither runs nor opens, or for a file that was never extracted.
#pragma once
#include <string>
#include <vector>

#include "pack/archive_writer.h"

namespace vpack {

// A warning (one line) when the stub would launch nothing for the UTF-8
// Exec value, given the entries to be extracted; empty when it launches
// something or the file lies outside the extraction folder.
std::string exec_warning(const std::string& exec, const std::vector<Entry>& entries);

// The entry the UTF-8 Exec value names inside the extraction folder, as
// Windows compares names (case aside); nullptr when there is none.
const Entry* exec_entry(const std::string& exec, const std::vector<Entry>& entries);

}  // namespace vpack
