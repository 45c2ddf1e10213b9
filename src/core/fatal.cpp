#include "core/fatal.h"

#include "core/state.h"
#include "core/system_dlls.h"
#include "util/text.h"

static void (*g_exit_hook)();
static volatile LONG g_fatal_box_shown;

void set_exit_hook(void (*hook)()) { g_exit_hook = hook; }

void system_error_text(unsigned long code, wchar_t* out, unsigned size) {
  text_copy(out, size, kSharedEmptyText);
  wchar_t* formatted = nullptr;
  if (code != 0 &&
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&formatted), 0,
                     nullptr) != 0 &&
      formatted) {
    text_copy(out, size, formatted);
    LocalFree(formatted);
  }
}

void fatal_error(const wchar_t* message) {
  // Read the error code first: anything called below may change it.
  fatal_error_code(message, GetLastError());
}

void fatal_error_code(const wchar_t* message, unsigned long system_code) {
  wchar_t system_text[512];
  system_error_text(system_code, system_text, 512);
  wchar_t text[1024];
  text_format(text, 1024, L"出现了以下错误导致程序无法继续运行：\n\n %ls %ls", message,
              system_text);
  prepare_for_windows();
  // On the wizard's thread the box belongs to the wizard, in front of it.
  HWND owner = g_state.frame_window;
  if (owner && GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) owner = nullptr;
  InterlockedExchange(&g_fatal_box_shown, 1);
  MessageBoxW(owner, text, L"Vandrel 错误", MB_ICONERROR);
  shutdown_and_exit();
}

bool fatal_error_shown() { return g_fatal_box_shown != 0; }

void shutdown_and_exit() {
  if (g_exit_hook) {
    void (*hook)() = g_exit_hook;
    g_exit_hook = nullptr;
    hook();
  }
  if (g_state.page_window) DestroyWindow(g_state.page_window);
  if (g_state.frame_window) DestroyWindow(g_state.frame_window);
  if (g_state.exe_handle) CloseHandle(g_state.exe_handle);
  ExitProcess(1);
}
