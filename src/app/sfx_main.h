#pragma once
#include <windows.h>

// Chooses between the wizard and the silent mode; returns 1.
int sfx_main(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line, int show);
