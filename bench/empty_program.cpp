// Do-nothing Windows programs to time the stub's start-up against: one that
// imports kernel32 only, and one with the same DLL imports as the stub
// (bench/startup.py prints both import lists so that a drift shows).
#include <windows.h>
#include <stdio.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef WITH_STUB_IMPORTS
  // Never true at run time; keeps each DLL in the import table.
  if (GetTickCount() == 1) {
    MessageBoxA(nullptr, "", "", 0);
    ShellExecuteA(nullptr, nullptr, "", nullptr, nullptr, 0);
    RegCloseKey(nullptr);
    GetStockObject(WHITE_BRUSH);
    _snprintf(nullptr, 0, "");
  }
#endif
  ExitProcess(1);
}
