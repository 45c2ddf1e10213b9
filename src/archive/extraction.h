// Writes every entry of the embedded archive below target_dir and reports
// its progress (to the wizard's progress page; to nobody in silent mode).
#pragma once
#include <windows.h>
#include <unzip.h>

// Thread routine; the argument is ignored. Returns only when every entry is
// written, and reports it. A failure ends the worker thread and is handed
// over through the progress report (the wizard answers with
// end_failed_extraction); in silent mode, where the routine runs on the
// main thread, it ends the process at once.
DWORD WINAPI extraction_worker(LPVOID argument);
// Removes what a failed writer left cut short, shows the failure's box and
// ends the process; on the frame's thread in the wizard.
[[noreturn]] void end_failed_extraction();
// For a quit in the middle of the extraction: removes the file being
// written and lets nothing more be written before the process ends.
void abandon_extraction();
