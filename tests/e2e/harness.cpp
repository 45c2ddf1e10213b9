#include "harness.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>

#include "pack/layout.h"

namespace e2e {

using probe::from_wide;
using probe::to_wide;

std::string stub_bytes() {
  static std::string stub;
  if (stub.empty()) {
    EXPECT_TRUE(read_file(VANDREL_STUB_PATH, &stub)) << VANDREL_STUB_PATH;
  }
  return stub;
}

std::string archive_of(const Fixture& fixture) {
  std::string zip;
  std::string error;
  EXPECT_TRUE(vpack::build_archive(fixture.entries, fixture.level, &zip, &error, fixture.comment))
      << error;
  return zip;
}

std::string sfx_bytes(const Fixture& fixture) {
  std::string zip = archive_of(fixture);
  std::string block = fixture.with_zip_size ? vpack::build_config_block_for(fixture.keys, zip)
                                            : vpack::build_config_block(fixture.keys);
  return vpack::assemble_raw(stub_bytes(), block, zip, fixture.padding, 'x');
}

std::vector<size_t> separators(const std::string& path, char separator) {
  std::vector<size_t> found;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByteEx(936, static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == separator) {
      found.push_back(i);
    }
  }
  return found;
}

std::string parent_of(const std::string& path) {
  const std::vector<size_t> found = separators(path);
  return found.empty() ? path : path.substr(0, found.back());
}

static bool ends_with_backslash(const std::string& path) {
  const std::vector<size_t> found = separators(path);
  return !found.empty() && found.back() + 1 == path.size();
}

void remove_tree(const std::string& path) {
  std::string dir = path;
  if (ends_with_backslash(dir)) dir.pop_back();
  remove_tree(to_wide(dir));
}

void remove_tree(const std::wstring& path) {
  std::wstring dir = path;
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(dir.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") remove_tree(dir + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(dir.c_str());
}

std::string fresh_dir(const std::string& name) {
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  std::string root = from_wide(current) + "\\e2e-work\\";
  make_dir(root);
  std::string dir = root + name + "\\";
  remove_tree(dir);
  EXPECT_TRUE(make_dir(dir)) << dir;
  return dir;
}

bool make_dir(const std::string& path) {
  return CreateDirectoryW(to_wide(path).c_str(), nullptr) != 0;
}

bool write_file(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool read_file(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    bytes->append(buffer, got);
  }
  CloseHandle(file);
  return ok;
}

bool file_exists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool dir_exists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static void list_into(const std::wstring& dir, const std::string& prefix,
                      std::vector<std::string>* out) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(prefix + from_wide(name) + "/");
      list_into(dir + name + L"\\", prefix + from_wide(name) + "/", out);
    } else {
      out->push_back(prefix + from_wide(name));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::vector<std::string> list_tree(const std::string& dir) {
  std::string base = dir;
  if (!base.empty() && !ends_with_backslash(base)) base += '\\';
  return list_tree(to_wide(base));
}

std::vector<std::string> list_tree(const std::wstring& dir) {
  std::vector<std::string> out;
  std::wstring base = dir;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  list_into(base, "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

DosStamp dos_stamp(int year, int month, int day, int hour, int minute, int second) {
  DosStamp stamp;
  stamp.date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  stamp.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return stamp;
}

bool local_write_time(const std::string& path, SYSTEMTIME* out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(to_wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME local;
  return FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
         FileTimeToSystemTime(&local, out);
}

vpack::Entry file_entry(const std::string& name, const std::string& data, DosStamp stamp) {
  vpack::Entry entry;
  entry.name = name;
  entry.data = data;
  entry.dos_date = stamp.date;
  entry.dos_time = stamp.time;
  return entry;
}

vpack::Entry dir_entry(const std::string& name, DosStamp stamp) {
  return file_entry(name, std::string(), stamp);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(to_wide(name)) {
  set(value ? to_wide(value).c_str() : nullptr);
}

ScopedEnv::ScopedEnv(const char* name, const std::wstring& value) : name_(to_wide(name)) {
  set(value.c_str());
}

void ScopedEnv::set(const wchar_t* value) {
  wchar_t old[32768];
  DWORD n = GetEnvironmentVariableW(name_.c_str(), old, 32768);
  had_old_ = n > 0 && n < 32768;
  if (had_old_) old_ = old;
  SetEnvironmentVariableW(name_.c_str(), value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableW(name_.c_str(), had_old_ ? old_.c_str() : nullptr);
}

std::string SilentRun::visible_windows() const {
  std::string lines;
  for (const probe::SeenWindow& w : windows) {
    if (w.visible) lines += w.class_name + ":" + w.caption + "\n";
  }
  return lines;
}

SilentRun run_silent(const std::string& exe, const std::string& work_dir,
                     const std::string& args) {
  SilentRun run;
  probe::ProbeProcess process;
  if (!process.start(exe, args, work_dir, &run.start_error)) {
    run.exit.failure = "could not start: " + run.start_error;
    return run;
  }
  run.pid = process.pid();
  run.exit = process.wait_exit_collecting(kRunTimeoutMs, &run.windows);
  return run;
}

void expect_silent_end(const SilentRun& run) {
  ASSERT_TRUE(run.exit.ended) << run.exit.failure;
  EXPECT_EQ(1u, run.exit.code);
  EXPECT_EQ("", run.visible_windows());
}

bool wait_children_ended(DWORD pid, unsigned timeout_ms) {
  return probe::poll_until(
      [&] {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return false;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        bool running = false;
        for (BOOL ok = Process32FirstW(snapshot, &entry); ok && !running;
             ok = Process32NextW(snapshot, &entry)) {
          running = entry.th32ParentProcessID == pid && entry.th32ProcessID != pid;
        }
        CloseHandle(snapshot);
        return !running;
      },
      timeout_ms, 20);
}

FatalRun run_expecting_box(const std::string& exe, const std::string& work_dir,
                           const std::string& args, const std::string& write_fault) {
  FatalRun run;
  probe::ProbeProcess process;
  if (write_fault.empty() ? !process.start(exe, args, work_dir, &run.failure)
                          : !process.start_hooked(exe, args, work_dir, write_fault, &run.failure)) {
    return run;
  }
  probe::WindowQuery query;
  query.class_name = probe::kDialogClass;
  probe::Window box = process.wait_window(query, kRunTimeoutMs, &run.failure);
  if (!box) {
    run.exit = process.wait_exit(1000);
    return run;
  }
  run.box_seen = probe::read_message_box(box, 5000, &run.box, &run.failure);
  if (!probe::answer_box(box, probe::kOk, kRunTimeoutMs, &run.failure)) run.box_seen = false;
  run.exit = process.wait_exit(kRunTimeoutMs);
  return run;
}

void expect_fatal(const FatalRun& run, const std::string& message, DWORD code) {
  ASSERT_TRUE(run.box_seen) << run.failure;
  EXPECT_EQ("Vandrel 错误", run.box.caption);
  EXPECT_EQ(probe::IconStyle::error, run.box.icon) << probe::icon_style_name(run.box.icon);
  EXPECT_EQ(fatal_text(message, code), run.box.text);
  ASSERT_TRUE(run.exit.ended) << run.exit.failure;
  EXPECT_EQ(1u, run.exit.code);
}

std::string fatal_text_prefix(const std::string& message) {
  return std::string("出现了以下错误导致程序无法继续运行：\n\n ") + message + " ";
}

std::string system_text(DWORD code) {
  std::string text;
  wchar_t* formatted = nullptr;
  if (code != 0 &&
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&formatted), 0, nullptr) != 0 &&
      formatted) {
    text = from_wide(formatted);
    LocalFree(formatted);
  }
  return text;
}

std::string fatal_text(const std::string& message, DWORD code) {
  return fatal_text_prefix(message) + system_text(code);
}

}  // namespace e2e
