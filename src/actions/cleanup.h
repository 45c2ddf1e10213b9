// Deletes what the extraction wrote, when the Delete setting asks for it.
#pragma once
#include <windows.h>

// Starts cleanup_worker on a thread of its own; at most once per process.
void start_cleanup_worker();
// True once start_cleanup_worker has started the worker.
bool cleanup_started();

// Thread routine; the parameter is not used. Deletes the entries of
// extracted_list newest first, then target_dir if it is empty, showing its
// progress on the wizard's page; never returns: it ends the process.
DWORD WINAPI cleanup_worker(void* parameter);

// The end of a run after run_post_actions and the folder request: without a
// cleanup, shutdown_and_exit at once. With one, the worker ends the process
// when it has finished; until then this thread waits (silent mode) or keeps
// serving the frame's and the page's messages, which the worker's texts and
// progress wait for (wizard mode).
[[noreturn]] void end_after_post_actions();

// Deletes the entries of extracted_list newest first, each joined to
// target_dir, reporting each on the progress page; leaves the list empty.
void delete_extracted_entries();
