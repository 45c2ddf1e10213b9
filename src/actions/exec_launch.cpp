#include "actions/exec_launch.h"

#include <windows.h>
#include <shellapi.h>

#include "core/state.h"
#include "core/system_dlls.h"
#include "actions/cleanup.h"
#include "actions/shortcuts.h"
#include "config/folder_vars.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

enum LaunchGroup { kNoGroup, kProgram, kDocument };

// Decided by the last three characters alone: no dot is looked for.
LaunchGroup launch_group(const char* command) {
  static const char* const kPrograms[] = {"exe", "com", "bat"};
  static const char* const kDocuments[] = {"doc", "xls", "prc", "pdf", "ppt", "txt",
                                           "htm", "tml", "xml", "mp3", "chm"};
  const char* last = str_right(command, 3);
  for (const char* ending : kPrograms) {
    if (str_compare_nocase(last, ending) == 0) return kProgram;
  }
  for (const char* ending : kDocuments) {
    if (str_compare_nocase(last, ending) == 0) return kDocument;
  }
  return kNoGroup;
}

void show_frame(int show) {
  if (g_state.frame_window) ShowWindow(g_state.frame_window, show);
}

// Names the file that was tested, so that the system does not try shorter
// paths cut at a blank (C:\Program.exe before C:\Program Files\...) nor
// look beside the stub first for a relative name.
bool quote(const char* path, char* out, size_t size) {
  return text_format(out, size, "\"%s\"", path) != 0;
}

bool names_existing_file(const char* command) {
  DWORD attributes = GetFileAttributesA(command);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The fallback launcher: a file name goes quoted, a command with arguments
// as it is.
void fallback_launch(const char* command) {
  char quoted[kPathSize + 2];
  if (names_existing_file(command) && quote(command, quoted, sizeof quoted)) {
    WinExec(quoted, SW_SHOWNORMAL);
  } else {
    WinExec(command, SW_SHOWNORMAL);
  }
}

// Waits for the program without end, but keeps this thread's windows
// answering: a program that sends a broadcast (WM_SETTINGCHANGE after
// changing the environment) waits for every top-level window, the hidden
// frame too, and would otherwise wait for the stub that waits for it.
void wait_serving_messages(HANDLE process) {
  for (;;) {
    DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) return;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!g_state.frame_window || !IsDialogMessageA(g_state.frame_window, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }
}

// Starts a program and waits for it with the frame hidden. Returns false when
// it went to the fallback launcher, which gives nothing to wait for.
bool start_program(const char* command) {
  if (is_pe_executable(command) != 1) {
    fallback_launch(command);
    return false;
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  char command_line[kPathSize + 2];
  if (quote(command, command_line, sizeof command_line) &&
      CreateProcessA(command, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    show_frame(SW_HIDE);
    wait_serving_messages(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    show_frame(SW_SHOW);
  } else {
    // A command of more than 244 bytes does not fit: it is cut, between
    // characters.
    char message[256];
    if (!text_format(message, sizeof message, "不能执行 %s。", command)) {
      drop_split_character(message);
    }
    prepare_for_windows();
    MessageBoxA(nullptr, message, "错误", MB_ICONERROR);
  }
  return true;
}

void open_document(const char* command) {
  PathBuffer directory = "";
  DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
  if (length == 0 || length >= sizeof directory) directory[0] = 0;
  ShellExecuteA(g_state.frame_window, "open", command, nullptr, directory, SW_SHOWDEFAULT);
}

// Launches the Exec file. False when it went to the fallback launcher.
bool launch_exec_command() {
  collapse_double_backslashes(g_state.target_dir);
  // From here on a relative command, and $curdir$ in it, mean target_dir.
  SetCurrentDirectoryA(g_state.target_dir);

  // The setting's own buffer is too small for the in-place expansion.
  char expansion[kPathSize + 1] = "";
  text_copy(expansion, kPathSize, g_state.config.exec_command);
  PathBuffer command = "";
  text_copy(command, sizeof command, expand_path_variables(expansion));
  collapse_double_backslashes(command);

  switch (launch_group(command)) {
    case kProgram:
      return start_program(command);
    case kDocument:
      open_document(command);
      return true;
    case kNoGroup:
      break;
  }
  return true;
}

}  // namespace

void run_post_actions() {
  create_shortcuts();
  bool cleanup_allowed = true;
  if (g_state.config.exec_command[0] != 0) cleanup_allowed = launch_exec_command();
  if (g_state.config.delete_after != 0 && cleanup_allowed) start_cleanup_worker();
}
