#include "core/system_dlls.h"

#include "util/text.h"

HMODULE load_system_dll(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // Loaders without the search flags refuse them: name the file in full.
  wchar_t path[MAX_PATH];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !text_append(path, MAX_PATH, L"\\") ||
      !text_append(path, MAX_PATH, name)) {
    return nullptr;
  }
  return LoadLibraryW(path);
}

// The first window makes the input-method DLL load ole32 on its own, and
// under Wine that load searches the program's folder first whatever the
// process asked for. Loaded from the system folder beforehand, it is found
// loaded. On Windows ole32 is a KnownDLL and this only moves its load.
void prepare_for_windows() {
  static bool prepared;
  if (prepared) return;
  prepared = true;
  load_system_dll(L"ole32.dll");
}
