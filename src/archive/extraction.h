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
