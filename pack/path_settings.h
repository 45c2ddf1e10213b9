// The path settings (DefaultPath, Exec, both fields of a shortcut): the stub
// reads every '$' as '%', expands %name% pairs from the environment, then
// replaces a whole first component that names a folder variable.
#pragma once
#include <stddef.h>

#include <string>
#include <vector>

namespace vpack {

struct FolderVariable {
  const char* name;       // lower case, without delimiters
  size_t typical_length;  // bytes it expands to on a 64-bit Windows, 12-byte user name
};

// The folder variables the stub knows, in the order it compares them.
const FolderVariable* folder_variables(size_t* count);

// Checks a UTF-8 path setting: every '$' or '%' must be one of a pair that
// encloses a name; a folder variable must be the whole first component; any
// other name ($temp$, $windir$, ...) is left to the user's environment.
// `in_default_path` also refuses $targetdir$, which is empty while the
// destination is being chosen. `what` names the key in the message.
// A name near a folder variable is refused when written in '$' one letter
// off ($programfile$); otherwise ('%outdir%' near $curdir$) it is taken for
// the environment's, with a line in `warnings`.
bool check_path_setting(const std::string& what, const std::string& utf8, bool in_default_path,
                        std::string* error, std::vector<std::string>* warnings = nullptr);

// Bytes the destination is expected to take on a typical machine, for a
// DefaultPath value (empty: the stub's default) that passed
// check_path_setting; `known` is set when no variable leaves it open.
size_t typical_destination_length(const std::string& default_path, bool auto_extract,
                                  bool* known);

// Whether a standard user may not write in a folder that a path setting
// names, judged on the path alone: a drive's root; the program files
// folders (also by their short names); the Windows folder but its Temp; the
// public profile but its documents, downloads, music, pictures and videos
// (the common desktop lies there); the system's own folders below
// ProgramData (the common Start menu). Drive letters do not count, as
// Windows may lie on any drive; neither does case, nor '$' against '%'.
// Folder variables and the environment's names for those folders count;
// other variables, relative and network paths are taken for the user's.
bool folder_needs_administrator(const std::string& folder);
bool destination_needs_administrator(const std::string& default_path);
// The same for the folder a shortcut's link file is written in.
bool link_needs_administrator(const std::string& link);

}  // namespace vpack
