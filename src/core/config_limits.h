// Buffer sizes of the configuration values the stub keeps. A value longer
// than its buffer is cut to the size less one, so the builder refuses what
// would not fit. Portable (no <windows.h>): the stub declares its buffers
// with these sizes and the builder checks values against them.
#pragma once

enum : unsigned {
  kNameBufferSize = 255,      // Name
  kExecBufferSize = 255,      // Exec
  kIntroBufferSize = 1024,    // Intro
  kUrlBufferSize = 128,       // URL
  kPathBufferSize = 260,      // DefaultPath, and each shortcut field once expanded
  kSwitchBufferSize = 6,      // AutoExtract, OpenFolder
  kShortcutBufferSize = 1024  // each Shortcut%d value
};
