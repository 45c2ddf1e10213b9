#include "util/fs.h"

#include <string.h>
#include <wchar.h>

#include <iterator>

#include "util/handles.h"
#include "util/text.h"

bool read_file_at(HANDLE file, DWORD offset, void* buffer, DWORD size, DWORD* got) {
  *got = 0;
  // A seek and a plain read rather than a read that names its offset in an
  // OVERLAPPED: under Wine such a read also posts a completion through the
  // server, a round trip for every read of the archive.
  LONG high = 0;  // with a high word given, the low word counts unsigned
  SetLastError(NO_ERROR);
  if (SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return false;
  }
  if (ReadFile(file, buffer, size, got, nullptr)) return true;
  return GetLastError() == ERROR_HANDLE_EOF;
}

int is_directory(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
}

int path_exists_unquoted(wchar_t* path) {
  // A path written between double quotes becomes usable.
  str_replace_first(path, L"\"", L"", kTextPathSize);
  str_replace_first(path, L"\"", L"", kTextPathSize);
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

// The absolute form of `path` in a 260-character buffer; 0 when it does not fit.
static int full_path(const wchar_t* path, wchar_t* out) {
  DWORD n = GetFullPathNameW(path, MAX_PATH, out, nullptr);
  if (n == 0 || n >= MAX_PATH) {
    // The system says nothing of a path that is only too long.
    if (n != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    out[0] = L'\0';
    return 0;
  }
  return 1;
}

int create_directory_chain(const wchar_t* path) {
  wchar_t full[MAX_PATH];
  if (!full_path(path, full)) return 0;
  if (wcslen(full) + 1 >= MAX_PATH) {
    // The box must not show the text of an earlier, unrelated error.
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  // A folder mostly comes after its parent, as in an archive: one creation
  // does, without a look at every level above it.
  if (CreateDirectoryW(full, nullptr) ||
      (GetLastError() == ERROR_ALREADY_EXISTS && is_directory(full))) {
    return 1;
  }
  text_append(full, MAX_PATH, L"\\");

  wchar_t built[MAX_PATH] = L"";
  int result = 1;  // nothing created yet counts as success
  for (int index = 0;; ++index) {
    // A folder made of many new levels must not grow memory with each.
    wchar_t component[MAX_PATH];
    if (!str_field_copy(full, L"\\", index, component, std::size(component))) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    if (component[0] == L'\0') break;
    // `built` never outgrows `full`, which fits, but a cut must not create
    // a directory elsewhere.
    if (!text_append(built, MAX_PATH, component) || !text_append(built, MAX_PATH, L"\\")) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    // The first component of a drive path (C:) becomes the drive's root.
    wchar_t absolute[MAX_PATH];
    if (!full_path(built, absolute)) return 0;
    text_copy(built, MAX_PATH, absolute);
    if (!is_directory(built)) result = CreateDirectoryW(built, nullptr) ? 1 : 0;
  }
  return result;
}

const wchar_t* path_parent(const wchar_t* path, wchar_t* out, size_t out_size) {
  const wchar_t* last = wcsrchr(path, L'\\');
  size_t length = last != nullptr ? static_cast<size_t>(last - path) : wcslen(path);
  if (out_size == 0) return path;
  if (length >= out_size) length = out_size - 1;
  wmemcpy(out, path, length);
  out[length] = L'\0';
  return path;
}

int is_pe_executable(const wchar_t* path) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return 0;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return 0;
  // Only the two headers are read: a program of a gigabyte or more may not
  // fit the 32-bit stub's address space as a whole.
  unsigned char dos_header[64];
  DWORD got = 0;
  if (!read_file_at(file.get(), 0, dos_header, sizeof dos_header, &got) ||
      got != sizeof dos_header) {
    return 0;
  }
  if (dos_header[0] != 'M' || dos_header[1] != 'Z') return 0;
  // The DOS header's PE offset sits at byte 60.
  DWORD offset;
  memcpy(&offset, dos_header + 60, sizeof offset);
  // The 248 bytes of the PE headers must lie inside the file.
  if (static_cast<ULONGLONG>(offset) + 248 > static_cast<ULONGLONG>(size.QuadPart)) return 0;
  DWORD signature = 0;
  if (!read_file_at(file.get(), offset, &signature, sizeof signature, &got) ||
      got != sizeof signature) {
    return 0;
  }
  return signature == 0x4550 ? 1 : 0;
}

static DWORD g_executable_read_error;

long read_executable(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  DWORD got = 0;
  if (!read_file_at(static_cast<HANDLE>(context), offset, buffer, size, &got)) {
    g_executable_read_error = GetLastError();
    return -1;
  }
  return static_cast<long>(got);
}

unsigned long last_executable_read_error() { return g_executable_read_error; }

void serve_waiting_messages(HWND dialog) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!dialog || !IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}
