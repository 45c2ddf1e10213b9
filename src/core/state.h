// The one process-wide record shared by every part of the stub.
#pragma once
#include <windows.h>

#include "core/config_limits.h"
#include "core/progress_report.h"
#include "util/item_list.h"

enum { kPathSize = MAX_PATH };  // 260 bytes, the Windows path limit
static_assert(static_cast<unsigned>(kPathSize) == kPathBufferSize,
              "the builder checks paths against kPathBufferSize");
typedef char PathBuffer[kPathSize];

struct SfxConfig {
  char archive_name[kNameBufferSize];  // Name
  char exec_command[kExecBufferSize];  // Exec
  char intro_text[kIntroBufferSize];   // Intro
  char url[kUrlBufferSize];            // URL
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
  char typed_path[520];
  PathBuffer target_dir;
  ItemList shortcut_list;
  ItemList extracted_list;
  int current_page;
  int create_if_missing;
  char ui_font_face[256];
  int ui_font_height;
  HCURSOR hand_cursor;
  ProgressReport progress;
};

extern SfxState g_state;
