#include "util/fs.h"

#include <string.h>

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

int is_directory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
}

int path_exists_unquoted(char* path) {
  // A path written between double quotes becomes usable.
  str_replace_first(path, "\"", "", kTextPathSize);
  str_replace_first(path, "\"", "", kTextPathSize);
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

// The absolute form of `path` in a 260-byte buffer; 0 when it does not fit.
static int full_path(const char* path, char* out) {
  DWORD n = GetFullPathNameA(path, MAX_PATH, out, nullptr);
  if (n == 0 || n >= MAX_PATH) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

int create_directory_chain(const char* path) {
  char full[MAX_PATH];
  if (!full_path(path, full) || strlen(full) + 1 >= sizeof full) return 0;
  // A folder mostly comes after its parent, as in an archive: one creation
  // does, without a look at every level above it.
  if (CreateDirectoryA(full, nullptr) ||
      (GetLastError() == ERROR_ALREADY_EXISTS && is_directory(full))) {
    return 1;
  }
  text_append(full, sizeof full, "\\");

  char built[MAX_PATH] = "";
  int result = 1;  // nothing created yet counts as success
  for (int index = 0;; ++index) {
    const char* component = str_field(full, "\\", index);
    if (component[0] == '\0') break;
    // `built` never outgrows `full`, which fits, but a cut must not create
    // a directory elsewhere.
    if (!text_append(built, sizeof built, component) || !text_append(built, sizeof built, "\\")) {
      return 0;
    }
    // The first component of a drive path (C:) becomes the drive's root.
    char absolute[MAX_PATH];
    if (!full_path(built, absolute)) return 0;
    text_copy(built, sizeof built, absolute);
    if (!is_directory(built)) result = CreateDirectoryA(built, nullptr) ? 1 : 0;
  }
  return result;
}

const char* path_parent(const char* path, char* out, size_t out_size) {
  const char* last = nullptr;
  for (const char* c = path; *c != '\0'; c += gbk_char_width(c)) {
    if (*c == '\\') last = c;
  }
  size_t length = last != nullptr ? static_cast<size_t>(last - path) : strlen(path);
  if (out_size == 0) return path;
  if (length >= out_size) length = out_size - 1;
  memcpy(out, path, length);
  out[length] = '\0';
  return path;
}

int is_pe_executable(const char* path) {
  ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
