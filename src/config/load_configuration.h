#pragma once

// Finds the payload in the running executable, reads the configuration block
// into g_state and derives the first destination. Ends the process through
// fatal_error when the payload cannot be read.
void load_configuration();

// Reads the settings from section "QV" of an INI file into g_state and
// derives the first destination (the second half of load_configuration).
void apply_configuration_file(const char* ini_path);
