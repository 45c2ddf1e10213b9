// A program for the Exec tests. Named anything (setup.exe, a decoy), it
// writes NAME.started into the folder that VANDREL_MARKER_DIR names, with its
// working directory, its own path and whether its parent has ole32.dll loaded,
// adds a line to NAME.runs (one a start), then writes NAME.done one second
// later, or once NAME.hold is gone when that file is there (at most 30 s). Texts are written in code page 936, as the tests
// write theirs, whatever the machine's ANSI code page. Exit code 0; 2 without
// the variable. Named
// broadcast*.exe, it first announces a changed environment to every
// top-level window with a plain SendMessage, which waits for each of them.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace {

DWORD parent_pid() {
  DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

// "1" or "0", or "?" when the parent's modules cannot be listed.
const char* parent_has_module(const char* module) {
  DWORD parent = parent_pid();
  if (parent == 0) return "?";
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, parent);
  if (snapshot == INVALID_HANDLE_VALUE) return "?";
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  const char* found = "?";
  for (BOOL ok = Module32First(snapshot, &entry); ok; ok = Module32Next(snapshot, &entry)) {
    found = "0";
    if (lstrcmpiA(entry.szModule, module) == 0) {
      found = "1";
      break;
    }
  }
  CloseHandle(snapshot);
  return found;
}

std::string cp936(const std::wstring& text) {
  std::string out(text.size() * 2, '\0');
  int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), &out[0],
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

bool write_text(const std::wstring& path, const std::string& text, bool append = false) {
  HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return written == text.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t dir[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"VANDREL_MARKER_DIR", dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring name = self;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  std::wstring base = std::wstring(dir) + L"\\" + name;

  wchar_t cwd[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, cwd);
  write_text(base + L".started", "cwd=" + cp936(cwd) + "\nself=" + cp936(self) +
                                     "\nparent_ole32=" + parent_has_module("ole32.dll") + "\n");
  write_text(base + L".runs", "started\n", true);
  if (name.compare(0, 9, L"broadcast") == 0) {
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"));
  }
  const std::wstring hold = base + L".hold";
  if (GetFileAttributesW(hold.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Sleep(1000);
  } else {
    for (int waited = 0; waited < 30000 && GetFileAttributesW(hold.c_str()) !=
                                               INVALID_FILE_ATTRIBUTES; waited += 20) {
      Sleep(20);
    }
  }
  write_text(base + L".done", "done\n");
  return 0;
}
