#include "actions/cleanup.h"

#include <commctrl.h>

#include "core/fatal.h"
#include "core/state.h"
#include "archive/extraction.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

enum {
  kIdTitle = 1015,
  kIdPageText = 1016,
  kIdSubtitle = 1017,
};

volatile LONG g_started;

// Silent mode has no windows: the calls are not made at all.
void set_frame_text(int id, const char* text) {
  if (g_state.frame_window) SetDlgItemTextA(g_state.frame_window, id, text);
}

void set_page_text(int id, const char* text) {
  if (g_state.page_window) SetDlgItemTextA(g_state.page_window, id, text);
}

void send_progress(UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_state.page_window) {
    SendMessageA(GetDlgItem(g_state.page_window, kIdProgressBar), message, wparam, lparam);
  }
}

void delete_entry(const char* name) {
  PathBuffer path;
  text_format(path, sizeof path, "%s%s", g_state.target_dir, name);
  char status[276];
  text_format(status, sizeof status, "正在删除 %s ...", name);
  set_page_text(kIdStatusText, status);
  for (char* c = path; *c; ++c) {
    if (*c == '/') *c = '\\';
  }
  // A directory goes only when it is empty by now; a file still in use stays.
  if (is_directory(path)) RemoveDirectoryA(path);
  if (path_exists_unquoted(path)) DeleteFileA(path);
}

}  // namespace

void start_cleanup_worker() {
  if (InterlockedExchange(&g_started, 1) != 0) return;
  HANDLE thread = CreateThread(nullptr, 0, cleanup_worker, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

bool cleanup_started() { return g_started != 0; }

void delete_extracted_entries() {
  const int total = item_list_count(&g_state.extracted_list);
  while (item_list_count(&g_state.extracted_list) != 0) {
    delete_entry(item_list_top(&g_state.extracted_list));
    item_list_pop(&g_state.extracted_list);
    send_progress(PBM_SETPOS, total - item_list_count(&g_state.extracted_list), 0);
  }
}

DWORD WINAPI cleanup_worker(void*) {
  const int total = item_list_count(&g_state.extracted_list);
  if (g_state.frame_window) ShowWindow(g_state.frame_window, SW_SHOW);
  set_frame_text(kIdTitle, "文件清理");
  set_frame_text(kIdSubtitle, "删除临时文件");
  set_page_text(kIdStatusText, "正在清理...");
  send_progress(PBM_SETRANGE, 0, static_cast<LPARAM>(total) << 16);
  set_page_text(kIdPageText, "正在删除解压缩出来的文件。");
  Sleep(500);
  delete_extracted_entries();
  RemoveDirectoryA(g_state.target_dir);
  Sleep(500);
  shutdown_and_exit();
}
