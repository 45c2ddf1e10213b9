// The ZIP archive of the payload, read in place from the running executable
// through the portable reader window (archive_window.h).
#pragma once
#include <unzip.h>

// Opens the reader over the executable at `exe_path`, presenting
// archive_start + zip_size as the end of the file. Returns null when the
// archive cannot be opened.
unzFile open_embedded_archive(const char* exe_path, long archive_start, int zip_size);

// The system's code for the last failed open or read of the executable by
// the reader; 0 when none failed, so a reader failure is damaged data.
unsigned long embedded_archive_read_error();

// Where the reader's offset 0 lies in the executable: 0, or the start of an
// archive with ZIP64 records whose offsets count from its own start.
unsigned long embedded_archive_base();

// Reads `size` bytes at absolute `offset` of the executable through the open
// reader's read-ahead windows. False when the system read failed; `got` is
// short at the end of the file.
bool embedded_archive_read(unsigned long offset, void* buffer, unsigned long size,
                           unsigned long* got);
