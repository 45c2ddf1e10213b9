// Imports version.dll statically, the way a program without a restricted
// DLL search does: the test shows that such a program loads a DLL planted
// beside it, so that the stub's clean runs mean something.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  DWORD handle = 0;
  return GetFileVersionInfoSizeA("kernel32.dll", &handle) == 0 ? 2 : 3;
}
