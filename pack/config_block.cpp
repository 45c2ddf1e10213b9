#include "pack/config_block.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "core/config_limits.h"
#include "pack/codepage.h"
#include "pack/path_settings.h"
#include "pack/spelling.h"

namespace vpack {
namespace {

enum class Kind {
  kText,
  kPath,          // '$' and '%' are the stub's variable delimiters
  kTextSwitch,    // on only when the text is "1"
  kNumberSwitch,  // on when its leading digits are not 0
};

struct KnownKey {
  const char* name;
  size_t longest;  // bytes kept by the stub; 0: an integer
  Kind kind;
};

// Canonical order of the block; shortcut keys follow Delete.
const KnownKey kKnownKeys[] = {
    {"Name", kNameBufferSize - 1, Kind::kText},
    {"Intro", kIntroBufferSize - 1, Kind::kText},
    {"URL", kUrlBufferSize - 1, Kind::kText},
    {"Exec", kExecBufferSize - 1, Kind::kPath},
    {"DefaultPath", kPathBufferSize - 1, Kind::kPath},
    {"AutoExtract", kSwitchBufferSize - 1, Kind::kTextSwitch},
    {"OpenFolder", kSwitchBufferSize - 1, Kind::kTextSwitch},
    {"NoGUI", 0, Kind::kNumberSwitch},
    {"Delete", 0, Kind::kNumberSwitch},
};
const size_t kShortcutLongest = kShortcutBufferSize - 1;

bool equal_nocase(const std::string& a, const char* b) {
  size_t n = strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

const KnownKey* find_known(const std::string& key) {
  for (const KnownKey& k : kKnownKeys)
    if (equal_nocase(key, k.name)) return &k;
  return nullptr;
}

// Shortcut number of a "ShortcutN" key as the stub formats it ("%d"), or -1.
long shortcut_number(const std::string& key) {
  const size_t prefix = 8;  // "Shortcut"
  if (key.size() <= prefix || !equal_nocase(key.substr(0, prefix), "Shortcut")) return -1;
  std::string digits = key.substr(prefix);
  if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  if (digits.size() > 1 && digits[0] == '0') return -1;
  return std::stol(digits);
}

bool is_shortcut_like(const std::string& key) {
  return key.size() > 8 && equal_nocase(key.substr(0, 8), "Shortcut");
}

bool valid_key_name(const std::string& key) {
  if (key.empty()) return false;
  for (char c : key) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_';
    if (!ok) return false;
  }
  return true;
}

// The first UTF-8 character of `utf8` that code page 936 cannot hold; empty
// when the text is not UTF-8 at all.
std::string first_unconvertible(const std::string& utf8) {
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if ((c >= 0x80 && c < 0xC2) || c > 0xF4) return std::string();
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + len > utf8.size()) return std::string();
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) return std::string();
    std::string ch = utf8.substr(i, len);
    std::string ignored;
    if (!utf8_to_cp936(ch, &ignored)) return ch;
    i += len;
  }
  return std::string();
}

// Offsets of the second bytes of the double-byte characters in a code page
// 936 text: they may equal ASCII bytes such as '\' and '|'.
std::vector<size_t> trail_bytes(const std::string& cp936) {
  std::vector<size_t> trails;
  for (size_t i = 0; i < cp936.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(cp936[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < cp936.size()) {
      trails.push_back(i + 1);
      ++i;
    }
  }
  return trails;
}

bool check_value_text(const std::string& key, const std::string& value, std::string* error) {
  if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    *error = key + ": the value holds a line break or a zero byte";
    return false;
  }
  if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                         value.back() == '\t')) {
    *error = key + ": the value starts or ends with a blank, which the stub drops";
    return false;
  }
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    *error = key + ": the value is enclosed in double quotes, which the stub drops";
    return false;
  }
  return true;
}

std::string unknown_key_message(const std::string& key) {
  std::vector<std::string> names;
  for (const KnownKey& k : kKnownKeys) names.push_back(k.name);
  names.push_back("Shortcut0");
  std::string meant = nearest_name(key, names);
  if (!meant.empty()) return key + ": unknown key; did you mean " + meant + "?";
  return key + ": unknown key; the stub reads only Name, Intro, URL, Exec, DefaultPath, "
         "AutoExtract, OpenFolder, NoGUI, Delete and Shortcut0, Shortcut1, ...";
}

// A switch is written 1 (on) or 0 (off): the stub reads the two kinds
// differently ("01" is off for OpenFolder, "2" is on for NoGUI).
bool check_switch(const std::string& key, Kind kind, const std::string& value,
                  std::string* error) {
  if (value == "0" || value == "1") return true;
  // A text switch is on only for "1", which this value is not.
  bool on = false;
  if (kind == Kind::kNumberSwitch) {
    for (size_t i = 0; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
      if (value[i] != '0') on = true;
  }
  *error = key + ": '" + value + "' is neither 1 (on) nor 0 (off); the stub would read it as " +
           (on ? "on" : "off");
  return false;
}

// The welcome text cannot hold a backslash followed by n: the stub shows
// every such pair as a line break.
bool check_intro_escapes(const std::string& value, std::string* error) {
  size_t at = value.find("\\n");
  if (at == std::string::npos) return true;
  size_t character = 1;
  for (size_t i = 0; i < at; ++i)
    if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80) ++character;
  *error = "Intro: the backslash and 'n' at character " + std::to_string(character) +
           " would show as a line break; write line breaks as real ones (a new line in --intro "
           "or in the file of --intro-file), as the welcome text cannot hold a literal \\n";
  return false;
}

std::string intro_line_breaks(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    if (value[i] == '\n' || value[i] == '\r') {
      out += "\\n";
    } else {
      out += value[i];
    }
  }
  return out;
}

bool check_shortcut(const std::string& key, const std::string& utf8, const std::string& cp936,
                    std::string* error, std::vector<std::string>* warnings) {
  size_t first = utf8.find('|');
  size_t second = first == std::string::npos ? first : utf8.find('|', first + 1);
  if (second == std::string::npos) {
    *error = key + ": a shortcut is LINK|TARGET| with both bars";
    return false;
  }
  if (first == 0 || second == first + 1) {
    *error = key + ": the link or the target of the shortcut is empty";
    return false;
  }
  if (!check_path_setting(key + " link", utf8.substr(0, first), false, error, warnings) ||
      !check_path_setting(key + " target", utf8.substr(first + 1, second - first - 1), false,
                          error, warnings))
    return false;
  // Each field is expanded in a path buffer of the stub.
  const size_t kLongestField = kPathBufferSize - 1;
  // The stub splits at bars between characters: a trail byte 0x7C (億) is
  // part of its character.
  std::vector<size_t> bars;
  std::vector<size_t> trails = trail_bytes(cp936);
  for (size_t i = 0, t = 0; i < cp936.size() && bars.size() < 2; ++i) {
    while (t < trails.size() && trails[t] < i) ++t;
    if (cp936[i] == '|' && !(t < trails.size() && trails[t] == i)) bars.push_back(i);
  }
  size_t link_end = bars[0];
  size_t target_length = bars[1] - link_end - 1;
  if (link_end > kLongestField || target_length > kLongestField) {
    *error = key + ": the " + (link_end > kLongestField ? "link" : "target") + " is " +
             std::to_string(link_end > kLongestField ? link_end : target_length) +
             " bytes in code page 936; the stub's paths hold at most " +
             std::to_string(kLongestField);
    return false;
  }
  return true;
}

}  // namespace

std::string build_config_block(const KeyList& keys) {
  std::string block = "[QV]\n";
  for (const auto& kv : keys) block += kv.first + "=" + kv.second + "\n";
  return block;
}

KeyList with_zip_size(const KeyList& keys, uint64_t zip_size) {
  KeyList out;
  out.emplace_back("ZipSize", std::to_string(zip_size));
  for (const auto& kv : keys)
    if (!equal_nocase(kv.first, "ZipSize")) out.push_back(kv);
  return out;
}

std::string build_config_block_for(const KeyList& keys, const std::string& zip) {
  return build_config_block(with_zip_size(keys, zip.size()));
}

size_t longest_value(const std::string& key) {
  if (const KnownKey* k = find_known(key)) return k->longest;
  if (shortcut_number(key) >= 0) return kShortcutLongest;
  return 0;
}

bool check_key_name(const std::string& key, std::string* error) {
  if (!valid_key_name(key)) {
    *error = "key '" + key + "': only letters, digits and '_' make a key name";
    return false;
  }
  if (equal_nocase(key, "ZipSize")) {
    *error = "ZipSize: the builder writes this key itself";
    return false;
  }
  if (find_known(key) || shortcut_number(key) >= 0) return true;
  if (is_shortcut_like(key)) {
    *error = key + ": the stub reads shortcut keys only as Shortcut0, Shortcut1, ...";
    return false;
  }
  *error = unknown_key_message(key);
  return false;
}

bool prepare_keys(const KeyList& utf8_keys, KeyList* cp936_keys, std::string* error,
                  const std::vector<std::string>& places, std::vector<std::string>* warnings) {
  struct Prepared {
    int rank;      // canonical position; shortcuts and others after the known keys
    long number;   // shortcut number
    size_t given;  // position in the input
    std::string key, value;
  };
  std::vector<Prepared> prepared;
  std::vector<std::string> seen;
  std::vector<std::string> found;  // this key's warnings
  for (size_t i = 0; i < utf8_keys.size(); ++i) {
    std::string key = utf8_keys[i].first;
    std::string value = utf8_keys[i].second;
    auto refuse = [&]() {
      if (i < places.size()) error->insert(0, places[i]);
      return false;
    };
    if (!check_key_name(key, error)) return refuse();
    if (std::find(seen.begin(), seen.end(), lower(key)) != seen.end()) {
      *error = key + ": the key is given twice";
      return refuse();
    }
    seen.push_back(lower(key));

    const KnownKey* known = find_known(key);
    long number = shortcut_number(key);
    if (known) key = known->name;
    if (number >= 0) key = "Shortcut" + std::to_string(number);
    if (key == "Intro") {
      if (!check_intro_escapes(value, error)) return refuse();
      value = intro_line_breaks(value);
    }
    if (!check_value_text(key, value, error)) return refuse();
    if (known && (known->kind == Kind::kTextSwitch || known->kind == Kind::kNumberSwitch) &&
        !check_switch(key, known->kind, value, error))
      return refuse();
    if (known && known->kind == Kind::kPath &&
        !check_path_setting(key, value, key == "DefaultPath", error, &found))
      return refuse();

    std::string converted;
    if (!utf8_to_cp936(value, &converted)) {
      std::string bad = first_unconvertible(value);
      *error = key + ": the character '" + bad + "' has no form in code page 936";
      if (bad.empty()) *error = key + ": the value is not valid UTF-8";
      return refuse();
    }
    size_t longest = longest_value(key);
    if (longest > 0 && converted.size() > longest) {
      *error = key + ": the value is " + std::to_string(converted.size()) +
               " bytes in code page 936; the stub keeps at most " + std::to_string(longest);
      return refuse();
    }
    if (number >= 0 && !check_shortcut(key, value, converted, error, &found)) return refuse();
    for (std::string& warning : found)
      if (warnings) warnings->push_back((i < places.size() ? places[i] : "") + warning);
    found.clear();
    int rank = static_cast<int>(sizeof kKnownKeys / sizeof kKnownKeys[0]) + 1;
    if (known) rank = static_cast<int>(known - kKnownKeys);
    if (number >= 0) rank -= 1;
    prepared.push_back(Prepared{rank, number, i, key, converted});
  }

  std::vector<long> numbers;
  for (const Prepared& p : prepared)
    if (p.number >= 0) numbers.push_back(p.number);
  std::sort(numbers.begin(), numbers.end());
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i] != static_cast<long>(i)) {
      *error = "Shortcut" + std::to_string(numbers[i]) + ": Shortcut" + std::to_string(i) +
               " is missing, and the stub stops reading at the first missing number";
      for (const Prepared& p : prepared)
        if (p.number == numbers[i] && p.given < places.size()) error->insert(0, places[p.given]);
      return false;
    }
  }

  std::stable_sort(prepared.begin(), prepared.end(), [](const Prepared& a, const Prepared& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.number != b.number) return a.number < b.number;
    return a.given < b.given;
  });
  cp936_keys->clear();
  for (const Prepared& p : prepared) cp936_keys->emplace_back(p.key, p.value);
  return true;
}

bool parse_ini_text(const std::string& text, const std::string& source, KeyList* keys,
                    std::string* error, std::vector<std::string>* places) {
  keys->clear();
  if (places) places->clear();
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  size_t line_number = 0;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    start = end + 1;
    ++line_number;
    std::string where = source + ":" + std::to_string(line_number) + ": ";
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    size_t last = line.find_last_not_of(" \t\r");
    line = line.substr(first, last - first + 1);
    if (line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (!equal_nocase(line, "[QV]")) {
        *error = where + "only the [QV] section is read, not " + line;
        return false;
      }
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *error = where + "a line must be Key=Value";
      return false;
    }
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    key.erase(key.find_last_not_of(" \t") + 1);
    size_t v = value.find_first_not_of(" \t");
    value = v == std::string::npos ? std::string() : value.substr(v);
    if (!check_key_name(key, error)) {
      *error = where + *error;
      return false;
    }
    for (const auto& kv : *keys) {
      if (lower(kv.first) == lower(key)) {
        *error = where + key + " is given twice";
        return false;
      }
    }
    keys->emplace_back(key, value);
    if (places) places->push_back(where);
  }
  return true;
}

KeyList merge_keys(const KeyList& base, const KeyList& overrides,
                   const std::vector<std::string>& base_places, std::vector<std::string>* places) {
  bool overrides_shortcuts = false;
  for (const auto& kv : overrides)
    if (is_shortcut_like(kv.first)) overrides_shortcuts = true;
  KeyList out;
  std::vector<std::string> out_places;
  for (size_t i = 0; i < base.size(); ++i) {
    if (overrides_shortcuts && is_shortcut_like(base[i].first)) continue;
    out.push_back(base[i]);
    out_places.push_back(i < base_places.size() ? base_places[i] : std::string());
  }
  for (const auto& kv : overrides) {
    bool replaced = false;
    for (size_t i = 0; i < out.size(); ++i) {
      if (lower(out[i].first) == lower(kv.first)) {
        out[i].second = kv.second;
        out_places[i].clear();
        replaced = true;
      }
    }
    if (!replaced) {
      out.push_back(kv);
      out_places.emplace_back();
    }
  }
  if (places) *places = out_places;
  return out;
}

KeyList parse_config_block(const std::string& block) {
  KeyList keys;
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find('\n', start);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (line.empty() || line[0] == '[' || eq == std::string::npos) continue;
    keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return keys;
}

bool block_zip_size(const KeyList& keys, uint64_t* value) {
  for (const auto& kv : keys) {
    std::string key = kv.first;
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    if (key != "zipsize") continue;
    uint64_t v = 0;
    size_t i = kv.second.find_first_not_of(" \t");
    while (i < kv.second.size() && kv.second[i] >= '0' && kv.second[i] <= '9' &&
           v < 0xFFFFFFFFull) {
      v = v * 10 + static_cast<uint64_t>(kv.second[i] - '0');
      ++i;
    }
    *value = v;
    return true;
  }
  return false;
}

}  // namespace vpack
