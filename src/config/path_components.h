// The system-independent steps of folder-variable expansion: "$" becomes
// "%", environment variables are expanded, and the path is rebuilt component
// by component, a variable discarding everything before it. Portable (no
// <windows.h>): the folders themselves come from the caller.
#pragma once
#include <stddef.h>

// Expands the environment variables of `path` into `out` (`size` characters);
// leaves `out` empty when the expansion does not fit.
typedef void (*ExpandEnvironmentFn)(void* context, const wchar_t* path, wchar_t* out, size_t size);
// The folder a variable component such as "%desktop%" names, into `out`
// (260 characters); 0 when the component is no variable.
typedef int (*VariableFolderFn)(void* context, const wchar_t* component, wchar_t* out);

enum { kExpandedPathSize = 261 };

// `path` is a writable buffer of at least 261 characters, changed in place (a
// backslash is appended, every "$" becomes "%"). Returns a new 261-character
// text, kept until the process ends, of at most 259 characters. `whole`, when
// given, says whether that is the whole expansion: false when it was cut, or
// when an environment expansion did not fit and the path stayed unexpanded.
wchar_t* expand_path_components(wchar_t* path, ExpandEnvironmentFn expand_environment,
                                VariableFolderFn variable_folder, void* context,
                                bool* whole = nullptr);
