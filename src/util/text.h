// Operations on NUL-terminated UTF-16 texts: every path and every text the
// stub shows. Several have exact quirks (1-based positions, a field splitter
// that never yields an empty inner field) that folder variables, directory
// creation and shortcut parsing rely on. Portable: no <windows.h> (wchar_t is
// wider off Windows, which the operations do not mind).
#pragma once
#include <stddef.h>

// The one shared empty text returned wherever a value is absent. Never written.
extern const wchar_t kSharedEmptyText[1];

// Every buffer the stub keeps for a path holds 260 characters.
enum { kTextPathSize = 260 };

// Code page 936: a byte from 0x81 to 0xFE opens a double-byte character
// whose trail byte (0x40 to 0xFE) may be a backslash or a bar. The archive's
// own names are checked in these bytes as well as in UTF-16.
int is_gbk_lead_byte(unsigned char c);
// 2 for a lead byte followed by a trail byte, else 1 (a lead byte at the end
// of a text stands alone).
size_t gbk_char_width(const char* text);

// New texts live until the process ends (they come from a process-long arena).
wchar_t* str_left(const wchar_t* text, int n);
const wchar_t* str_right(const wchar_t* text, int n);
wchar_t* str_mid(const wchar_t* text, int pos, int n);
const wchar_t* str_search(const wchar_t* text, const wchar_t* needle);
int str_find(int start, const wchar_t* text, const wchar_t* needle);
int str_replace_first(wchar_t* text, const wchar_t* old_text, const wchar_t* new_text, int size);
int str_compare_nocase(const wchar_t* a, const wchar_t* b);
const wchar_t* str_field(const wchar_t* text, const wchar_t* separator, int index);
// The same field into `out` (`size` characters) instead of a new text, for
// loops that must not grow memory with their input; empty when there is no
// such field, 0 when the field does not fit.
int str_field_copy(const wchar_t* text, const wchar_t* separator, int index, wchar_t* out,
                   size_t size);
// Stops early, leaving doubled backslashes, if the path is 260 characters or
// longer and a shortening no longer fits a path buffer.
wchar_t* collapse_double_backslashes(wchar_t* path);

// A new zero-filled buffer of `count` characters from the same arena; never
// freed. Ends the process when memory is exhausted.
wchar_t* text_new(size_t count);

// Drops a high surrogate left at the end of `text` without its low half, as
// a cut by the helpers below may leave it: half a character shows as garbage.
void drop_split_character(wchar_t* text);

// Bounded helpers used instead of strcpy/strcat/sprintf: they never write past
// `size` characters, always terminate, and return 0 when the text was cut.
// The format takes %ls for texts and %d for numbers, on every system.
int text_copy(wchar_t* dest, size_t size, const wchar_t* src);
int text_append(wchar_t* dest, size_t size, const wchar_t* src);
int text_format(wchar_t* dest, size_t size, const wchar_t* format, ...);
