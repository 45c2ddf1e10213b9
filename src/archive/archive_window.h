// The archive of a self-extracting file as the reader sees it: minizip's
// file hooks over a positioned read of the whole file. Portable (no
// <windows.h>): the stub reads its own executable through it, the builder's
// --info and --verify read a written file through it, so that the builder
// accepts exactly the archives the stub reads.
#pragma once
#include <stdint.h>

#include <ioapi.h>

// Reads up to `size` bytes at `offset` of the file; returns the count read
// (0 at or past the end of the file) or -1 when the read failed.
typedef long (*ArchiveReadFn)(void* context, uint32_t offset, unsigned char* buffer,
                              uint32_t size);

// The reader parses headers a few bytes at a time and walks two places at
// once: the central directory and the entry it extracts. Each is served from
// a window of the file read ahead, so that a small entry costs no read of
// its own and a large one a read per window.
enum : uint32_t { kReadWindowSize = 64 * 1024, kReadWindowCount = 2 };

// Set up by archive_window_open; the reader's stream once the hooks are in
// place. Plain data, so that the stub can keep one in static storage.
struct ArchiveWindow {
  ArchiveReadFn read;
  void* context;
  void (*close)(void* context);  // when the reader closes; may be null
  uint32_t file_size;
  uint32_t end;       // E = archive start + ZipSize: the reader's end of the file
  uint32_t base;      // where the reader's offset 0 lies in the file
  uint32_t position;  // absolute offset in the file
  int error;          // a read of the file failed
  // The central directory's size as the end record gives it, in the file's
  // byte order: only whether it is 0 tells. 0 when no end record was found.
  uint32_t central_size;
  int last_used;      // the window refilled next is the other one
  uint32_t start[kReadWindowCount];
  uint32_t length[kReadWindowCount];
  unsigned char bytes[kReadWindowCount][kReadWindowSize];
};

// Presents the archive from `archive_start` with `zip_size` bytes inside a
// file of `file_size` bytes: the reader takes archive_start + zip_size for
// the end of the file and counts offsets from the archive's base (see
// archive_base.h), found here from the archive's last bytes. False for a
// file of kLargestSfxFile bytes or more, and when reading those bytes failed.
bool archive_window_open(ArchiveWindow* window, ArchiveReadFn read, void* context,
                         uint64_t file_size, uint32_t archive_start, uint32_t zip_size);

// minizip's hooks over the window, for unzOpen2.
void archive_window_hooks(ArchiveWindow* window, zlib_filefunc_def* hooks);

// Reads up to `size` bytes at absolute `offset` of the file through the
// windows; -1 when the read of the file failed. Past the end of the file
// the answer is 0 bytes, without a read.
long archive_window_read(ArchiveWindow* window, uint32_t offset, void* buffer, uint32_t size);
