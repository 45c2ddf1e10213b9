#include "actions/exec_launch.h"

#include <windows.h>
#include <shellapi.h>

#include <iterator>

#include "core/state.h"
#include "core/system_dlls.h"
#include "actions/cleanup.h"
#include "actions/shortcuts.h"
#include "config/folder_vars.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

enum LaunchGroup { kNoGroup, kProgram, kDocument };

// The system's answer to a creation of a program that asks for
// administrator rights (ERROR_ELEVATION_REQUIRED, missing from older headers).
const DWORD kElevationRequired = 740;

// Decided by the last three characters alone: no dot is looked for.
LaunchGroup launch_group(const wchar_t* command) {
  static const wchar_t* const kPrograms[] = {L"exe", L"com", L"bat"};
  static const wchar_t* const kDocuments[] = {L"doc", L"xls", L"prc", L"pdf", L"ppt", L"txt",
                                              L"htm", L"tml", L"xml", L"mp3", L"chm"};
  const wchar_t* last = str_right(command, 3);
  for (const wchar_t* ending : kPrograms) {
    if (str_compare_nocase(last, ending) == 0) return kProgram;
  }
  for (const wchar_t* ending : kDocuments) {
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
bool quote(const wchar_t* path, wchar_t* out, size_t size) {
  return text_format(out, size, L"\"%ls\"", path) != 0;
}

bool names_existing_file(const wchar_t* command) {
  DWORD attributes = GetFileAttributesW(command);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The fallback launcher: a file name goes quoted, a command with arguments
// as it is, shown normally and not waited for. The system's own simple
// launcher takes only texts of the machine's code page.
void fallback_launch(const wchar_t* command) {
  wchar_t line[kPathSize + 2];
  if (!names_existing_file(command) || !quote(command, line, kPathSize + 2)) {
    text_copy(line, kPathSize + 2, command);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process;
  if (CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
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
    serve_waiting_messages(g_state.frame_window);
  }
}

// A program whose own manifest asks for administrator rights cannot be
// created by a process that runs as the user: the shell starts it and asks
// the user first.
bool start_elevated(const wchar_t* command, HANDLE* process) {
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  execute.lpFile = command;
  execute.nShow = SW_SHOWNORMAL;
  prepare_for_windows();
  if (!ShellExecuteExW(&execute)) return false;
  *process = execute.hProcess;
  return true;
}

// Starts the program; `process` is what there is to wait for (null when the
// shell started it without telling).
bool start_process(const wchar_t* command, HANDLE* process) {
  *process = nullptr;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  wchar_t command_line[kPathSize + 2];
  if (!quote(command, command_line, std::size(command_line))) return false;
  if (CreateProcessW(command, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &started)) {
    CloseHandle(started.hThread);
    *process = started.hProcess;
    return true;
  }
  return GetLastError() == kElevationRequired && start_elevated(command, process);
}

void show_cannot_execute(const wchar_t* command) {
  // A command of more than 249 characters does not fit: it is cut, between
  // characters.
  wchar_t message[256];
  if (!text_format(message, std::size(message), L"不能执行 %ls。", command)) {
    drop_split_character(message);
  }
  prepare_for_windows();
  MessageBoxW(nullptr, message, L"错误", MB_ICONERROR);
}

// Starts a program and waits for it with the frame hidden. Returns false when
// it went to the fallback launcher, which gives nothing to wait for.
bool start_program(const wchar_t* command) {
  if (is_pe_executable(command) != 1) {
    fallback_launch(command);
    return false;
  }
  HANDLE process = nullptr;
  if (!start_process(command, &process)) {
    show_cannot_execute(command);
  } else if (process) {
    show_frame(SW_HIDE);
    wait_serving_messages(process);
    CloseHandle(process);
    show_frame(SW_SHOW);
  }
  return true;
}

void open_document(const wchar_t* command) {
  PathBuffer directory = L"";
  DWORD length = GetCurrentDirectoryW(kPathSize, directory);
  if (length == 0 || length >= kPathSize) directory[0] = 0;
  ShellExecuteW(g_state.frame_window, L"open", command, nullptr, directory, SW_SHOWDEFAULT);
}

// Launches the Exec file. False when it went to the fallback launcher.
bool launch_exec_command() {
  collapse_double_backslashes(g_state.target_dir);
  // From here on a relative command, and $curdir$ in it, mean target_dir.
  SetCurrentDirectoryW(g_state.target_dir);

  // The setting's own buffer is too small for the in-place expansion.
  wchar_t expansion[kPathSize + 1] = L"";
  text_copy(expansion, kPathSize, g_state.config.exec_command);
  PathBuffer command = L"";
  bool whole = false;
  text_copy(command, kPathSize, expand_path_variables(expansion, &whole));
  collapse_double_backslashes(command);
  // A cut command may name another program, or another file of the folder.
  if (!whole) {
    show_cannot_execute(command);
    return true;
  }

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
