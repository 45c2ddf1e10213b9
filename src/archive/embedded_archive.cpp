#include "archive/embedded_archive.h"

#include <windows.h>

#include "archive/archive_base.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

// The reader parses headers a few bytes at a time and walks two places at
// once: the central directory and the entry it extracts. Each is served from
// a window of the file read ahead, so that a small entry costs no read of
// its own and a large one a read per window.
const DWORD kWindowSize = 64 * 1024;
const int kWindowCount = 2;

struct ReadWindow {
  DWORD start;
  DWORD length;
  unsigned char bytes[kWindowSize];
};

// The reader's own handle on the executable, with the window end E.
struct EmbeddedStream {
  HANDLE file;
  DWORD end;       // E: what the reader takes for the end of the file
  DWORD base;      // where the reader's offset 0 lies in the executable
  DWORD position;  // absolute offset in the executable
  DWORD file_size;
  int error;
  int last_used;   // the window refilled next is the other one
  ReadWindow windows[kWindowCount];
};

char g_exe_path[MAX_PATH];
DWORD g_window_end;
DWORD g_base;
// The code of the last failed open or read of the executable, so that a
// failure of the reader can tell a system error from damaged data.
DWORD g_read_error;
// The stream the reader has open, for reads of the extraction's own.
EmbeddedStream* g_stream;

voidpf ZCALLBACK stream_open(voidpf, const char*, int) {
  HANDLE file = CreateFileA(g_exe_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    g_read_error = GetLastError();
    return nullptr;
  }
  EmbeddedStream* stream = static_cast<EmbeddedStream*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(EmbeddedStream)));
  if (!stream) {
    CloseHandle(file);
    return nullptr;
  }
  // The executable is below 2 GiB, so its size fits the low word.
  stream->file_size = GetFileSize(file, nullptr);
  if (stream->file_size == INVALID_FILE_SIZE) {
    g_read_error = GetLastError();
    CloseHandle(file);
    HeapFree(GetProcessHeap(), 0, stream);
    return nullptr;
  }
  stream->file = file;
  stream->end = g_window_end;
  stream->base = g_base;
  stream->position = g_base;
  g_stream = stream;
  return stream;
}

// Reads up to `size` bytes at absolute `offset`: from a window when one
// holds them, else straight from the file for a read as large as a window,
// else after refilling the window used less recently. Answers -1 when the
// system read failed.
long stream_read_at(EmbeddedStream* stream, DWORD offset, void* buffer, DWORD size) {
  // A damaged length (an extra field of 65,535 bytes, say) has the reader
  // step far past the end a byte or two at a time: nothing is there to read,
  // and a system call for each step would hold the message back for most
  // of a minute.
  if (offset >= stream->file_size) return 0;
  for (int k = 0; k < kWindowCount; ++k) {
    ReadWindow& window = stream->windows[k];
    if (offset >= window.start && offset - window.start <= window.length &&
        size <= window.length - (offset - window.start)) {
      CopyMemory(buffer, window.bytes + (offset - window.start), size);
      stream->last_used = k;
      return static_cast<long>(size);
    }
  }
  DWORD got = 0;
  if (size >= kWindowSize) {
    if (!read_file_at(stream->file, offset, buffer, size, &got)) return -1;
    return static_cast<long>(got);
  }
  int refill = 1 - stream->last_used;
  ReadWindow& window = stream->windows[refill];
  window.length = 0;
  if (!read_file_at(stream->file, offset, window.bytes, kWindowSize, &window.length)) return -1;
  window.start = offset;
  stream->last_used = refill;
  got = window.length < size ? window.length : size;
  CopyMemory(buffer, window.bytes, got);
  return static_cast<long>(got);
}

uLong ZCALLBACK stream_read(voidpf, voidpf opaque_stream, void* buffer, uLong size) {
  EmbeddedStream* stream = static_cast<EmbeddedStream*>(opaque_stream);
  long got = stream_read_at(stream, stream->position, buffer, size);
  if (got < 0) {
    g_read_error = GetLastError();
    stream->error = 1;
    return 0;
  }
  stream->position += static_cast<DWORD>(got);
  return static_cast<uLong>(got);
}

uLong ZCALLBACK stream_write(voidpf, voidpf, const void*, uLong) { return 0; }

long ZCALLBACK stream_tell(voidpf, voidpf opaque_stream) {
  EmbeddedStream* stream = static_cast<EmbeddedStream*>(opaque_stream);
  return static_cast<long>(stream->position - stream->base);
}

long ZCALLBACK stream_seek(voidpf, voidpf opaque_stream, uLong offset, int origin) {
  EmbeddedStream* stream = static_cast<EmbeddedStream*>(opaque_stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      stream->position = stream->base + offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      stream->position += offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_END:
      stream->position = stream->end + offset;
      return 0;
  }
  return -1;
}

int ZCALLBACK stream_close(voidpf, voidpf opaque_stream) {
  EmbeddedStream* stream = static_cast<EmbeddedStream*>(opaque_stream);
  if (g_stream == stream) g_stream = nullptr;
  CloseHandle(stream->file);
  HeapFree(GetProcessHeap(), 0, stream);
  return 0;
}

int ZCALLBACK stream_error(voidpf, voidpf opaque_stream) {
  return static_cast<EmbeddedStream*>(opaque_stream)->error;
}

DWORD archive_base(HANDLE file, DWORD archive_start, DWORD window_end) {
  static unsigned char tail[kArchiveBaseTailSize];
  DWORD first = window_end > sizeof tail + archive_start ? window_end - sizeof tail
                                                         : archive_start;
  DWORD got = 0;
  if (window_end < first + 4 || !read_file_at(file, first, tail, window_end - first, &got) ||
      got < window_end - first) {
    return 0;
  }
  return zip64_archive_base(tail, window_end - first, first);
}

}  // namespace

unsigned long embedded_archive_read_error() { return g_read_error; }

unsigned long embedded_archive_base() { return g_base; }

bool embedded_archive_read(unsigned long offset, void* buffer, unsigned long size,
                           unsigned long* got) {
  *got = 0;
  if (!g_stream) return false;
  long n = stream_read_at(g_stream, static_cast<DWORD>(offset), buffer, static_cast<DWORD>(size));
  if (n < 0) {
    g_read_error = GetLastError();
    return false;
  }
  *got = static_cast<unsigned long>(n);
  return true;
}

unzFile open_embedded_archive(const char* exe_path, long archive_start, int zip_size) {
  g_window_end = static_cast<DWORD>(archive_start) + static_cast<DWORD>(zip_size);
  g_base = 0;
  if (!text_copy(g_exe_path, sizeof g_exe_path, exe_path)) return nullptr;
  HANDLE file = CreateFileA(g_exe_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    g_read_error = GetLastError();
    return nullptr;
  }
  g_base = archive_base(file, static_cast<DWORD>(archive_start), g_window_end);
  CloseHandle(file);
  zlib_filefunc_def access = {};
  access.zopen_file = stream_open;
  access.zread_file = stream_read;
  access.zwrite_file = stream_write;
  access.ztell_file = stream_tell;
  access.zseek_file = stream_seek;
  access.zclose_file = stream_close;
  access.zerror_file = stream_error;
  return unzOpen2(exe_path, &access);
}
