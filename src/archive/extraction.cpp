#include "archive/extraction.h"

#include <commctrl.h>

#include "core/fatal.h"
#include "core/state.h"
#include "archive/embedded_archive.h"
#include "archive/entry_name.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

const char kDamaged[] = "不能读取文件信息。此文件可能已经损坏。";
const char kCannotExtract[] = "不能解压缩当前文件。";
const DWORD kCopyBufferSize = 65535;
const WORD kUtf8NameFlag = 1 << 11;

// The reader failed: a read of the executable, or else damaged data, for
// which the system has no text.
[[noreturn]] void fatal_damaged() { fatal_error_code(kDamaged, embedded_archive_read_error()); }

// A name the extraction refuses; no system call failed.
[[noreturn]] void fatal_refused_name() { fatal_error_code(kCannotExtract, 0); }

// The copy buffer, taken once and kept for every entry of the run: under Wine
// each allocation and release costs system calls, per file.
char* g_copy_buffer;

char* copy_buffer() {
  if (!g_copy_buffer) {
    g_copy_buffer = static_cast<char*>(
        VirtualAlloc(nullptr, kCopyBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!g_copy_buffer) fatal_error(kCannotExtract);
  }
  return g_copy_buffer;
}

void release_copy_buffer() {
  if (g_copy_buffer) VirtualFree(g_copy_buffer, 0, MEM_RELEASE);
  g_copy_buffer = nullptr;
}

// Reads the current entry's information and its name in the ANSI code page.
// Names flagged as UTF-8 are converted; a name that does not fit the buffer
// or that the code page cannot hold ends the process before anything of the
// entry is written.
void read_entry_name(unzFile archive, unz_file_info* info, char* name, int size) {
  ZeroMemory(name, size);
  if (unzGetCurrentFileInfo(archive, info, name, size, nullptr, 0, nullptr, 0) != UNZ_OK) {
    fatal_damaged();
  }
  if (info->size_filename >= static_cast<uLong>(size)) fatal_refused_name();
  // A NUL inside the recorded name would cut it short: "dir/\0x" would pass
  // for the directory entry "dir/" and its data would be lost unnoticed.
  if (strnlen(name, size) != info->size_filename) fatal_error_code(kDamaged, 0);
  if (!(info->flag & kUtf8NameFlag)) return;

  WCHAR wide[MAX_PATH];
  int wide_length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, MAX_PATH);
  if (wide_length == 0) fatal_refused_name();
  char converted[MAX_PATH];
  BOOL lossy = FALSE;
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, converted, sizeof converted,
                          nullptr, &lossy) == 0 ||
      lossy) {
    fatal_refused_name();
  }
  text_copy(name, size, converted);
}

// The local header must name the entry as the central directory does: every
// archive a real tool writes has equal names, and an entry whose two names
// differ is damaged (or made to mislead). Called with the entry open.
void check_local_name(unzFile archive, const unz_file_info& info) {
  char central[MAX_PATH];
  char local[MAX_PATH];
  if (unzGetCurrentFileInfo(archive, nullptr, central, sizeof central, nullptr, 0, nullptr, 0) !=
      UNZ_OK) {
    fatal_damaged();
  }
  ZPOS64_T data_offset = unzGetCurrentFileZStreamPos64(archive);
  int extra_length = unzGetLocalExtrafield(archive, nullptr, 0);
  ZPOS64_T name_length = info.size_filename;
  if (extra_length < 0 || data_offset < name_length + static_cast<ZPOS64_T>(extra_length)) {
    fatal_error_code(kDamaged, 0);
  }
  ZPOS64_T name_offset = data_offset - static_cast<ZPOS64_T>(extra_length) - name_length +
                         embedded_archive_base();
  DWORD got = 0;
  if (name_offset > 0xFFFFFFFFu ||
      !read_file_at(g_state.exe_handle, static_cast<DWORD>(name_offset), local,
                    static_cast<DWORD>(name_length), &got)) {
    fatal_damaged();
  }
  if (got != name_length || memcmp(local, central, name_length) != 0) fatal_error_code(kDamaged, 0);
}

// True when `path` (absolute) lies in `directory` (absolute, ending with a
// backslash) or is that directory itself.
bool lies_within(const char* path, const char* directory) {
  size_t length = lstrlenA(directory);
  if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(length),
                     directory, static_cast<int>(length)) == CSTR_EQUAL) {
    return true;
  }
  // The directory itself, written without its final backslash.
  return lstrlenA(path) + 1 == static_cast<int>(length) &&
         CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(length) - 1,
                        directory, static_cast<int>(length) - 1) == CSTR_EQUAL;
}

// Joins directory and name and makes the result absolute; an entry that
// would not fit or that would land outside the destination is refused.
void entry_target_path(const char* directory, const char* name, char* path) {
  char joined[MAX_PATH];
  if (entry_name_escapes(name) ||
      !text_format(joined, sizeof joined, "%s%s", directory, name)) {
    fatal_refused_name();
  }
  DWORD length = GetFullPathNameA(joined, MAX_PATH, path, nullptr);
  if (length == 0) fatal_error(kCannotExtract);
  if (length >= MAX_PATH) fatal_refused_name();
  collapse_double_backslashes(path);
  if (!lies_within(path, directory)) fatal_refused_name();
}

// The file being written. A user who quits the wizard while an entry is
// written ends the process at once; the file cut short then must not stay
// behind looking complete, so the quitting thread removes it. The lock is
// held while the file is created, while each block is written and while it
// is closed, never while the worker talks to the windows.
SRWLOCK g_output_lock = SRWLOCK_INIT;
HANDLE g_output;
char g_output_path[MAX_PATH];
const DWORD kAbandonWaitMs = 5000;

HANDLE create_output(const char* path) {
  AcquireSRWLockExclusive(&g_output_lock);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) {
    g_output = file;
    text_copy(g_output_path, sizeof g_output_path, path);
  }
  ReleaseSRWLockExclusive(&g_output_lock);
  // The caller's error box tells why the creation failed.
  SetLastError(error);
  return file;
}

BOOL write_output(HANDLE file, const char* data, DWORD size, DWORD* written) {
  AcquireSRWLockExclusive(&g_output_lock);
  BOOL ok = WriteFile(file, data, size, written, nullptr);
  ReleaseSRWLockExclusive(&g_output_lock);
  return ok;
}

void close_output(HANDLE file) {
  AcquireSRWLockExclusive(&g_output_lock);
  CloseHandle(file);
  g_output = nullptr;
  ReleaseSRWLockExclusive(&g_output_lock);
}

void stamp_last_write_time(HANDLE file, uLong dos_date) {
  FILETIME local_time;
  FILETIME utc_time;
  // A date the system cannot convert leaves the time the file was given.
  if (!DosDateTimeToFileTime(HIWORD(dos_date), LOWORD(dos_date), &local_time)) return;
  if (!LocalFileTimeToFileTime(&local_time, &utc_time)) return;
  SetFileTime(file, nullptr, nullptr, &utc_time);
}

// Silent mode has no page: the calls would address no window, so they are
// not made at all.
void send_progress(UINT message, WPARAM wparam, LPARAM lparam) {
  if (!g_state.page_window) return;
  SendMessageA(GetDlgItem(g_state.page_window, kIdProgressBar), message, wparam, lparam);
}

void set_status_text(const char* name) {
  if (!g_state.page_window) return;
  char status[256];
  if (!text_format(status, sizeof status, "正在解压缩 %s ...", name)) drop_split_character(status);
  SetDlgItemTextA(g_state.page_window, kIdStatusText, status);
}

// The entry records hold 32-bit sizes: an archive whose ZIP64 records give
// an entry more than that is refused before anything is written, never
// half extracted.
void refuse_64_bit_sizes(unzFile archive) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) fatal_damaged();
  if (global.number_entry > 0xFFFFFFFFu) fatal_error_code(kDamaged, 0);
  for (ZPOS64_T k = 0; k < global.number_entry; ++k) {
    if (k > 0 && unzGoToNextFile(archive) != UNZ_OK) fatal_damaged();
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      fatal_damaged();
    }
    if (info.compressed_size > 0xFFFFFFFFu || info.uncompressed_size > 0xFFFFFFFFu) {
      fatal_error_code(kDamaged, 0);
    }
  }
  if (global.number_entry > 0 && unzGoToFirstFile(archive) != UNZ_OK) fatal_damaged();
}

}  // namespace

int extract_current_entry(unzFile archive, const char* directory) {
  unz_file_info info;
  char name[MAX_PATH];
  read_entry_name(archive, &info, name, sizeof name);

  // An empty last component means a directory.
  bool has_separator = false;
  const char* last_component = entry_last_component(name, &has_separator);

  char path[MAX_PATH];
  entry_target_path(directory, name, path);
  bool decodable = info.compression_method == 0 || info.compression_method == Z_DEFLATED;
  if (*last_component == 0) {
    // Opened only to compare its names; a directory entry of another method
    // is taken as it always was.
    if (decodable) {
      if (unzOpenCurrentFile(archive) != UNZ_OK) fatal_damaged();
      check_local_name(archive, info);
      unzCloseCurrentFile(archive);
    }
    create_directory_chain(path);
    return 0;
  }

  char* buffer = copy_buffer();
  // Only stored and deflated data can be decoded; the reader would hand out
  // the bytes of any other method undecoded.
  if (!decodable) fatal_error_code(kDamaged, 0);
  // Opened before the output exists: an unreadable entry leaves no new file.
  if (unzOpenCurrentFile(archive) != UNZ_OK) fatal_damaged();
  check_local_name(archive, info);

  HANDLE file = create_output(path);
  if (file == INVALID_HANDLE_VALUE) {
    if (!has_separator) fatal_error(kCannotExtract);
    char parent[MAX_PATH];
    path_parent(path, parent, sizeof parent);
    create_directory_chain(parent);
    file = create_output(path);
    if (file == INVALID_HANDLE_VALUE) fatal_error(kCannotExtract);
  }

  uLong total = 0;
  for (;;) {
    int count = unzReadCurrentFile(archive, buffer, kCopyBufferSize);
    if (count < 0) fatal_damaged();
    if (count == 0) break;
    total += static_cast<uLong>(count);
    // A short write loses data as surely as a failed one.
    DWORD written = 0;
    if (!write_output(file, buffer, static_cast<DWORD>(count), &written)) {
      fatal_error(kCannotExtract);
    }
    if (written != static_cast<DWORD>(count)) fatal_error_code(kCannotExtract, 0);
  }
  stamp_last_write_time(file, info.dosDate);
  close_output(file);
  // Data whose CRC-32 disagrees with the archive, or a stream that ends
  // before the recorded size (the reader then skips the CRC check), are
  // damaged, not extracted.
  if (unzCloseCurrentFile(archive) == UNZ_CRCERROR) fatal_error_code(kDamaged, ERROR_CRC);
  if (total != info.uncompressed_size) fatal_error_code(kDamaged, 0);
  return 0;
}

void abandon_current_entry() {
  // Waits at most for the one block being written.
  DWORD start = GetTickCount();
  while (!TryAcquireSRWLockExclusive(&g_output_lock)) {
    if (GetTickCount() - start >= kAbandonWaitMs) return;
    Sleep(1);
  }
  if (g_output) {
    CloseHandle(g_output);
    g_output = nullptr;
    DeleteFileA(g_output_path);
  }
  // The lock stays held: the worker creates and writes nothing more before
  // the process ends.
}

DWORD WINAPI extraction_worker(LPVOID) {
  text_append(g_state.target_dir, sizeof g_state.target_dir, "\\");
  char absolute[MAX_PATH];
  DWORD length = GetFullPathNameA(g_state.target_dir, MAX_PATH, absolute, nullptr);
  if (length == 0) fatal_error(kCannotExtract);
  if (length >= MAX_PATH) fatal_error_code(kCannotExtract, 0);
  text_copy(g_state.target_dir, sizeof g_state.target_dir, absolute);

  unzFile archive =
      open_embedded_archive(g_state.exe_path, g_state.archive_start, g_state.config.zip_size);
  unz_global_info global;
  if (unzGetGlobalInfo(archive, &global) != UNZ_OK) fatal_damaged();
  DWORD count = global.number_entry;
  refuse_64_bit_sizes(archive);
  // The range's 16-bit form would wrap beyond 65,535 entries (a ZIP64
  // archive can hold more).
  if (count <= 0xFFFF) {
    send_progress(PBM_SETRANGE, 0, static_cast<LPARAM>(count) << 16);
  } else {
    send_progress(PBM_SETRANGE32, 0, static_cast<LPARAM>(count));
  }

  for (DWORD k = 1; k <= count; ++k) {
    unz_file_info info;
    char name[MAX_PATH];
    read_entry_name(archive, &info, name, sizeof name);
    set_status_text(name);
    extract_current_entry(archive, g_state.target_dir);
    item_list_push(&g_state.extracted_list, name);
    if (k < count && unzGoToNextFile(archive) != UNZ_OK) fatal_damaged();
    send_progress(PBM_SETPOS, k, 0);
  }
  unzCloseCurrentFile(archive);
  unzClose(archive);
  release_copy_buffer();
  send_progress(PBM_SETPOS, count, 0);
  Sleep(300);
  // Silent mode has no frame: a post to no window would land in this
  // thread's own queue.
  if (g_state.frame_window) PostMessageA(g_state.frame_window, WM_COMMAND, kIdNext, 0);
  return 0;
}
