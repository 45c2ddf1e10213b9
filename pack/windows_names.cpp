#include "pack/windows_names.h"

#include <map>

#include "pack/codepage.h"
#include "pack/path_settings.h"

namespace vpack {
namespace {

const char* const kDeviceNames[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",   "COM5", "COM6",
    "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4",   "LPT5",   "LPT6", "LPT7",
    "LPT8", "LPT9", "CONIN$", "CONOUT$",
};

std::u32string decode_utf8(const std::string& utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out += cp;
    i += len;
  }
  return out;
}

// The upper-case partner of the lower-case letters a name in code page 936
// can hold (Latin, Latin-1, Greek, Cyrillic, full-width Latin, small Roman
// numerals), as the file system's case table pairs them.
char32_t upper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  if (c >= 0x2170 && c <= 0x217F) return c - 0x10;
  return c;
}

std::string utf8_of(const Entry& entry) {
  if (!entry.utf8_name.empty()) return entry.utf8_name;
  std::string utf8;
  return cp936_to_utf8(entry.name, &utf8) ? utf8 : entry.name;
}

std::string setting(const KeyList& keys, const char* name) {
  for (const auto& kv : keys)
    if (kv.first == name) return kv.second;
  return std::string();
}

}  // namespace

std::string component_problem(const std::string& utf8) {
  if (!utf8.empty() && (utf8.back() == '.' || utf8.back() == ' ')) {
    std::string kept = utf8;
    while (!kept.empty() && (kept.back() == '.' || kept.back() == ' ')) kept.pop_back();
    return "Windows drops a name's trailing dots and blanks ('" + utf8 + "' would become '" +
           kept + "')";
  }
  std::string base = utf8.substr(0, utf8.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const char* device : kDeviceNames) {
    if (base == device)
      return std::string(device) + " is a device name on Windows, with or without an extension";
  }
  return std::string();
}

std::u32string case_folded(const std::string& utf8) {
  std::u32string out = decode_utf8(utf8);
  for (char32_t& c : out) c = upper(c);
  return out;
}

bool find_case_collision(const std::vector<Entry>& entries, size_t* first, size_t* second) {
  std::map<std::u32string, size_t> seen;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::u32string key = case_folded(utf8_of(entries[i]));
    // "a" and "A/" name one place on disk too.
    if (!key.empty() && key.back() == U'/') key.pop_back();
    auto found = seen.emplace(key, i);
    if (!found.second) {
      *first = found.first->second;
      *second = i;
      return true;
    }
  }
  return false;
}

bool check_path_room(const std::vector<Entry>& entries, const KeyList& cp936_keys,
                     std::string* warning, std::string* error) {
  warning->clear();
  const Entry* longest = nullptr;
  for (const Entry& e : entries)
    if (!longest || e.name.size() > longest->name.size()) longest = &e;
  if (!longest) return true;
  std::string default_path = setting(cp936_keys, "DefaultPath");
  bool known = false;
  bool auto_extract = setting(cp936_keys, "AutoExtract") == "1";
  size_t destination = typical_destination_length(default_path, auto_extract, &known);
  // Destination, the backslash the stub appends, the name.
  size_t needed = destination + 1 + longest->name.size();
  if (needed <= kLongestPath) return true;
  size_t room =
      longest->name.size() + 1 < kLongestPath ? kLongestPath - 1 - longest->name.size() : 0;
  std::string shown = utf8_of(*longest);
  std::string destination_text;
  cp936_to_utf8(default_path, &destination_text);
  std::string message = "the longest entry path, " + shown + " (" +
                        std::to_string(longest->name.size()) + " bytes), leaves " +
                        std::to_string(room) + " bytes for the destination folder, ";
  if (known) {
    *error = message + "but DefaultPath " + destination_text + " takes " +
             std::to_string(destination) + "; the stub cannot write a path over " +
             std::to_string(kLongestPath) + " bytes";
    return false;
  }
  *warning = message + "and " +
             (default_path.empty() ? std::string("the default destination")
                                   : "DefaultPath " + destination_text) +
             " typically takes " + std::to_string(destination) +
             "; the stub cannot write a path over " + std::to_string(kLongestPath) + " bytes";
  return true;
}

}  // namespace vpack
