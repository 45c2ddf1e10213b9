#pragma once
#include <stdint.h>

// Finds the payload in the running executable, reads the configuration block
// into g_state and derives the first destination. Ends the process through
// fatal_error when the payload cannot be read.
void load_configuration();

// Writes the configuration block's code page 936 bytes to `path` in UTF-16
// with its byte-order mark, so that the system's INI reader reads them right
// on every machine. False with the system's reason as the last error.
bool write_configuration_file(const char* block, uint32_t size, const wchar_t* path);

// Reads the settings from section "QV" of an INI file into g_state and
// derives the first destination (the second half of load_configuration).
void apply_configuration_file(const wchar_t* ini_path);
