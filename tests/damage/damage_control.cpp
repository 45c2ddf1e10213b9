// Misbehaves on purpose, one way per argument, so that the damage campaign
// can show that it notices each kind of fault it counts.
#include <windows.h>

#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  if (strstr(command_line, "crash")) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (strstr(command_line, "hang")) Sleep(60000);
  if (strstr(command_line, "outside")) {
    HANDLE file = CreateFileA("..\\escaped.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  if (strstr(command_line, "foreign-box")) MessageBoxA(nullptr, "something else", "Other", MB_OK);
  // "silent": ends as the stub does, having extracted nothing.
  ExitProcess(1);
}
