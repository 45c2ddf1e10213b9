// Shell links that the configuration block asks for after extraction.
#pragma once

// Writes the shortcut of every value of shortcut_list, newest first (so from
// the highest key number down to Shortcut0), and leaves the list empty.
void create_shortcuts();

// Writes one shell link at `link_path` pointing at `target_path`, with
// `working_directory` as its working directory and nothing else set. Writes
// nothing on any failure.
void create_shell_link(const wchar_t* link_path, const wchar_t* working_directory,
                       const wchar_t* target_path);
