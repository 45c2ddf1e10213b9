// The stub's build ends a process whose stack cookie is overwritten, with
// the system's stack-overrun code, instead of returning into the overflow.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring program_beside_tests(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.rfind(L'\\') + 1) + name;
}

DWORD run_and_wait(const std::wstring& program, const std::wstring& argument) {
  std::wstring line = L"\"" + program + L"\" " + argument;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError() | 0x80000000;
  }
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(Hardening, AnOverflowOfTheStackEndsTheProcessWithTheOverrunCode) {
  const std::wstring program = program_beside_tests(L"stack_overrun_program.exe");
  const struct {
    size_t characters;
    DWORD exit_code;
  } rows[] = {
      {8, 0},                             // fits: the program ends normally
      {200, STATUS_STACK_BUFFER_OVERRUN},  // over the cookie and the return address
      {40, STATUS_STACK_BUFFER_OVERRUN},   // just past the buffer
  };
  for (const auto& row : rows) {
    EXPECT_EQ(run_and_wait(program, std::wstring(row.characters, L'd')), row.exit_code)
        << row.characters << " characters";
  }
}

}  // namespace
