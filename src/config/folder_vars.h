// Well-known folders named in configured paths ($desktop$, %programfiles%...).
#pragma once

// Expands the folder variables of `path`, a writable buffer of at least 261
// characters that is changed in place (a backslash is appended, every "$" becomes
// "%"). Returns a new 261-character text, kept until the process ends, of at most
// 259 characters: a longer expansion is cut to its first 259. `whole`, when
// given, says whether the result is the whole expansion: a path that names
// something must not be used cut, as it may name something else.
wchar_t* expand_path_variables(wchar_t* path, bool* whole = nullptr);
