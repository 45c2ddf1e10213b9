// Registered in the test prefix as the shell's handler for documents and
// folders, as `"shell_logger.exe" VERB "%1"`: appends one line per call to
// the file that VANDREL_SHELL_LOG names, "VERB|PATH|cwd=DIR". The command
// line is read raw: a folder ending with a backslash before the closing
// quote would lose that quote to the usual argument rules.
// Lines are written in code page 936, as the tests write theirs, whatever the
// machine's ANSI code page. Exit code 0; 2 without the variable.
#include <windows.h>

#include <string>

static std::string cp936(const wchar_t* text) {
  std::string out(lstrlenW(text) * 2, '\0');
  int n = WideCharToMultiByte(936, 0, text, lstrlenW(text), &out[0],
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t log[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"VANDREL_SHELL_LOG", log, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::string rest = cp936(GetCommandLineW());
  // Skip the program, quoted or not, then take the verb up to a blank.
  size_t at = rest[0] == '"' ? rest.find('"', 1) + 1 : rest.find(' ');
  rest = at == std::string::npos || at > rest.size() ? std::string() : rest.substr(at);
  rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size()
                                                                 : rest.find_first_not_of(' '));
  std::string verb = rest.substr(0, rest.find(' '));
  std::string path = rest.find(' ') == std::string::npos ? std::string() : rest.substr(rest.find(' ') + 1);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    path = path.substr(1, path.size() - 2);
  }
  std::string line = verb + "|" + path + "|";
  wchar_t cwd[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, cwd);
  line += "cwd=" + cp936(cwd) + "\n";
  // Several handlers may run at once: retry while another one appends.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(file);
      return 0;
    }
    Sleep(10);
  }
  return 1;
}
