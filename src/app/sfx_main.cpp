#include "app/sfx_main.h"

#include "app/fatal.h"
#include "app/state.h"

int sfx_main(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_state.instance = instance;
  item_list_init(&g_state.extracted_list);
  item_list_init(&g_state.shortcut_list);
  shutdown_and_exit();
}
