// The three page dialogs: welcome, destination and progress.
#pragma once
#include <windows.h>

INT_PTR CALLBACK page_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int CALLBACK browse_callback(HWND window, UINT message, LPARAM lparam, LPARAM data);
