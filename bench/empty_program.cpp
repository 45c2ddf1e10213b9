// Do-nothing Windows programs to time the stub's start-up against: one that
// imports kernel32 only, and one with the same DLL imports as the stub.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef WITH_STUB_IMPORTS
  // Never true at run time; keeps each DLL in the import table.
  if (GetTickCount() == 1) {
    MessageBoxA(nullptr, "", "", 0);
    GetStockObject(0);
    InitCommonControls();
    ShellExecuteA(nullptr, nullptr, "", nullptr, nullptr, 0);
    CoInitialize(nullptr);
    RegCloseKey(nullptr);
  }
#endif
  ExitProcess(1);
}
