// Loading of system DLLs that the stub does not import at start.
#pragma once
#include <windows.h>

// Loads a system DLL from the system folder only, never from the folder the
// stub runs from. Returns null when it cannot be loaded.
HMODULE load_system_dll(const wchar_t* name);

// Called before the first window or message box: see the definition.
void prepare_for_windows();
