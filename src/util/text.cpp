#include "util/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

const char kSharedEmptyText[1] = "";

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

char* text_new(size_t size) {
  if (size == 0) size = 1;
  TextBlock* block = static_cast<TextBlock*>(calloc(1, sizeof(TextBlock) + size));
  if (block == nullptr) abort();
  block->size = size;
  while (g_texts_lock.test_and_set(std::memory_order_acquire)) {
  }
  block->previous = g_texts;
  g_texts = block;
  g_texts_lock.clear(std::memory_order_release);
  return reinterpret_cast<char*>(block + 1);
}

char* str_left(const char* text, int n) {
  if (n < 0) n = 0;
  char* result = text_new(static_cast<size_t>(n) + 1);
  int i = 0;
  while (i < n && text[i] != '\0') {
    result[i] = text[i];
    ++i;
  }
  result[i] = '\0';
  return result;
}

const char* str_right(const char* text, int n) {
  size_t length = strlen(text);
  if (n < 0) n = 0;
  if (static_cast<size_t>(n) >= length) return text;
  return text + (length - static_cast<size_t>(n));
}

char* str_mid(const char* text, int pos, int n) {
  // Never step past the terminator, whatever the position.
  for (int i = 1; i < pos && *text != '\0'; ++i) ++text;
  return str_left(text, n);
}

int is_gbk_lead_byte(unsigned char c) { return c >= 0x81 && c <= 0xFE ? 1 : 0; }

size_t gbk_char_width(const char* text) {
  return is_gbk_lead_byte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

// Matches start only at character boundaries: the trail byte of a
// double-byte character may be a backslash or a bar, which is no separator.
const char* str_search(const char* text, const char* needle) {
  if (needle[0] == '\0') return text;
  for (; *text != '\0'; text += gbk_char_width(text)) {
    size_t i = 0;
    while (needle[i] != '\0' && text[i] == needle[i]) ++i;
    if (needle[i] == '\0') return text;
  }
  return nullptr;
}

int str_find(int start, const char* text, const char* needle) {
  size_t length = strlen(text);
  size_t needle_length = strlen(needle);
  if (start < 0) start = 0;
  if (needle_length == 0 || static_cast<size_t>(start) > length) return 0;
  // Character boundaries are counted from the start of the text, whatever
  // byte the search starts at.
  size_t k = 0;
  while (k < static_cast<size_t>(start)) k += gbk_char_width(text + k);
  for (; k + needle_length <= length; k += gbk_char_width(text + k)) {
    if (memcmp(text + k, needle, needle_length) == 0) return static_cast<int>(k) + 1;
  }
  return 0;
}

int str_replace_first(char* text, const char* old_text, const char* new_text, int size) {
  if (strcmp(old_text, new_text) == 0) return 0;
  char* at = const_cast<char*>(str_search(text, old_text));
  if (at == nullptr) return 0;
  size_t length = strlen(text);
  size_t old_length = strlen(old_text);
  size_t new_length = strlen(new_text);
  if (size <= 0 || length + new_length - old_length >= static_cast<size_t>(size)) return 0;
  char* tail = at + old_length;
  memmove(at + new_length, tail, strlen(tail) + 1);
  memcpy(at, new_text, new_length);
  return 1;
}

int str_compare_nocase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    signed char ca = static_cast<signed char>(*a);
    signed char cb = static_cast<signed char>(*b);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<signed char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<signed char>(cb - 'a' + 'A');
    if (ca == 0) return cb == 0 ? 0 : -1;
    if (cb == 0) return 1;
    if (ca < cb) return -1;
    if (ca > cb) return 1;
  }
}

const char* str_field(const char* text, const char* separator, int index) {
  if (strlen(text) < static_cast<size_t>(index < 0 ? 0 : index)) return kSharedEmptyText;
  int a = 0;
  for (int i = 0; i < index; ++i) {
    a = str_find(a, text, separator);
    if (a == 0) return kSharedEmptyText;
  }
  // The closing separator is looked for one character into the field, so an
  // inner field is never empty.
  int b = str_find(a + 1, text, separator);
  if (b > 0) return str_mid(text, a + 1, b - a - 1);
  return kSharedEmptyText;
}

char* str_reverse(char* text) {
  if (text == nullptr || text[0] == '\0') return text;
  for (size_t i = 0, j = strlen(text) - 1; i < j; ++i, --j) {
    char c = text[i];
    text[i] = text[j];
    text[j] = c;
  }
  return text;
}

char* collapse_double_backslashes(char* path) {
  bool network = path[0] == '\\' && path[1] == '\\';
  while (str_find(0, path, "\\\\") != 0) {
    // Refused only for a path of 260 characters or more; stop rather than
    // loop for ever.
    if (!str_replace_first(path, "\\\\", "\\", kTextPathSize)) break;
  }
  // A network path keeps its leading pair (unless the loop stopped before
  // reaching it).
  if (network && path[1] != '\\') str_replace_first(path, "\\", "\\\\", kTextPathSize);
  return path;
}

void drop_split_character(char* text) {
  size_t i = 0;
  while (text[i] != '\0') {
    if (is_gbk_lead_byte(static_cast<unsigned char>(text[i])) && text[i + 1] == '\0') {
      text[i] = '\0';
      break;
    }
    i += gbk_char_width(text + i);
  }
}

int text_copy(char* dest, size_t size, const char* src) {
  if (size == 0) return 0;
  size_t length = strlen(src);
  if (length < size) {
    memcpy(dest, src, length + 1);
    return 1;
  }
  memcpy(dest, src, size - 1);
  dest[size - 1] = '\0';
  return 0;
}

int text_append(char* dest, size_t size, const char* src) {
  if (size == 0) return 0;
  size_t used = strnlen(dest, size);
  if (used == size) {
    dest[size - 1] = '\0';
    return 0;
  }
  return text_copy(dest + used, size - used, src);
}

int text_format(char* dest, size_t size, const char* format, ...) {
  if (size == 0) return 0;
  va_list args;
  va_start(args, format);
#ifdef _WIN32
  // The system runtime's formatter: the stub needs only %s and %d, and the
  // portable one would add some 17 KB to it.
  int n = _vsnprintf(dest, size, format, args);
#else
  int n = vsnprintf(dest, size, format, args);
#endif
  va_end(args);
  // Some C runtimes leave the buffer unterminated when they cut.
  dest[size - 1] = '\0';
  if (n < 0) return 0;
  return static_cast<size_t>(n) < size ? 1 : 0;
}
