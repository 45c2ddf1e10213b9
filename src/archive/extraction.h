// Writes every entry of the embedded archive below target_dir and reports
// progress to page 3 of the wizard (no window in silent mode).
#pragma once
#include <windows.h>
#include <unzip.h>

enum {
  kIdNext = 1003,
  kIdProgressBar = 1007,
  kIdStatusText = 1018,
};

// Thread routine; the argument is ignored. Returns only when every entry is
// written: every failure ends the process inside it.
DWORD WINAPI extraction_worker(LPVOID argument);

// Writes the archive's current entry below `directory`, which ends with a
// backslash. Returns 0; every failure ends the process.
int extract_current_entry(unzFile archive, const char* directory);

// Removes the file the worker is writing, if any, and stops it from writing
// more; for a quit in the middle of the extraction, just before the process
// ends. Complete entries stay.
void abandon_current_entry();
