#include "config/folder_vars.h"

#include <windows.h>

#include "config/path_components.h"
#include "core/state.h"
#include "util/fs.h"
#include "util/handles.h"
#include "util/text.h"

namespace {

const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Copies a string value into `out` (260 bytes); `out` is untouched when the key
// or value cannot be read, is not a string or does not fit.
void read_registry_text(HKEY root, const char* subkey, const char* name, char* out) {
  ScopedKey key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return;
  char value[MAX_PATH] = "";
  DWORD type = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    return;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return;
  // The stored data need not end with a zero.
  value[size < sizeof value ? size : sizeof value - 1] = '\0';
  text_copy(out, MAX_PATH, value);
}

void shell_folder(const char* name, char* out) {
  read_registry_text(HKEY_CURRENT_USER, kShellFoldersKey, name, out);
}

void quick_launch_folder(char* out) {
  shell_folder("AppData", out);
  if (out[0] != '\0') text_append(out, MAX_PATH, "\\Microsoft\\Internet Explorer\\Quick Launch");
  if (!is_directory(out)) {
    DWORD n = GetTempPathA(MAX_PATH, out);
    if (n == 0 || n >= MAX_PATH) out[0] = '\0';
  }
}

// The folder a variable component names, into `out` (260 bytes); 0 when the
// component is no variable.
int variable_folder(void*, const char* component, char* out) {
  out[0] = '\0';
  if (str_compare_nocase(component, "%startmenu%") == 0) {
    shell_folder("Programs", out);
  } else if (str_compare_nocase(component, "%desktop%") == 0) {
    shell_folder("Desktop", out);
  } else if (str_compare_nocase(component, "%sendto%") == 0) {
    shell_folder("SendTo", out);
  } else if (str_compare_nocase(component, "%favorites%") == 0) {
    shell_folder("Favorites", out);
  } else if (str_compare_nocase(component, "%startup%") == 0) {
    shell_folder("Startup", out);
  } else if (str_compare_nocase(component, "%targetdir%") == 0) {
    text_copy(out, MAX_PATH, g_state.target_dir);
  } else if (str_compare_nocase(component, "%curdir%") == 0) {
    DWORD n = GetCurrentDirectoryA(MAX_PATH, out);
    if (n == 0 || n >= MAX_PATH) out[0] = '\0';
  } else if (str_compare_nocase(component, "%quicklaunch%") == 0) {
    quick_launch_folder(out);
  } else if (str_compare_nocase(component, "%programfiles%") == 0) {
    text_copy(out, MAX_PATH, "C:\\Program Files");
    read_registry_text(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProgramFilesDir", out);
  } else if (str_compare_nocase(component, "%sysdir%") == 0) {
    UINT n = GetSystemDirectoryA(out, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) out[0] = '\0';
  } else {
    return 0;
  }
  return 1;
}

// Leaves `out` empty when the expansion does not fit.
void expand_environment(void*, const char* path, char* out, size_t size) {
  DWORD n = ExpandEnvironmentStringsA(path, out, static_cast<DWORD>(size));
  if (n == 0 || n > size) out[0] = '\0';
}

}  // namespace

char* expand_path_variables(char* path) {
  return expand_path_components(path, expand_environment, variable_folder, nullptr);
}
