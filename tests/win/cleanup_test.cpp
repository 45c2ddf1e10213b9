#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "core/fatal.h"
#include "core/state.h"
#include "actions/cleanup.h"
#include "wizard/frame.h"
#include "gbk_text.h"

namespace {

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool make_file(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// Runs a program of the host system (Z:\\bin\\...) with the Unix forms of
// `paths` as its arguments, and waits until the last path exists or is gone
// as `last_exists` says: Wine keeps no junctions of its own but shows a
// symbolic link to a folder as one, and gives no handle to wait on.
bool run_on_host(const char* program, const char* options, std::vector<std::string> paths,
                 bool last_exists) {
  typedef char*(CDECL * UnixName)(const WCHAR*);
  UnixName unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::string command = std::string(program) + " " + options;
  for (const std::string& path : paths) {
    char* name = unix_name ? unix_name(std::wstring(path.begin(), path.end()).c_str()) : nullptr;
    if (!name) return false;
    command += std::string(" ") + name;
    HeapFree(GetProcessHeap(), 0, name);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
    if (exists(paths.back()) == last_exists) return true;
  }
  return false;
}

// Names that the extraction would have refused, given to the cleanup anyway:
// each would delete something outside target_dir, or at a path cut to fit.
TEST(Cleanup, DeletesNothingOutsideTargetDirNorAtACutPath) {
  char temp[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
  const std::string root = std::string(temp) + "vandrel-cleanup-test\\";
  const std::string out = root + "out\\";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA(out.c_str(), nullptr);
  CreateDirectoryA((out + "sub").c_str(), nullptr);
  // The name that fills a path exactly, and one longer whose cut it would be.
  const std::string fitting(MAX_PATH - 1 - out.size(), 'n');
  const std::string longer = fitting + "-longer";
  ASSERT_TRUE(make_file(out + fitting));
  ASSERT_TRUE(make_file(root + "outside.txt"));
  ASSERT_TRUE(make_file(out + "inside.txt"));
  // A junction that was in the destination before the extraction wrote
  // through it: what lies beyond it is never deleted.
  CreateDirectoryA((root + "elsewhere").c_str(), nullptr);
  ASSERT_TRUE(make_file(root + "elsewhere\\kept.txt"));
  ASSERT_TRUE(run_on_host("Z:\\bin\\ln", "-sfn", {root + "elsewhere", out + "link"}, true));
  ASSERT_TRUE(GetFileAttributesA((out + "link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  ASSERT_TRUE(exists(out + "link\\kept.txt"));

  lstrcpyW(g_state.target_dir, wide(out).c_str());
  const char* const names[] = {
      "link/",
      "link/kept.txt",
      "inside.txt",
      "..\\outside.txt",
      "../outside.txt",
      "sub/../../outside.txt",
      "sub\\..\\..\\outside.txt",
      "\\outside.txt",
      "/outside.txt",
      longer.c_str(),
  };
  std::string absolute = root + "outside.txt";
  item_list_push(&g_state.extracted_list, wide(absolute).c_str());
  for (const char* name : names) item_list_push(&g_state.extracted_list, wide(name).c_str());

  delete_extracted_entries();
  EXPECT_EQ(0, item_list_count(&g_state.extracted_list));
  EXPECT_FALSE(exists(out + "inside.txt"));
  EXPECT_TRUE(exists(root + "outside.txt"));
  EXPECT_TRUE(exists(out + fitting));
  EXPECT_TRUE(exists(root + "elsewhere\\kept.txt"));

  DeleteFileA((out + fitting).c_str());
  RemoveDirectoryA((out + "sub").c_str());
  run_on_host("Z:\\bin\\rm", "", {out + "link"}, false);
  RemoveDirectoryA(out.c_str());
  DeleteFileA((root + "outside.txt").c_str());
  DeleteFileA((root + "elsewhere\\kept.txt").c_str());
  RemoveDirectoryA((root + "elsewhere").c_str());
  RemoveDirectoryA(root.c_str());
  g_state.target_dir[0] = 0;
}

// Wizard mode: the worker's texts and progress are sent to windows of the
// main thread, so the end of the run must keep serving them until the worker
// ends the process. Run in a child process, which the worker ends; what the
// windows show at that moment is checked on the way out and given back as the
// exit code (1 when everything was as expected).
enum WizardFault {
  kFrameHidden = 1 << 2,
  kFrameTexts = 1 << 3,
  kPageTexts = 1 << 4,
  kProgress = 1 << 5,
  kFileLeft = 1 << 6,
  kHung = 1 << 7,
};

std::string g_wizard_file;

std::string control_text(HWND parent, int id) {
  char text[256] = "";
  GetDlgItemTextA(parent, id, text, sizeof text);
  return text;
}

void check_windows_on_exit() {
  int faults = 0;
  if (!IsWindowVisible(g_state.frame_window)) faults |= kFrameHidden;
  if (control_text(g_state.frame_window, 1015) != "文件清理" ||
      control_text(g_state.frame_window, 1017) != "删除临时文件") {
    faults |= kFrameTexts;
  }
  if (control_text(g_state.page_window, 1016) != "正在删除解压缩出来的文件。" ||
      control_text(g_state.page_window, 1018) != "正在删除 wizard.txt ...") {
    faults |= kPageTexts;
  }
  HWND bar = GetDlgItem(g_state.page_window, 1007);
  if (SendMessageA(bar, PBM_GETRANGE, FALSE, 0) != 1 || SendMessageA(bar, PBM_GETPOS, 0, 0) != 1) {
    faults |= kProgress;
  }
  if (GetFileAttributesA(g_wizard_file.c_str()) != INVALID_FILE_ATTRIBUTES) faults |= kFileLeft;
  if (faults) ExitProcess(faults);
}

DWORD WINAPI watchdog(void*) {
  Sleep(20000);
  ExitProcess(kHung);
}

HWND make_window(const char* cls, HWND parent, int id) {
  DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_POPUP;
  return CreateWindowExA(0, cls, "", style, 0, 0, 100, 20, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

[[noreturn]] void run_wizard_cleanup(const std::string& dir) {
  CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  g_state.frame_window = make_window("STATIC", nullptr, 0);
  make_window("STATIC", g_state.frame_window, 1015);
  make_window("STATIC", g_state.frame_window, 1017);
  g_state.page_window = make_window("STATIC", g_state.frame_window, 0);
  make_window("STATIC", g_state.page_window, 1016);
  make_window("STATIC", g_state.page_window, 1018);
  make_window(PROGRESS_CLASSA, g_state.page_window, 1007);

  lstrcpyW(g_state.target_dir, wide(dir).c_str());
  g_wizard_file = dir + "wizard.txt";
  make_file(g_wizard_file);
  item_list_push(&g_state.extracted_list, L"wizard.txt");
  report_on_progress_page();
  set_exit_hook(check_windows_on_exit);
  start_cleanup_worker();
  end_after_post_actions();
}

TEST(Cleanup, WizardKeepsServingTheWorkersMessagesUntilItEndsTheProcess) {
  char temp[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
  const std::string dir = std::string(temp) + "vandrel-cleanup-wizard\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  EXPECT_EXIT(run_wizard_cleanup(dir), ::testing::ExitedWithCode(1), "");
  // The worker removed target_dir too once it was empty.
  EXPECT_FALSE(exists(dir));
  RemoveDirectoryA(dir.c_str());
}

}  // namespace
