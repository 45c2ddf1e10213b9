// Small operations on paths and files. Paths are UTF-16 texts in
// 260-character buffers. None reports an error: each answers 0 and the caller
// decides.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

// 1 when the path exists and is a directory.
int is_directory(const wchar_t* path);
// Removes the first two double quotes of `path` in place, then 1 when the
// path names an existing file or directory.
int path_exists_unquoted(wchar_t* path);
// Creates every missing directory of `path`. Non-zero when the last creation
// attempted succeeded, or when nothing had to be created. A failed creation
// does not stop the deeper ones, which are attempted and fail in turn.
int create_directory_chain(const wchar_t* path);
// Copies the part of `path` before its last backslash into `out` (the whole
// path when it has none), cut to `out_size` characters. Returns `path`.
const wchar_t* path_parent(const wchar_t* path, wchar_t* out, size_t out_size);
// 1 when the file starts with the DOS and PE headers of an executable image.
int is_pe_executable(const wchar_t* path);
// One read of `size` bytes at `offset`; it moves the handle's file position,
// so a handle is read from one thread at a time.
// True when the read succeeded; `got` is 0 at or past the end of the file.
bool read_file_at(HANDLE file, DWORD offset, void* buffer, DWORD size, DWORD* got);

// The reads of the payload scan and of the archive reader: `context` is the
// executable's handle. The bytes read, or -1 when the read failed; the
// system's code of the last failure is kept for the box.
long read_executable(void* context, uint32_t offset, unsigned char* buffer, uint32_t size);
unsigned long last_executable_read_error();

// Dispatches the calling thread's waiting messages, the dialog's keys
// through the dialog: a thread that waits keeps its windows answering.
void serve_waiting_messages(HWND dialog);
