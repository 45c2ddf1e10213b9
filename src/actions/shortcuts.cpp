#include "actions/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "core/state.h"
#include "core/system_dlls.h"
#include "config/folder_vars.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

// expand_path_variables works in place on a buffer one character larger than a
// path: room for the separator it appends.
enum { kExpandSize = kPathSize + 1 };

// The link field, a bar, the target field and the closing bar, both fields
// non-empty, each short enough for a path, and a folder part in the link.
bool is_well_formed(const wchar_t* value) {
  // 1-based positions.
  const int first_bar = str_find(0, value, L"|");
  if (first_bar <= 1) return false;
  const int second_bar = str_find(first_bar, value, L"|");
  if (second_bar == 0 || second_bar == first_bar + 1) return false;
  const int link_length = first_bar - 1;
  const int target_length = second_bar - first_bar - 1;
  if (link_length >= kPathSize || target_length >= kPathSize) return false;
  const int backslash = str_find(0, value, L"\\");
  return backslash != 0 && backslash < first_bar;
}

// A value outside the format is skipped whole: nothing is expanded, no
// folder made, COM not entered.
void create_shortcut(const wchar_t* value) {
  if (!is_well_formed(value)) return;
  wchar_t link_path[kExpandSize] = L"";
  wchar_t target_path[kExpandSize] = L"";
  PathBuffer directory = L"";
  text_copy(link_path, kPathSize, str_field(value, L"|", 0));
  text_copy(target_path, kPathSize, str_field(value, L"|", 1));

  // A cut path may name another file: the value is skipped as a malformed
  // one is.
  bool link_whole = false;
  bool target_whole = false;
  text_copy(link_path, kPathSize, expand_path_variables(link_path, &link_whole));
  text_copy(target_path, kPathSize, expand_path_variables(target_path, &target_whole));
  if (!link_whole || !target_whole) return;
  collapse_double_backslashes(link_path);
  collapse_double_backslashes(target_path);

  // The folder that holds the shortcut, such as a new group below the start
  // menu, and the target's folder both exist before the link is written.
  path_parent(link_path, directory, kPathSize);
  if (!is_directory(directory)) create_directory_chain(directory);
  path_parent(target_path, directory, kPathSize);
  if (!is_directory(directory)) create_directory_chain(directory);
  create_shell_link(link_path, directory, target_path);
}

// The three COM calls a shortcut needs. ole32 is loaded from the system
// folder on first use: a run without shortcuts never loads it.
struct ComEntry {
  decltype(&CoInitialize) initialize;
  decltype(&CoCreateInstance) create_instance;
  decltype(&CoUninitialize) uninitialize;
};

template <typename Function>
bool find_function(HMODULE module, const char* name, Function* out) {
  *out = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *out != nullptr;
}

bool load_com(ComEntry* com) {
  // Main thread only: a plain static, without the runtime's guarded
  // initialisation (which would pull some 100 KB of C++ runtime into the stub).
  static HMODULE ole32;
  if (ole32 == nullptr) ole32 = load_system_dll(L"ole32.dll");
  return ole32 != nullptr && find_function(ole32, "CoInitialize", &com->initialize) &&
         find_function(ole32, "CoCreateInstance", &com->create_instance) &&
         find_function(ole32, "CoUninitialize", &com->uninitialize);
}

}  // namespace

void create_shortcuts() {
  while (item_list_count(&g_state.shortcut_list) != 0) {
    create_shortcut(item_list_top(&g_state.shortcut_list));
    item_list_pop(&g_state.shortcut_list);
  }
}

void create_shell_link(const wchar_t* link_path, const wchar_t* working_directory,
                       const wchar_t* target_path) {
  ComEntry com;
  if (!load_com(&com)) return;
  // COM lives for one shortcut only: the step runs once, at the very end.
  com.initialize(nullptr);
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(com.create_instance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkW, reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      link->SetPath(target_path);
      if (SUCCEEDED(link->SetWorkingDirectory(working_directory)) && link_path[0]) {
        file->Save(link_path, TRUE);
      }
      file->Release();
    }
    link->Release();
  }
  com.uninitialize();
}
