// Whole-file reads and all-or-nothing writes, with paths that hold any
// character the platform allows (wide calls on Windows).
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace vpack {

bool read_file(const std::filesystem::path& path, std::string* bytes, std::string* error);

// Writes the pieces one after another to a temporary name beside `path`, then
// renames it over `path`. On any failure the temporary file is removed and
// `path` is left as it was. `check`, when given, runs on the temporary file
// before the rename and may refuse it.
bool write_file_atomically(const std::filesystem::path& path,
                           const std::vector<const std::string*>& pieces, std::string* error,
                           bool (*check)(const std::filesystem::path& written, void* context,
                                         std::string* error) = nullptr,
                           void* check_context = nullptr);

// The path as UTF-8 for messages.
std::string display_path(const std::filesystem::path& path);

}  // namespace vpack
