// The ZIP archive of the payload, read in place from the running executable
// through the portable reader window (archive_window.h).
#pragma once
#include <unzip.h>

#include "archive/archive_window.h"

// Opens the reader over the executable at `exe_path` through `window`, which
// lasts as long as the reader, presenting archive_start + zip_size as the
// end of the file. Returns null when the archive cannot be opened.
unzFile open_embedded_archive(ArchiveWindow* window, const wchar_t* exe_path, long archive_start,
                              int zip_size);

// The system's code for the last failed open or read of the executable by
// the reader; 0 when none failed, so a reader failure is damaged data.
unsigned long embedded_archive_read_error();
