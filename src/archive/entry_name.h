// Checks on an archive entry's name with "/" or "\" between components: as
// the archive stores it (code page 936 bytes, for the builder) or as the stub
// writes it (UTF-16). Portable: no <windows.h>.
#pragma once

// The last component: what follows the last separator (the whole name when
// there is none). An empty last component makes the entry a directory entry.
// `has_separator` tells whether the name holds any separator at all.
template <typename Char>
const Char* entry_last_component(const Char* name, bool* has_separator);

// True for a name that would reach outside the destination: a leading
// separator, a drive (any colon), or a ".." component.
template <typename Char>
bool entry_name_escapes(const Char* name);

// An entry's stored name is UTF-8 when the entry flags it (general-purpose
// bit 11), else code page 936.
const unsigned kEntryNameUtf8Flag = 1u << 11;

enum EntryNameVerdict {
  kEntryNameSound,
  kEntryNameNotText,  // no text of its code page: the archive is damaged
  kEntryNameEscapes   // would reach outside the destination: refused
};

// Converts the NUL-terminated `stored` from UTF-8 (`utf8`) or code page 936
// into `out` (`size` characters), the NUL included. Returns the characters
// written; 0 when a byte sequence is no character of the code page (never
// a replacement character) or the text does not fit.
typedef int (*EntryNameDecoder)(bool utf8, const char* stored, wchar_t* out, int size);

// The one rule by which the extraction takes a stored name, and by which
// the builder's --verify says what the extraction will do: decoded whole in
// the code page its flag names, then judged on its characters.
EntryNameVerdict decode_entry_name(const char* stored, unsigned flag, EntryNameDecoder decode,
                                   wchar_t* out, int size);
