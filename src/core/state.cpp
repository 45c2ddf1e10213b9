#include "core/state.h"

// Zero-filled, so that it takes no room in the image; sfx_main sets the few
// fields that start otherwise.
SfxState g_state;
