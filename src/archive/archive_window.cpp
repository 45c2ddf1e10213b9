#include "archive/archive_window.h"

#include <string.h>

#include "archive/archive_base.h"
#include "core/file_limits.h"

// The base is found with the windows' bytes as scratch space, before any
// window holds data.
static_assert(sizeof(ArchiveWindow::bytes) >= kArchiveBaseTailSize, "the tail fits the windows");

namespace {

ArchiveWindow* window_of(voidpf stream) { return static_cast<ArchiveWindow*>(stream); }

voidpf ZCALLBACK window_open(voidpf opaque, const char*, int) {
  ArchiveWindow* window = window_of(opaque);
  window->position = window->base;
  return window;
}

uLong ZCALLBACK window_read(voidpf, voidpf stream, void* buffer, uLong size) {
  ArchiveWindow* window = window_of(stream);
  long got = archive_window_read(window, window->position, buffer, static_cast<uint32_t>(size));
  if (got < 0) {
    window->error = 1;
    return 0;
  }
  window->position += static_cast<uint32_t>(got);
  return static_cast<uLong>(got);
}

long ZCALLBACK window_tell(voidpf, voidpf stream) {
  ArchiveWindow* window = window_of(stream);
  return static_cast<long>(window->position - window->base);
}

long ZCALLBACK window_seek(voidpf, voidpf stream, uLong offset, int origin) {
  ArchiveWindow* window = window_of(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      window->position = window->base + static_cast<uint32_t>(offset);
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      window->position += static_cast<uint32_t>(offset);
      return 0;
    case ZLIB_FILEFUNC_SEEK_END:
      window->position = window->end + static_cast<uint32_t>(offset);
      return 0;
  }
  return -1;
}

int ZCALLBACK window_close(voidpf, voidpf stream) {
  ArchiveWindow* window = window_of(stream);
  if (window->close) window->close(window->context);
  return 0;
}

int ZCALLBACK window_error(voidpf, voidpf stream) { return window_of(stream)->error; }

}  // namespace

bool archive_window_open(ArchiveWindow* window, ArchiveReadFn read, void* context,
                         uint64_t file_size, uint32_t archive_start, uint32_t zip_size) {
  for (uint32_t k = 0; k < kReadWindowCount; ++k) window->start[k] = window->length[k] = 0;
  window->read = read;
  window->context = context;
  window->file_size = static_cast<uint32_t>(file_size);
  window->end = archive_start + zip_size;
  window->base = 0;
  window->position = 0;
  window->error = 0;
  window->central_size = 0;
  window->last_used = 0;
  if (file_size >= kLargestSfxFile) return false;
  uint32_t end = window->end;
  uint32_t first =
      end > kArchiveBaseTailSize + archive_start ? end - kArchiveBaseTailSize : archive_start;
  if (end < first + 4) return true;
  unsigned char* tail = window->bytes[0];
  long got = read(context, first, tail, end - first);
  if (got < 0) return false;
  // A ZipSize reaching past the file leaves the base at 0; the reader then
  // finds no end record there.
  if (static_cast<uint32_t>(got) == end - first) {
    window->base = zip64_archive_base(tail, end - first, first);
    // From the file, as the reader reads the record's fields past E too: a
    // payload's E lies 4 bytes before the archive's end.
    uint32_t at = end_record_in_tail(tail, end - first);
    if (at < end - first) {
      read(context, first + at + 12, reinterpret_cast<unsigned char*>(&window->central_size), 4);
    }
  }
  return true;
}

void archive_window_hooks(ArchiveWindow* window, zlib_filefunc_def* hooks) {
  hooks->zopen_file = window_open;
  hooks->zread_file = window_read;
  hooks->zwrite_file = nullptr;  // the reader never writes
  hooks->ztell_file = window_tell;
  hooks->zseek_file = window_seek;
  hooks->zclose_file = window_close;
  hooks->zerror_file = window_error;
  hooks->opaque = window;
}

// From a window when one holds all the bytes asked for, else straight from
// the file for a read as large as a window, else after refilling the window
// used less recently.
long archive_window_read(ArchiveWindow* window, uint32_t offset, void* buffer, uint32_t size) {
  // A damaged length (an extra field of 65,535 bytes, say) has the reader
  // step far past the end a byte or two at a time: nothing is there to read,
  // and a system call for each step would hold the message back for most
  // of a minute.
  if (offset >= window->file_size) return 0;
  for (uint32_t k = 0; k < kReadWindowCount; ++k) {
    uint32_t into = offset - window->start[k];
    if (offset >= window->start[k] && into <= window->length[k] &&
        size <= window->length[k] - into) {
      memcpy(buffer, window->bytes[k] + into, size);
      window->last_used = static_cast<int>(k);
      return static_cast<long>(size);
    }
  }
  if (size >= kReadWindowSize) {
    return window->read(window->context, offset, static_cast<unsigned char*>(buffer), size);
  }
  static_assert(kReadWindowCount == 2, "the other window is the less recently used");
  int refill = 1 - window->last_used;
  window->length[refill] = 0;
  long got = window->read(window->context, offset, window->bytes[refill], kReadWindowSize);
  if (got < 0) return -1;
  window->start[refill] = offset;
  window->length[refill] = static_cast<uint32_t>(got);
  window->last_used = refill;
  if (static_cast<uint32_t>(got) < size) size = static_cast<uint32_t>(got);
  memcpy(buffer, window->bytes[refill], size);
  return static_cast<long>(size);
}
