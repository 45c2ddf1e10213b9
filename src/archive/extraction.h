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

// Posted to the wizard's frame when the extraction failed on its own
// thread; the frame answers with end_failed_extraction.
const UINT kExtractionFailed = WM_APP;

// Thread routine; the argument is ignored. Returns only when every entry is
// written. A failure ends the worker thread and is handed to the frame; in
// silent mode, where the routine runs on the main thread, it ends the
// process at once.
DWORD WINAPI extraction_worker(LPVOID argument);
// Removes what a failed writer left cut short, shows the failure's box and
// ends the process; on the frame's thread in the wizard.
[[noreturn]] void end_failed_extraction();
// For a quit in the middle of the extraction: removes the file being
// written and lets nothing more be written before the process ends.
void abandon_extraction();
