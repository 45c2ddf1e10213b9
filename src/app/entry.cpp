// Process entry: the stub takes nothing from its command line.
#include <windows.h>

#include "app/sfx_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(sfx_main(instance, nullptr, GetCommandLineA(), show));
}
