// The floor under the stub's extraction time: a program that makes the same
// directories and files of the same sizes, writes, stamps and closes them
// with the calls the stub makes, and decompresses nothing. Reads a list
// made by bench/entry_list.py, one line per entry:
//   D <name>          a directory
//   F <size> <dos date-time, hex> <name>
// Names are relative, with backslashes, in the ANSI code page.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char g_block[64 * 1024];

static int fail(const char* what, const char* name) {
  fprintf(stderr, "bare_extract: %s %s (error %lu)\n", what, name, GetLastError());
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bare_extract LIST DESTINATION\n");
    return 2;
  }
  FILE* list = fopen(argv[1], "rb");
  if (!list) return fail("cannot open", argv[1]);
  CreateDirectoryA(argv[2], nullptr);
  char line[1024];
  char path[MAX_PATH * 2];
  while (fgets(line, sizeof line, list)) {
    line[strcspn(line, "\r\n")] = '\0';
    if (line[0] == 'D') {
      snprintf(path, sizeof path, "%s\\%s", argv[2], line + 2);
      if (!CreateDirectoryA(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return fail("cannot create directory", path);
      continue;
    }
    char* cursor = line + 2;
    unsigned long long size = strtoull(cursor, &cursor, 10);
    unsigned long stamp = strtoul(cursor, &cursor, 16);
    snprintf(path, sizeof path, "%s\\%s", argv[2], cursor + 1);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail("cannot create", path);
    while (size > 0) {
      DWORD chunk = size < sizeof g_block ? static_cast<DWORD>(size) : sizeof g_block;
      DWORD written = 0;
      if (!WriteFile(file, g_block, chunk, &written, nullptr) || written != chunk)
        return fail("cannot write", path);
      size -= chunk;
    }
    FILETIME local_time, utc_time;
    if (DosDateTimeToFileTime(HIWORD(stamp), LOWORD(stamp), &local_time) &&
        LocalFileTimeToFileTime(&local_time, &utc_time)) {
      SetFileTime(file, nullptr, nullptr, &utc_time);
    }
    CloseHandle(file);
  }
  fclose(list);
  return 0;
}
