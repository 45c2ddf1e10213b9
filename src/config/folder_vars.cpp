#include "config/folder_vars.h"

#include <windows.h>

#include "config/path_components.h"
#include "core/state.h"
#include "util/fs.h"
#include "util/handles.h"
#include "util/text.h"

namespace {

const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Copies a string value into `out` (260 characters); `out` is untouched when the key
// or value cannot be read, is not a string or does not fit.
void read_registry_text(HKEY root, const wchar_t* subkey, const wchar_t* name, wchar_t* out) {
  ScopedKey key;
  if (RegOpenKeyExW(root, subkey, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return;
  wchar_t value[MAX_PATH] = L"";
  DWORD type = 0;
  DWORD size = sizeof value;  // the registry counts bytes, not characters
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    return;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return;
  // The stored data need not end with a zero.
  size /= sizeof(wchar_t);
  value[size < MAX_PATH ? size : MAX_PATH - 1] = L'\0';
  text_copy(out, MAX_PATH, value);
}

void shell_folder(const wchar_t* name, wchar_t* out) {
  read_registry_text(HKEY_CURRENT_USER, kShellFoldersKey, name, out);
}

void quick_launch_folder(wchar_t* out) {
  shell_folder(L"AppData", out);
  if (out[0] != L'\0') text_append(out, MAX_PATH, L"\\Microsoft\\Internet Explorer\\Quick Launch");
  if (!is_directory(out)) {
    DWORD n = GetTempPathW(MAX_PATH, out);
    if (n == 0 || n >= MAX_PATH) out[0] = L'\0';
  }
}

// The folder a variable component names, into `out` (260 characters); 0 when the
// component is no variable.
int variable_folder(void*, const wchar_t* component, wchar_t* out) {
  out[0] = L'\0';
  if (str_compare_nocase(component, L"%startmenu%") == 0) {
    shell_folder(L"Programs", out);
  } else if (str_compare_nocase(component, L"%desktop%") == 0) {
    shell_folder(L"Desktop", out);
  } else if (str_compare_nocase(component, L"%sendto%") == 0) {
    shell_folder(L"SendTo", out);
  } else if (str_compare_nocase(component, L"%favorites%") == 0) {
    shell_folder(L"Favorites", out);
  } else if (str_compare_nocase(component, L"%startup%") == 0) {
    shell_folder(L"Startup", out);
  } else if (str_compare_nocase(component, L"%targetdir%") == 0) {
    text_copy(out, MAX_PATH, g_state.target_dir);
  } else if (str_compare_nocase(component, L"%curdir%") == 0) {
    DWORD n = GetCurrentDirectoryW(MAX_PATH, out);
    if (n == 0 || n >= MAX_PATH) out[0] = L'\0';
  } else if (str_compare_nocase(component, L"%quicklaunch%") == 0) {
    quick_launch_folder(out);
  } else if (str_compare_nocase(component, L"%programfiles%") == 0) {
    text_copy(out, MAX_PATH, L"C:\\Program Files");
    read_registry_text(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"ProgramFilesDir", out);
  } else if (str_compare_nocase(component, L"%sysdir%") == 0) {
    UINT n = GetSystemDirectoryW(out, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) out[0] = L'\0';
  } else {
    return 0;
  }
  return 1;
}

// Leaves `out` empty when the expansion does not fit.
void expand_environment(void*, const wchar_t* path, wchar_t* out, size_t size) {
  DWORD n = ExpandEnvironmentStringsW(path, out, static_cast<DWORD>(size));
  if (n == 0 || n > size) out[0] = L'\0';
}

}  // namespace

wchar_t* expand_path_variables(wchar_t* path, bool* whole) {
  return expand_path_components(path, expand_environment, variable_folder, nullptr, whole);
}
