// The rules by which the extraction takes or refuses an archive's entries,
// short of where it writes them. Portable (no <windows.h>): the stub's
// extraction and the builder's --info and --verify apply these same checks,
// so that the builder refuses exactly the archives the stub refuses.
#pragma once
#include <stdint.h>

#include <unzip.h>

#include "archive/archive_window.h"
#include "core/config_limits.h"

enum EntryVerdict {
  kEntrySound = 0,
  kEntryUnreadable,        // a read of the file failed, or the reader could not parse
  kEntryNeeds64BitSizes,   // sizes or an entry count beyond 32 bits
  kEntryNameTooLong,       // longer than the extraction's name buffer: refused, not damaged
  kEntryNameHasNul,        // a NUL inside the recorded name would cut it short
  kEntryMethodUnknown,     // a file neither stored nor deflated
  kEntryLocalNameDiffers,  // the local header names the entry otherwise
  kEntrySizeDiffers,       // the data end before the recorded size
  kEntryCrcMismatch,
  kEntryCountDiffers       // the end record counts fewer entries than the central directory holds
};

// The entry records hold 32-bit sizes: an archive whose ZIP64 records give
// an entry more is refused before anything is written, never half
// extracted. So is one whose end record counts fewer entries than follow
// each other in its central directory, or none while it gives the central
// directory a size (as `window` read it): they would be skipped unnoticed.
// Walks the central directory; leaves the first entry current, or the entry
// at fault.
EntryVerdict check_entry_sizes(unzFile archive, const ArchiveWindow* window);

// Reads the current entry's central record and its name, NUL-terminated.
EntryVerdict read_entry_record(unzFile archive, unz_file_info* info,
                               char (&name)[kPathBufferSize]);

// Only stored and deflated data can be decoded: the reader would hand out
// the bytes of any other method undecoded.
inline bool entry_method_decodable(const unz_file_info& info) {
  return info.compression_method == 0 || info.compression_method == Z_DEFLATED;
}

// A directory entry's data are never read, so its method does not matter.
inline EntryVerdict check_entry_method(const unz_file_info& info, bool directory) {
  return directory || entry_method_decodable(info) ? kEntrySound : kEntryMethodUnknown;
}

// A directory entry: a name ending with a separator, or an empty entry that
// MS-DOS, OS/2 or Windows tools marked with the directory attribute alone,
// or a Unix tool with a directory mode.
template <typename Char>
bool entry_is_directory(const unz_file_info& info, const Char* name);

// Applies check_entry_method, then opens the current entry and compares its
// local header's name with the central one, read through `window`. A directory entry is
// closed again (and not opened at all when its method cannot be decoded); a
// sound file entry is left open for its data.
EntryVerdict open_entry(unzFile archive, ArchiveWindow* window, const unz_file_info& info,
                        bool directory);

// Closes the open file entry after `total` bytes of its data were read.
EntryVerdict close_entry(unzFile archive, const unz_file_info& info, uint32_t total);
