// The one process-wide record shared by every part of the stub.
#pragma once
#include <windows.h>

#include "core/config_limits.h"
#include "core/progress_report.h"
#include "util/item_list.h"

enum { kPathSize = MAX_PATH };  // 260 characters, the Windows path limit
static_assert(static_cast<unsigned>(kPathSize) == kPathBufferSize,
              "the builder checks paths against kPathBufferSize");
typedef wchar_t PathBuffer[kPathSize];

// The settings as the stub uses them: the block's code page 936 texts in
// UTF-16. A setting's buffer holds as many characters as the builder allows
// it bytes.
struct SfxConfig {
  wchar_t archive_name[kNameBufferSize];  // Name
  wchar_t exec_command[kExecBufferSize];  // Exec
  wchar_t intro_text[kIntroBufferSize];   // Intro
  wchar_t url[kUrlBufferSize];            // URL
  int zip_size;            // ZipSize
  int delete_after;        // Delete
  int no_gui;              // NoGUI
  int auto_extract;        // AutoExtract == "1"
  int open_folder;         // OpenFolder == "1"
};

struct SfxState {
  HINSTANCE instance;
  HWND frame_window;
  HWND page_window;
  PathBuffer exe_path;
  HANDLE exe_handle;
  LONG archive_start;  // offset of the archive signature minus 4
  SfxConfig config;
  wchar_t typed_path[520];
  PathBuffer target_dir;
  ItemList shortcut_list;
  ItemList extracted_list;
  int current_page;
  int create_if_missing;
  wchar_t ui_font_face[LF_FACESIZE];
  int ui_font_height;
  HCURSOR hand_cursor;
  ProgressReport progress;
};

extern SfxState g_state;
