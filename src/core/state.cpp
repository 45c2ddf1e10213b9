#include "core/state.h"

SfxState g_state = [] {
  SfxState s = {};
  s.current_page = 1;
  s.create_if_missing = 1;
  return s;
}();
