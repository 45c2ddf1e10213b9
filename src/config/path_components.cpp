#include "config/path_components.h"

#include <wchar.h>

#include <iterator>

#include "util/text.h"

// The path's buffer holds 261 characters: room for a 259-character path and the
// separator appended here. Longer texts are bounded, never overrun: the path is
// cut to 260 characters in place (it then gets no separator and its last
// component is dropped), "$" stays unreplaced where a replacement would not
// fit, an environment expansion that does not fit leaves the path unexpanded,
// and the result is cut to 260 characters before its last one is removed.
wchar_t* expand_path_components(wchar_t* path, ExpandEnvironmentFn expand_environment,
                                VariableFolderFn variable_folder, void* context, bool* whole) {
  wchar_t* result = text_new(kExpandedPathSize);
  bool fits = true;

  // The last component is found only with a separator after it.
  if (!text_append(path, kExpandedPathSize, L"\\")) fits = false;
  // $desktop$ and %desktop% are the same variable.
  while (str_find(0, path, L"$") != 0) {
    if (!str_replace_first(path, L"$", L"%", kExpandedPathSize)) {
      fits = false;
      break;
    }
  }

  wchar_t work[kExpandedPathSize];
  work[0] = '\0';
  expand_environment(context, path, work, std::size(work));
  if (work[0] == '\0') {
    // Only an empty path expands to nothing.
    if (path[0] != '\0') fits = false;
    text_copy(work, std::size(work), path);
  }
  // An environment value ending with a backslash (TEMP often does) leaves a
  // doubled separator, which the field splitter would turn into a repeated
  // component.
  collapse_double_backslashes(work);

  for (int index = 0;; ++index) {
    const wchar_t* component = str_field(work, L"\\", index);
    if (str_compare_nocase(component, kSharedEmptyText) == 0) break;
    wchar_t folder[kTextPathSize];
    if (variable_folder(context, component, folder)) {
      // A variable discards everything before it.
      if (!text_copy(result, kExpandedPathSize, folder)) fits = false;
    } else if (!text_append(result, kExpandedPathSize, component)) {
      fits = false;
    }
    if (!text_append(result, kExpandedPathSize, L"\\")) fits = false;
  }

  size_t length = wcslen(result);
  if (length > 0) result[length - 1] = '\0';
  if (whole) *whole = fits;
  return result;
}
