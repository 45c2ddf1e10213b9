// The system-independent steps of folder-variable expansion: "$" becomes
// "%", environment variables are expanded, and the path is rebuilt component
// by component, a variable discarding everything before it. Portable (no
// <windows.h>): the folders themselves come from the caller.
#pragma once
#include <stddef.h>

// Expands the environment variables of `path` into `out` (`size` bytes);
// leaves `out` empty when the expansion does not fit.
typedef void (*ExpandEnvironmentFn)(void* context, const char* path, char* out, size_t size);
// The folder a variable component such as "%desktop%" names, into `out`
// (260 bytes); 0 when the component is no variable.
typedef int (*VariableFolderFn)(void* context, const char* component, char* out);

enum { kExpandedPathSize = 261 };

// `path` is a writable buffer of at least 261 bytes, changed in place (a
// backslash is appended, every "$" becomes "%"). Returns a new 261-byte
// text, kept until the process ends, of at most 259 characters.
char* expand_path_components(char* path, ExpandEnvironmentFn expand_environment,
                             VariableFolderFn variable_folder, void* context);
