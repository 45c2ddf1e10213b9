#include "app/sfx_main.h"

#include <shellapi.h>

#include "wizard/frame.h"
#include "actions/cleanup.h"
#include "actions/exec_launch.h"
#include "archive/extraction.h"
#include "config/load_configuration.h"
#include "core/fatal.h"
#include "core/state.h"
#include "util/fs.h"
#include "util/text.h"

int sfx_main(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_state.instance = instance;
  g_state.current_page = 1;
  g_state.create_if_missing = 1;
  item_list_init(&g_state.extracted_list);
  item_list_init(&g_state.shortcut_list);
  load_configuration();

  if (g_state.config.no_gui == 0) {
    // The wizard's custom-drawn text uses this face whatever fonts exist.
    text_copy(g_state.ui_font_face, LF_FACESIZE, L"宋体");
    g_state.ui_font_height = 12;
    // Every way out of the wizard ends the process.
    run_wizard();
    return 1;
  }

  // Silent mode: everything on this thread, in this order.
  if (!is_directory(g_state.target_dir) && !create_directory_chain(g_state.target_dir)) {
    fatal_error(L"不能创建输出目录。");
  }
  extraction_worker(nullptr);
  run_post_actions();
  if (g_state.config.open_folder) {
    ShellExecuteW(nullptr, L"explore", g_state.target_dir, nullptr, nullptr, SW_SHOW);
  }
  // A cleanup, when one runs, ends the process once it has finished.
  end_after_post_actions();
}
