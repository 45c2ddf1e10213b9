#include "archive/entry_name.h"

#include <stddef.h>

#include "util/text.h"

namespace {

template <typename Char>
bool is_separator(Char c) {
  return c == '/' || c == '\\';
}

// In code page 936 the scans step over double-byte characters: a trail byte
// 0x5C is part of a character such as 奬, not a separator.
size_t char_width(const char* c) { return gbk_char_width(c); }
size_t char_width(const wchar_t*) { return 1; }

}  // namespace

template <typename Char>
const Char* entry_last_component(const Char* name, bool* has_separator) {
  const Char* last_component = name;
  *has_separator = false;
  for (const Char* c = name; *c != 0; c += char_width(c)) {
    if (is_separator(*c)) {
      last_component = c + 1;
      *has_separator = true;
    }
  }
  return last_component;
}

template <typename Char>
bool entry_name_escapes(const Char* name) {
  if (is_separator(name[0])) return true;
  const Char* component = name;
  for (const Char* c = name;; c += char_width(c)) {
    if (*c == ':') return true;
    if (*c == 0 || is_separator(*c)) {
      if (c - component == 2 && component[0] == '.' && component[1] == '.') return true;
      if (*c == 0) return false;
      component = c + 1;
    }
  }
}

template const char* entry_last_component(const char*, bool*);
template const wchar_t* entry_last_component(const wchar_t*, bool*);
template bool entry_name_escapes(const char*);
template bool entry_name_escapes(const wchar_t*);

EntryNameVerdict decode_entry_name(const char* stored, unsigned flag, EntryNameDecoder decode,
                                   wchar_t* out, int size) {
  if (decode((flag & kEntryNameUtf8Flag) != 0, stored, out, size) == 0) return kEntryNameNotText;
  return entry_name_escapes(out) ? kEntryNameEscapes : kEntryNameSound;
}
