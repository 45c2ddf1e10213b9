// The path settings (DefaultPath, Exec, both fields of a shortcut): the stub
// reads every '$' as '%', expands %name% pairs from the environment, then
// replaces a whole first component that names a folder variable.
#pragma once
#include <stddef.h>

#include <string>

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
bool check_path_setting(const std::string& what, const std::string& utf8, bool in_default_path,
                        std::string* error);

// Bytes the destination is expected to take on a typical machine, for a
// DefaultPath value (empty: the stub's default) that passed
// check_path_setting; `known` is set when no variable leaves it open.
size_t typical_destination_length(const std::string& default_path, bool auto_extract,
                                  bool* known);

// Whether a DefaultPath value names a folder that only administrators may
// write to: a first component of $programfiles$, $sysdir$, $windir$ or the
// like, or a literal path into C:\Program Files, C:\Program Files (x86) or
// C:\Windows. Only ASCII counts, so UTF-8 and code page 936 read alike.
bool destination_needs_administrator(const std::string& default_path);

}  // namespace vpack
