#include "archive/entry_name.h"

#include "util/text.h"

static bool is_separator(char c) { return c == '/' || c == '\\'; }

// Both scans step over double-byte characters: a trail byte 0x5C is part of
// a character such as 奬, not a separator.
const char* entry_last_component(const char* name, bool* has_separator) {
  const char* last_component = name;
  *has_separator = false;
  for (const char* c = name; *c != '\0'; c += gbk_char_width(c)) {
    if (is_separator(*c)) {
      last_component = c + 1;
      *has_separator = true;
    }
  }
  return last_component;
}

bool entry_name_escapes(const char* name) {
  if (is_separator(name[0])) return true;
  const char* component = name;
  for (const char* c = name;; c += gbk_char_width(c)) {
    if (*c == ':') return true;
    if (*c == '\0' || is_separator(*c)) {
      if (c - component == 2 && component[0] == '.' && component[1] == '.') return true;
      if (*c == '\0') return false;
      component = c + 1;
    }
  }
}
