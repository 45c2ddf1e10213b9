#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "pack/layout.h"

namespace e2e {

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

// The last character is a backslash, not the trail byte of 奬 or 乗.
static bool ends_with_backslash(const std::string& path) {
  size_t i = 0;
  size_t last = std::string::npos;
  while (i < path.size()) {
    last = i;
    i += IsDBCSLeadByteEx(936, static_cast<BYTE>(path[i])) && i + 1 < path.size() ? 2 : 1;
  }
  return last != std::string::npos && path[last] == '\\';
}

void remove_tree(const std::string& path) {
  std::string dir = path;
  if (ends_with_backslash(dir)) dir.pop_back();
  DWORD attributes = GetFileAttributesA(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(dir.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") remove_tree(dir + "\\" + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

std::string fresh_dir(const std::string& name) {
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  std::string root = std::string(current) + "\\e2e-work\\";
  CreateDirectoryA(root.c_str(), nullptr);
  std::string dir = root + name + "\\";
  remove_tree(dir);
  EXPECT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
  return dir;
}

bool write_file(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool read_file(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool dir_exists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static void list_into(const std::string& dir, const std::string& prefix,
                      std::vector<std::string>* out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(prefix + name + "/");
      list_into(dir + name + "\\", prefix + name + "/", out);
    } else {
      out->push_back(prefix + name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<std::string> list_tree(const std::string& dir) {
  std::vector<std::string> out;
  std::string base = dir;
  if (!base.empty() && !ends_with_backslash(base)) base += '\\';
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
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
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

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  char old[32768];
  DWORD n = GetEnvironmentVariableA(name, old, sizeof old);
  had_old_ = n > 0 && n < sizeof old;
  if (had_old_) old_ = old;
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableA(name_.c_str(), had_old_ ? old_.c_str() : nullptr);
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
  run.exit = process.wait_exit_collecting(kRunTimeoutMs, &run.windows);
  return run;
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
  box.command(probe::kOk);
  run.exit = process.wait_exit(kRunTimeoutMs);
  return run;
}

std::string fatal_text_prefix(const std::string& message) {
  return std::string("出现了以下错误导致程序无法继续运行：\n\n ") + message + " ";
}

std::string fatal_text(const std::string& message, DWORD code) {
  std::string system_text;
  char* formatted = nullptr;
  if (code != 0 &&
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0x400, reinterpret_cast<char*>(&formatted), 0, nullptr) != 0 &&
      formatted) {
    system_text = formatted;
    LocalFree(formatted);
  }
  return fatal_text_prefix(message) + system_text;
}

}  // namespace e2e
