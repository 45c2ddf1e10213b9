// Process entry: the stub takes nothing from its command line.
#include <windows.h>

#include "app/sfx_main.h"

namespace {

// A self-extracting file runs from a download folder, which may hold a
// planted DLL of any name: every DLL loaded from here on (the delay-loaded
// system DLLs, the common controls, whatever those load) comes from the
// system folder only. Where the loader lacks that mode, at least the
// current directory leaves the search.
void restrict_dll_search() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  SetDefaultDllDirectoriesFn set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default == nullptr || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  restrict_dll_search();
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(sfx_main(instance, nullptr, nullptr, show));
}
