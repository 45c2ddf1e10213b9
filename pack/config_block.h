// The configuration block: "[QV]" and one "Key=Value" line per key, line
// feeds only, values in code page 936.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace vpack {

using KeyList = std::vector<std::pair<std::string, std::string>>;

// "[QV]\n" then "Key=Value\n" per key, bytes as given.
std::string build_config_block(const KeyList& keys);

// The keys with ZipSize, the archive's exact length, first (replacing any
// ZipSize already there).
KeyList with_zip_size(const KeyList& keys, uint64_t zip_size);

// build_config_block(with_zip_size(keys, zip.size())).
std::string build_config_block_for(const KeyList& keys, const std::string& zip);

// Longest value in bytes the stub keeps for `key` (its buffer less one);
// 0 for keys it reads as integers or does not read.
size_t longest_value(const std::string& key);

// A key the stub reads (case ignored): a known key or ShortcutN. Otherwise
// the message names the key and, when one is close, the key meant.
bool check_key_name(const std::string& key, std::string* error);

// Checks UTF-8 keys and values against what the stub reads and converts them
// to code page 936: known keys in their canonical spelling and order (Name,
// Intro, URL, Exec, DefaultPath, AutoExtract, OpenFolder, NoGUI, Delete,
// Shortcut0...). Unknown keys, switches other than 0 and 1, a '$' or '%'
// in a path setting that opens no variable, and a literal backslash-n in
// Intro are refused. A line break in Intro becomes backslash and n.
// `places`, when given, holds per key where it was read ("FILE:LINE: ", or
// empty for an option), which leads any message about that key, warnings
// included.
bool prepare_keys(const KeyList& utf8_keys, KeyList* cp936_keys, std::string* error,
                  const std::vector<std::string>& places = {},
                  std::vector<std::string>* warnings = nullptr);

// Keys of an INI text in UTF-8 (optional [QV] header, ';' and '#' comments).
// `source` names the file in messages; `places` receives "SOURCE:LINE: " per
// key.
bool parse_ini_text(const std::string& text, const std::string& source, KeyList* keys,
                    std::string* error, std::vector<std::string>* places = nullptr);

// The "Key=Value" lines of a block as written into a self-extracting file,
// bytes as they stand (the section header and other lines are skipped).
KeyList parse_config_block(const std::string& block);

// The ZipSize value the stub reads from these keys: the leading digits of
// the first ZipSize key (case ignored); false when there is none.
bool block_zip_size(const KeyList& keys, uint64_t* value);

// `base` with every key of `overrides` replacing the same key (case ignored)
// or added; when `overrides` holds any ShortcutN key, all of the base's
// shortcut keys are dropped first, so the list is taken whole from one place.
// `places` receives per key the base's place (`base_places`) for a value
// taken from the base, and empty for one taken from `overrides`.
KeyList merge_keys(const KeyList& base, const KeyList& overrides,
                   const std::vector<std::string>& base_places = {},
                   std::vector<std::string>* places = nullptr);

}  // namespace vpack
