#include "actions/cleanup.h"

#include "core/fatal.h"
#include "core/progress_report.h"
#include "core/state.h"
#include "archive/entry_name.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

// A worker that makes no progress for this long (a deletion that hangs) no
// longer keeps the process alive: no wait is endless.
const DWORD kStallLimitMs = 60000;

volatile LONG g_started;
HANDLE g_thread;
// Counts the worker's steps, so that the waiting thread can tell a slow
// cleanup from a stalled one.
volatile LONG g_steps;

// Junctions and symbolic links name another place; other reparse points
// (files kept in the cloud until opened, deduplicated files) hold their own
// contents, which the extraction wrote and the cleanup deletes.
bool is_link(const wchar_t* path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // The search gives the reparse tag; a system that gives none is taken at
  // the safe side, as a link.
  const DWORD kNameSurrogate = 0x20000000;  // IsReparseTagNameSurrogate
  const DWORD tag = found.dwReserved0;
  return tag == 0 || (tag & kNameSurrogate) != 0;
}

// True when a folder of `path` below target_dir is a junction or a link:
// what lies beyond it is not the extraction's, and is never deleted.
bool lies_beyond_a_link(const wchar_t* path) {
  PathBuffer folder;
  text_copy(folder, kPathSize, path);
  // A directory entry's own final separator names no folder of its own.
  PathBuffer entry;
  path_parent(folder, entry, kPathSize);
  if (lstrlenW(entry) + 1 == lstrlenW(folder)) text_copy(folder, kPathSize, entry);
  const size_t top = lstrlenW(g_state.target_dir);
  for (;;) {
    PathBuffer parent;
    path_parent(folder, parent, kPathSize);
    if (static_cast<size_t>(lstrlenW(parent)) < top) return false;
    if (is_link(parent)) return true;
    text_copy(folder, kPathSize, parent);
  }
}

void delete_entry(const wchar_t* name) {
  // The extraction wrote only names that stay below target_dir and fit a
  // path; anything else in the list is left alone rather than deleted at a
  // cut or outside path.
  PathBuffer path;
  if (entry_name_escapes(name) ||
      !text_format(path, kPathSize, L"%ls%ls", g_state.target_dir, name)) {
    return;
  }
  if (progress_reported()) {
    wchar_t status[276];
    text_format(status, 276, L"正在删除 %ls ...", name);
    report_status(status);
  }
  for (wchar_t* c = path; *c; ++c) {
    if (*c == L'/') *c = L'\\';
  }
  if (lies_beyond_a_link(path)) return;
  // A directory goes only when it is empty by now; a file still in use stays.
  // A junction or a link goes as the link itself, whatever it leads to.
  if (is_directory(path)) RemoveDirectoryW(path);
  if (path_exists_unquoted(path)) DeleteFileW(path);
}

// The Exec step made target_dir the process's current directory, and a
// directory in use as one cannot be removed: move to its parent first.
void leave_target_dir() {
  PathBuffer directory;
  PathBuffer parent;
  path_parent(g_state.target_dir, directory, kPathSize);  // drops the final backslash
  path_parent(directory, parent, kPathSize);
  // A drive's root needs its backslash ("C:" alone names a directory on C:).
  if (text_append(parent, kPathSize, L"\\")) SetCurrentDirectoryW(parent);
}

}  // namespace

void start_cleanup_worker() {
  if (InterlockedExchange(&g_started, 1) != 0) return;
  g_thread = CreateThread(nullptr, 0, cleanup_worker, nullptr, 0, nullptr);
  if (!g_thread) g_started = 0;
}

bool cleanup_started() { return g_started != 0; }

void delete_extracted_entries() {
  const int total = item_list_count(&g_state.extracted_list);
  while (item_list_count(&g_state.extracted_list) != 0) {
    delete_entry(item_list_top(&g_state.extracted_list));
    item_list_pop(&g_state.extracted_list);
    InterlockedIncrement(&g_steps);
    report_position(static_cast<DWORD>(total - item_list_count(&g_state.extracted_list)));
  }
}

DWORD WINAPI cleanup_worker(void*) {
  const int total = item_list_count(&g_state.extracted_list);
  if (g_state.frame_window) ShowWindow(g_state.frame_window, SW_SHOW);
  report_headings(L"文件清理", L"删除临时文件", L"正在删除解压缩出来的文件。");
  report_status(L"正在清理...");
  report_range(static_cast<DWORD>(total));
  Sleep(500);
  InterlockedIncrement(&g_steps);
  delete_extracted_entries();
  leave_target_dir();
  RemoveDirectoryW(g_state.target_dir);
  InterlockedIncrement(&g_steps);
  Sleep(500);
  shutdown_and_exit();
}

void end_after_post_actions() {
  if (!cleanup_started()) shutdown_and_exit();
  LONG last_steps = -1;
  DWORD last_change = GetTickCount();
  for (;;) {
    DWORD woken = g_state.frame_window
                      ? MsgWaitForMultipleObjects(1, &g_thread, FALSE, 100, QS_ALLINPUT)
                      : WaitForSingleObject(g_thread, 100);
    // The worker ends the process itself; a thread that is gone without
    // doing so leaves nothing to wait for.
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) shutdown_and_exit();
    if (g_state.frame_window) serve_waiting_messages(g_state.frame_window);
    LONG steps = g_steps;
    if (steps != last_steps) {
      last_steps = steps;
      last_change = GetTickCount();
    } else if (GetTickCount() - last_change > kStallLimitMs) {
      shutdown_and_exit();
    }
  }
}
