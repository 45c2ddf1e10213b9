#include "archive/embedded_archive.h"

#include <windows.h>

#include "util/fs.h"

namespace {

// The code of a failed open of the executable or of its size.
DWORD g_open_error;

void close_executable(void* context) { CloseHandle(static_cast<HANDLE>(context)); }

}  // namespace

// A failure of the reader tells a system error from damaged data by the
// code of the failed open or of the last failed read.
unsigned long embedded_archive_read_error() {
  return g_open_error ? g_open_error : last_executable_read_error();
}

// The reader's own handle on the executable, apart from the start-up's: the
// reads move its file position. It is closed when the reader closes.
unzFile open_embedded_archive(ArchiveWindow* window, const wchar_t* exe_path, long archive_start,
                              int zip_size) {
  HANDLE file = CreateFileW(exe_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    g_open_error = GetLastError();
    return nullptr;
  }
  // A size whose low word reads as the failure value is 4 GiB less one byte
  // or more, far past what the window takes: refused either way.
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE) g_open_error = GetLastError();
  if (low == INVALID_FILE_SIZE ||
      !archive_window_open(window, read_executable, file,
                           static_cast<uint64_t>(high) << 32 | low,
                           static_cast<uint32_t>(archive_start), static_cast<uint32_t>(zip_size))) {
    CloseHandle(file);
    return nullptr;
  }
  window->close = close_executable;
  zlib_filefunc_def access;
  archive_window_hooks(window, &access);
  // The reader opens the window, not a file: the name is not used.
  return unzOpen2("", &access);
}
