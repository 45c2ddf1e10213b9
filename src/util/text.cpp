#include "util/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <atomic>

const wchar_t kSharedEmptyText[1] = L"";

namespace {

// Texts are never released. Each one is its own zero-filled block that starts
// with a link to the previous block, so every block stays reachable from
// `g_texts` for the whole process (and a sanitizer still sees each text's
// bounds).
struct TextBlock {
  TextBlock* previous;
  size_t size;
};

TextBlock* g_texts = nullptr;
// The extraction and cleanup workers also make texts.
std::atomic_flag g_texts_lock = ATOMIC_FLAG_INIT;

}  // namespace

int is_gbk_lead_byte(unsigned char c) { return c >= 0x81 && c <= 0xFE ? 1 : 0; }

size_t gbk_char_width(const char* text) {
  return is_gbk_lead_byte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

wchar_t* text_new(size_t count) {
  size_t size = (count == 0 ? 1 : count) * sizeof(wchar_t);
  TextBlock* block = static_cast<TextBlock*>(calloc(1, sizeof(TextBlock) + size));
  if (block == nullptr) abort();
  block->size = size;
  while (g_texts_lock.test_and_set(std::memory_order_acquire)) {
  }
  block->previous = g_texts;
  g_texts = block;
  g_texts_lock.clear(std::memory_order_release);
  return reinterpret_cast<wchar_t*>(block + 1);
}

wchar_t* str_left(const wchar_t* text, int n) {
  if (n < 0) n = 0;
  wchar_t* result = text_new(static_cast<size_t>(n) + 1);
  int i = 0;
  while (i < n && text[i] != L'\0') {
    result[i] = text[i];
    ++i;
  }
  result[i] = L'\0';
  return result;
}

const wchar_t* str_right(const wchar_t* text, int n) {
  size_t length = wcslen(text);
  if (n < 0) n = 0;
  if (static_cast<size_t>(n) >= length) return text;
  return text + (length - static_cast<size_t>(n));
}

wchar_t* str_mid(const wchar_t* text, int pos, int n) {
  // Never step past the terminator, whatever the position.
  for (int i = 1; i < pos && *text != L'\0'; ++i) ++text;
  return str_left(text, n);
}

const wchar_t* str_search(const wchar_t* text, const wchar_t* needle) {
  if (needle[0] == L'\0') return text;
  for (; *text != L'\0'; ++text) {
    size_t i = 0;
    while (needle[i] != L'\0' && text[i] == needle[i]) ++i;
    if (needle[i] == L'\0') return text;
  }
  return nullptr;
}

int str_find(int start, const wchar_t* text, const wchar_t* needle) {
  size_t length = wcslen(text);
  size_t needle_length = wcslen(needle);
  if (start < 0) start = 0;
  if (needle_length == 0 || static_cast<size_t>(start) > length) return 0;
  for (size_t k = static_cast<size_t>(start); k + needle_length <= length; ++k) {
    if (wmemcmp(text + k, needle, needle_length) == 0) return static_cast<int>(k) + 1;
  }
  return 0;
}

int str_replace_first(wchar_t* text, const wchar_t* old_text, const wchar_t* new_text, int size) {
  if (wcscmp(old_text, new_text) == 0) return 0;
  wchar_t* at = const_cast<wchar_t*>(str_search(text, old_text));
  if (at == nullptr) return 0;
  size_t length = wcslen(text);
  size_t old_length = wcslen(old_text);
  size_t new_length = wcslen(new_text);
  if (size <= 0 || length + new_length - old_length >= static_cast<size_t>(size)) return 0;
  wchar_t* tail = at + old_length;
  wmemmove(at + new_length, tail, wcslen(tail) + 1);
  wmemcpy(at, new_text, new_length);
  return 1;
}

int str_compare_nocase(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    // Only ASCII letters fold: the texts compared are names and switches.
    unsigned ca = static_cast<unsigned>(*a);
    unsigned cb = static_cast<unsigned>(*b);
    if (ca >= 'a' && ca <= 'z') ca = ca - 'a' + 'A';
    if (cb >= 'a' && cb <= 'z') cb = cb - 'a' + 'A';
    if (ca == 0) return cb == 0 ? 0 : -1;
    if (cb == 0) return 1;
    if (ca < cb) return -1;
    if (ca > cb) return 1;
  }
}

namespace {

// Where field `index` of `text` starts (0-based) and how long it is; false
// when there is no such field.
bool field_bounds(const wchar_t* text, const wchar_t* separator, int index, size_t* start,
                  size_t* length) {
  if (wcslen(text) < static_cast<size_t>(index < 0 ? 0 : index)) return false;
  int a = 0;
  for (int i = 0; i < index; ++i) {
    a = str_find(a, text, separator);
    if (a == 0) return false;
  }
  // The closing separator is looked for one character into the field, so an
  // inner field is never empty.
  int b = str_find(a + 1, text, separator);
  if (b <= 0) return false;
  // As str_mid takes it: never past the terminator.
  size_t first = static_cast<size_t>(a);
  size_t text_length = wcslen(text);
  if (first > text_length) first = text_length;
  size_t count = static_cast<size_t>(b - a - 1);
  if (count > text_length - first) count = text_length - first;
  *start = first;
  *length = count;
  return true;
}

}  // namespace

const wchar_t* str_field(const wchar_t* text, const wchar_t* separator, int index) {
  size_t start = 0;
  size_t length = 0;
  if (!field_bounds(text, separator, index, &start, &length)) return kSharedEmptyText;
  return str_left(text + start, static_cast<int>(length));
}

int str_field_copy(const wchar_t* text, const wchar_t* separator, int index, wchar_t* out,
                   size_t size) {
  if (size == 0) return 0;
  out[0] = L'\0';
  size_t start = 0;
  size_t length = 0;
  if (!field_bounds(text, separator, index, &start, &length)) return 1;
  if (length >= size) return 0;
  wmemcpy(out, text + start, length);
  out[length] = L'\0';
  return 1;
}

wchar_t* collapse_double_backslashes(wchar_t* path) {
  bool network = path[0] == L'\\' && path[1] == L'\\';
  while (str_find(0, path, L"\\\\") != 0) {
    // Refused only for a path of 260 characters or more; stop rather than
    // loop for ever.
    if (!str_replace_first(path, L"\\\\", L"\\", kTextPathSize)) break;
  }
  // A network path keeps its leading pair (unless the loop stopped before
  // reaching it).
  if (network && path[1] != L'\\') str_replace_first(path, L"\\", L"\\\\", kTextPathSize);
  return path;
}

void drop_split_character(wchar_t* text) {
  size_t length = wcslen(text);
  if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
    text[length - 1] = L'\0';
  }
}

int text_copy(wchar_t* dest, size_t size, const wchar_t* src) {
  if (size == 0) return 0;
  size_t length = wcslen(src);
  if (length < size) {
    wmemcpy(dest, src, length + 1);
    return 1;
  }
  wmemcpy(dest, src, size - 1);
  dest[size - 1] = L'\0';
  return 0;
}

int text_append(wchar_t* dest, size_t size, const wchar_t* src) {
  if (size == 0) return 0;
  size_t used = wcsnlen(dest, size);
  if (used == size) {
    dest[size - 1] = L'\0';
    return 0;
  }
  return text_copy(dest + used, size - used, src);
}

int text_format(wchar_t* dest, size_t size, const wchar_t* format, ...) {
  if (size == 0) return 0;
  va_list args;
  va_start(args, format);
#ifdef _WIN32
  // The system runtime's formatter: the stub needs only %ls and %d, and the
  // portable one would add some 17 KB to it.
  int n = _vsnwprintf(dest, size, format, args);
#else
  int n = vswprintf(dest, size, format, args);
#endif
  va_end(args);
  // Some C runtimes leave the buffer unterminated when they cut.
  dest[size - 1] = L'\0';
  if (n < 0) return 0;
  return static_cast<size_t>(n) < size ? 1 : 0;
}
