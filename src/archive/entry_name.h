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
