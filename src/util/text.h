// Operations on NUL-terminated byte strings in code page 936. Several have
// exact quirks (1-based positions, a field splitter that never yields an empty
// inner field) that folder variables, directory creation and shortcut parsing
// rely on. Portable: no <windows.h>.
#pragma once
#include <stddef.h>

// The one shared empty text returned wherever a value is absent. Never written.
extern const char kSharedEmptyText[1];

// Every buffer the stub keeps for a path holds 260 bytes.
enum { kTextPathSize = 260 };

// Code page 936: a byte from 0x81 to 0xFE opens a double-byte character
// whose trail byte (0x40 to 0xFE) may be a backslash or a bar. Every scan for
// a separator steps over whole characters. The table is that of the system's
// code page 936.
int is_gbk_lead_byte(unsigned char c);
// 2 for a lead byte followed by a trail byte, else 1 (a lead byte at the end
// of a text stands alone).
size_t gbk_char_width(const char* text);

// New texts live until the process ends (they come from a process-long arena).
char* str_left(const char* text, int n);
const char* str_right(const char* text, int n);
char* str_mid(const char* text, int pos, int n);
const char* str_search(const char* text, const char* needle);
int str_find(int start, const char* text, const char* needle);
int str_replace_first(char* text, const char* old_text, const char* new_text, int size);
int str_compare_nocase(const char* a, const char* b);
const char* str_field(const char* text, const char* separator, int index);
char* str_reverse(char* text);
// Stops early, leaving doubled backslashes, if the path is 260 characters or
// longer and a shortening no longer fits a path buffer.
char* collapse_double_backslashes(char* path);

// A new zero-filled buffer of `size` bytes from the same arena; never freed.
// Ends the process when memory is exhausted.
char* text_new(size_t size);

// Drops a lead byte left at the end of `text` without its trail byte, as a
// cut by the helpers below may leave it: half a character shows as garbage.
void drop_split_character(char* text);

// Bounded helpers used instead of strcpy/strcat/sprintf: they never write past
// `size` bytes, always terminate, and return 0 when the text was cut.
int text_copy(char* dest, size_t size, const char* src);
int text_append(char* dest, size_t size, const char* src);
int text_format(char* dest, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
