// Interrupts the Windows builder by console control events while it packs,
// and checks that it ends as Ctrl+C ends a program and leaves no file beside
// its output. Usage: pack_interrupt_test PATH\vandrel-pack.exe
#include <windows.h>

#include <stdio.h>

#include <string>

namespace {

const DWORD kWaitMs = 120000;

// The driver outlives the Ctrl+C it sends to its whole console.
BOOL WINAPI keep_running(DWORD) { return TRUE; }

bool write_noise(const std::wstring& path, DWORD size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, bytes.data(), size, &written, nullptr) && written == size;
  CloseHandle(h);
  return ok;
}

// The names in `folder` that start with `prefix`.
std::wstring names_starting(const std::wstring& folder, const std::wstring& prefix) {
  std::wstring found;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return found;
  do {
    found += std::wstring(found.empty() ? L"" : L", ") + data.cFileName;
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return found;
}

struct Row {
  const char* what;
  DWORD event;     // sent to every process of the console, this one included
  bool new_group;  // started in a group of its own, which ignores Ctrl+C
  bool ends;       // ended by the event; otherwise it writes its output
};

bool run_row(const Row& row, const std::wstring& tool, const std::wstring& source,
             const std::wstring& folder) {
  std::wstring out = folder + L"\\out.exe";
  std::wstring command = L"\"" + tool + L"\" --level 9 \"" + source + L"\" -o \"" + out + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  DWORD flags = row.new_group ? CREATE_NEW_PROCESS_GROUP : 0;
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                      &si, &pi)) {
    printf("%s: cannot start the builder (error %lu)\n", row.what, GetLastError());
    return false;
  }
  CloseHandle(pi.hThread);
  std::wstring part = L"out.exe.part" + std::to_wstring(pi.dwProcessId);
  bool ok = false;
  // Interrupted once its temporary output exists.
  for (DWORD start = GetTickCount();;) {
    if (GetFileAttributesW((folder + L"\\" + part).c_str()) != INVALID_FILE_ATTRIBUTES) {
      ok = true;
      break;
    }
    if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) {
      printf("%s: the builder ended before it wrote\n", row.what);
      break;
    }
    if (GetTickCount() - start > kWaitMs) {
      printf("%s: no %ls after %lu ms\n", row.what, part.c_str(), kWaitMs);
      break;
    }
  }
  if (ok && !GenerateConsoleCtrlEvent(row.event, 0)) {
    printf("%s: GenerateConsoleCtrlEvent failed (error %lu)\n", row.what, GetLastError());
    ok = false;
  }
  if (WaitForSingleObject(pi.hProcess, kWaitMs) != WAIT_OBJECT_0) {
    printf("%s: the builder still runs %lu ms later\n", row.what, kWaitMs);
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, kWaitMs);
    ok = false;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  DWORD expected = row.ends ? static_cast<DWORD>(STATUS_CONTROL_C_EXIT) : 0;
  if (ok && code != expected) {
    printf("%s: exit code 0x%lX, not 0x%lX\n", row.what, code, expected);
    ok = false;
  }
  std::wstring left = names_starting(folder, L"out.exe");
  if (left != (row.ends ? L"" : L"out.exe")) {
    printf("%s: left %ls\n", row.what, left.c_str());
    ok = false;
  }
  printf("%s: %s\n", row.what, ok ? "ok" : "FAILED");
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: pack_interrupt_test vandrel-pack.exe\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  // Without a console of its own (a pipe for output) there is nothing to
  // send events through: one is made.
  // A console of its own for the events: Wine's console for a program
  // started from a pipe passes none on.
  FreeConsole();
  if (!AllocConsole()) {
    printf("cannot make a console (error %lu)\n", GetLastError());
    return 2;
  }
  SetConsoleCtrlHandler(keep_running, TRUE);
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::wstring base = std::wstring(temp) + L"vpack-interrupt-" + std::to_wstring(GetCurrentProcessId());
  std::wstring source = base + L"\\src", output = base + L"\\out";
  CreateDirectoryW(base.c_str(), nullptr);
  CreateDirectoryW(source.c_str(), nullptr);
  // Deflated at level 9 in memory, a file at a time: seconds of work.
  for (unsigned i = 0; i < 24; ++i) {
    if (!write_noise(source + L"\\noise" + std::to_wstring(i) + L".bin", 1 << 20, i + 1)) {
      printf("cannot write the source files\n");
      return 2;
    }
  }
  // Wine sends no Ctrl+Break (GenerateConsoleCtrlEvent fails with error 6);
  // the builder's handler takes every event alike.
  const Row rows[] = {
      {"Ctrl+C", CTRL_C_EVENT, false, true},
      {"Ctrl+C in a group of its own", CTRL_C_EVENT, true, false},
  };
  bool all = true;
  for (const Row& row : rows) {
    CreateDirectoryW(output.c_str(), nullptr);
    all &= run_row(row, argv[1], source, output);
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((output + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((output + L"\\" + data.cFileName).c_str());
      } while (FindNextFileW(h, &data));
      FindClose(h);
    }
    RemoveDirectoryW(output.c_str());
  }
  for (unsigned i = 0; i < 24; ++i)
    DeleteFileW((source + L"\\noise" + std::to_wstring(i) + L".bin").c_str());
  RemoveDirectoryW(source.c_str());
  RemoveDirectoryW(base.c_str());
  return all ? 0 : 1;
}
