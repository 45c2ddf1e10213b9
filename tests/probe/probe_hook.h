// The contract between the probe and probe_hook.dll, which runs inside the
// target process.
#pragma once

#include <windows.h>

// Sent to a message box; the hook answers by setting kProbeIconProp on it.
constexpr const char* kProbeIconQuery = "VandrelProbeIconQuery";
// Property value: 1 + the icon code below.
constexpr const char* kProbeIconProp = "VandrelProbeIcon";

enum ProbeIconCode {
  kIconNone = 0,
  kIconError = 1,
  kIconWarning = 2,
  kIconQuestion = 3,
  kIconInformation = 4,
  kIconOther = 5,
};

// Exported by the DLL as a plain C function (no decoration on either
// target): installs the WH_CALLWNDPROC hook on `thread_id`.
using ProbeHookInstall = HHOOK(__cdecl*)(DWORD thread_id);
constexpr const char* kProbeHookInstallName = "probe_hook_install";
