// Checks on an archive entry's name as the archive stores it: code page 936
// bytes with "/" or "\" between components. Portable: no <windows.h>.
#pragma once

// The last component: what follows the last separator (the whole name when
// there is none). An empty last component makes the entry a directory entry.
// `has_separator` tells whether the name holds any separator at all.
const char* entry_last_component(const char* name, bool* has_separator);

// True for a name that would reach outside the destination: a leading
// separator, a drive (any colon), or a ".." component.
bool entry_name_escapes(const char* name);
