// Interrupts the Windows builder by Ctrl+C while it packs: it must end as an
// interrupt ends a program and leave no file beside its output, unless it was
// started in a process group that ignores Ctrl+C. Wine sends no Ctrl+Break
// (GenerateConsoleCtrlEvent fails with error 6); the builder's handler takes
// every console event alike.
// Usage: pack_interrupt_test PATH\vandrel-pack.exe
#include <windows.h>

#include <stdio.h>

#include <string>

namespace {

const DWORD kWaitMs = 120000;

// The driver outlives the Ctrl+C it sends to its whole console.
BOOL WINAPI keep_running(DWORD) { return TRUE; }

// The names in `folder`, and deletes them.
std::wstring empty_folder(const std::wstring& folder) {
  std::wstring found;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return found;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    found += std::wstring(found.empty() ? L"" : L" ") + data.cFileName;
    DeleteFileW((folder + L"\\" + data.cFileName).c_str());
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return found;
}

struct Row {
  const char* what;
  bool new_group;  // a group of its own ignores Ctrl+C: the file is written
};

bool run_row(const Row& row, const std::wstring& tool, const std::wstring& source,
             const std::wstring& folder) {
  std::wstring command = L"\"" + tool + L"\" --level 9 \"" + source + L"\" -o \"" + folder +
                         L"\\out.exe\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE,
                      row.new_group ? CREATE_NEW_PROCESS_GROUP : 0, nullptr, nullptr, &si, &pi)) {
    printf("%s: cannot start the builder (error %lu)\n", row.what, GetLastError());
    return false;
  }
  CloseHandle(pi.hThread);
  // Interrupted once its temporary output exists.
  std::wstring part = folder + L"\\out.exe.part" + std::to_wstring(pi.dwProcessId);
  bool ok = false;
  for (DWORD start = GetTickCount(); !ok && GetTickCount() - start < kWaitMs;) {
    ok = GetFileAttributesW(part.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!ok && WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
  }
  if (!ok) printf("%s: no temporary output while it ran\n", row.what);
  if (ok && !GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    printf("%s: GenerateConsoleCtrlEvent failed (error %lu)\n", row.what, GetLastError());
    ok = false;
  }
  if (WaitForSingleObject(pi.hProcess, kWaitMs) != WAIT_OBJECT_0) {
    printf("%s: the builder still runs %lu ms later\n", row.what, kWaitMs);
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, kWaitMs);
    ok = false;
  }
  DWORD code = 0, expected = row.new_group ? 0 : static_cast<DWORD>(STATUS_CONTROL_C_EXIT);
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  if (ok && code != expected) {
    printf("%s: exit code 0x%lX, not 0x%lX\n", row.what, code, expected);
    ok = false;
  }
  std::wstring left = empty_folder(folder);
  if (left != (row.new_group ? L"out.exe" : L"")) {
    printf("%s: left '%ls'\n", row.what, left.c_str());
    ok = false;
  }
  printf("%s: %s\n", row.what, ok ? "ok" : "FAILED");
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  setvbuf(stdout, nullptr, _IONBF, 0);
  // A console of its own for the event: Wine's console for a program
  // started with its output in a pipe passes none on.
  FreeConsole();
  if (!AllocConsole()) {
    printf("cannot make a console (error %lu)\n", GetLastError());
    return 2;
  }
  SetConsoleCtrlHandler(keep_running, TRUE);
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::wstring base = temp + std::wstring(L"vpack-interrupt-") +
                      std::to_wstring(GetCurrentProcessId());
  std::wstring source = base + L"\\src", output = base + L"\\out";
  CreateDirectoryW(base.c_str(), nullptr);
  CreateDirectoryW(source.c_str(), nullptr);
  CreateDirectoryW(output.c_str(), nullptr);
  // 24 MiB that deflate cannot shrink, at level 9: seconds of work.
  std::string noise(1 << 20, '\0');
  unsigned x = 1;
  bool written = true;
  for (int i = 0; i < 24; ++i) {
    for (char& c : noise) x = x * 1103515245u + 12345u, c = static_cast<char>(x >> 23);
    HANDLE h = CreateFileW((source + L"\\noise" + std::to_wstring(i)).c_str(), GENERIC_WRITE, 0,
                           nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    written &= h != INVALID_HANDLE_VALUE &&
               WriteFile(h, noise.data(), static_cast<DWORD>(noise.size()), &done, nullptr) &&
               done == noise.size();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  const Row rows[] = {{"Ctrl+C", false}, {"Ctrl+C in a group of its own", true}};
  bool all = written;
  for (const Row& row : rows) all &= written && run_row(row, argv[1], source, output);
  empty_folder(source);
  RemoveDirectoryW(source.c_str());
  RemoveDirectoryW(output.c_str());
  RemoveDirectoryW(base.c_str());
  return all ? 0 : 1;
}
