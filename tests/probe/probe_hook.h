// The contract between the probe and probe_hook.dll, which runs inside the
// target process.
#pragma once

#include <windows.h>

// Sent to a message box; the hook answers by setting kProbeIconProp on it.
constexpr const char* kProbeIconQuery = "VandrelProbeIconQuery";
// Property value: 1 + the icon code below.
constexpr const char* kProbeIconProp = "VandrelProbeIcon";

// Sent to a window with a query kind in wparam; the hook answers by setting
// the properties kProbeAnswerProps[i] on that window to 1 + each value.
constexpr const char* kProbeQuery = "VandrelProbeQuery";
constexpr const char* kProbeAnswerProps[] = {"VandrelProbeA0", "VandrelProbeA1",
                                             "VandrelProbeA2", "VandrelProbeA3",
                                             "VandrelProbeA4", "VandrelProbeA5",
                                             "VandrelProbeA6", "VandrelProbeA7"};
constexpr int kProbeAnswerCount = 8;

enum ProbeQueryKind {
  // To a dialog: its base units (MapDialogRect of 4 x 8 dialog units).
  // Answers: x, y.
  kQueryDialogUnits = 1,
  // To a static control: its parent's WM_CTLCOLORSTATIC on a memory DC, and
  // what it selected. Answers: font handle, height, weight, underline, text
  // colour, background mode, 1 if the brush is the white stock brush, the
  // global atom of the face name.
  kQueryStaticStyle = 2,
  // To any window: 1 if the thread's cursor is cursor resource lparam of the
  // program's executable.
  kQueryCursor = 3,
  // To a top-level window: count from now on the fonts, bitmaps and device
  // contexts that the program's executable makes and deletes (its imports
  // are redirected, once). Answers: 1 when counting.
  kQueryGdiStart = 4,
  // To a top-level window: repaint it and all its children lparam times,
  // then answer: objects made and not deleted since the start, device
  // contexts made since the start, fonts made since the start.
  kQueryGdiRepaint = 5,
};

enum ProbeIconCode {
  kIconNone = 0,
  kIconError = 1,
  kIconWarning = 2,
  kIconQuestion = 3,
  kIconInformation = 4,
  kIconOther = 5,
};

// Loaded before the program runs (ProbeProcess::start_hooked), the DLL
// makes the program's WriteFile fail as this variable of the program's
// environment says: "CALL,CODE" fails call CALL (counted from 1) and every later one
// with CODE; "CALL,CODE,short" first lets call CALL write 32 bytes and
// report success; "CALL,0,slow" makes call CALL wait kProbeSlowWriteMs
// before it writes, and fails nothing. A plan that ends with "+hold-rmdir"
// (or is "hold-rmdir" alone) also holds the program's first
// RemoveDirectoryW until the test releases it (30 s at most).
constexpr const char* kProbeWriteFaultEnv = "VANDREL_PROBE_WRITE_FAULT";
constexpr DWORD kProbeSlowWriteMs = 6000;
// The slow write and the held call each set a manual-reset event, named
// with the program's process ID after these, as they begin their wait; the
// test sets the release event to let the held call go on.
constexpr const char* kProbeSlowWriteEvent = "VandrelProbeSlowWrite-";
constexpr const char* kProbeHeldRemovalEvent = "VandrelProbeHeldRemoval-";
constexpr const char* kProbeReleaseEvent = "VandrelProbeRelease-";
constexpr DWORD kProbeHoldMaxMs = 30000;

// Set in the program's environment to an error code: the program's first
// CreateProcessW fails with it, as the system fails the creation of a
// program that asks for administrator rights (740), which Wine never does.
constexpr const char* kProbeCreateProcessFaultEnv = "VANDREL_PROBE_CREATE_PROCESS_FAULT";

// Exported by the DLL as a plain C function (no decoration on either
// target): installs the WH_CALLWNDPROC hook on `thread_id`.
using ProbeHookInstall = HHOOK(__cdecl*)(DWORD thread_id);
constexpr const char* kProbeHookInstallName = "probe_hook_install";
