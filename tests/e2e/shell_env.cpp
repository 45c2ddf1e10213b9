#include "shell_env.h"

#include <gtest/gtest.h>

#include <functional>

#include "harness.h"

namespace e2e {

namespace {

const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const char kTestClass[] = "VandrelTest.Document";

bool poll(unsigned timeout_ms, const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(20);
  }
}

}  // namespace

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::string& key,
                                         const std::string& name, const std::string& value)
    : root_(root), key_(probe::to_wide(key)), name_(probe::to_wide(name)) {
  HKEY handle;
  if (RegCreateKeyExW(root, key_.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  DWORD size = 0;
  const wchar_t* value_name = name.empty() ? nullptr : name_.c_str();
  if (RegQueryValueExW(handle, value_name, nullptr, &old_type_, nullptr, &size) ==
      ERROR_SUCCESS) {
    old_data_.resize(size);
    had_old_ = RegQueryValueExW(handle, value_name, nullptr, &old_type_,
                                old_data_.empty() ? nullptr : old_data_.data(),
                                &size) == ERROR_SUCCESS;
  }
  std::wstring wide = probe::to_wide(value);
  ok_ = RegSetValueExW(handle, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  RegCloseKey(handle);
}

ScopedRegistryValue::~ScopedRegistryValue() {
  HKEY handle;
  if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS) return;
  const wchar_t* value_name = name_.empty() ? nullptr : name_.c_str();
  if (had_old_) {
    RegSetValueExW(handle, value_name, 0, old_type_, old_data_.empty() ? nullptr : old_data_.data(),
                   static_cast<DWORD>(old_data_.size()));
  } else {
    RegDeleteValueW(handle, value_name);
  }
  RegCloseKey(handle);
}

ScopedShellFolders::ScopedShellFolders(const std::string& base) : base_(base) {
  const char* const kNames[] = {"Desktop", "Programs", "Start Menu", "Startup",
                                "SendTo",  "Favorites", "AppData"};
  make_dir(base + "profile");
  for (const char* name : kNames) {
    std::string dir = folder(name);
    make_dir(dir);
    dir.pop_back();
    for (const char* key : {"User Shell Folders", "Shell Folders"}) {
      values_.push_back(std::make_unique<ScopedRegistryValue>(
          HKEY_CURRENT_USER, std::string(kExplorer) + key, name, dir));
    }
  }
}

bool ScopedShellFolders::ok() const {
  for (const auto& value : values_) {
    if (!value->ok()) return false;
  }
  return !values_.empty();
}

std::string ScopedShellFolders::folder(const std::string& name) const {
  return base_ + "profile\\" + name + "\\";
}

ScopedShellHandlers::ScopedShellHandlers(const std::vector<std::string>& extensions,
                                         const std::string& log)
    : log_(log) {
  remove_tree(log);
  const std::string logger = "\"" + shell_logger_path() + "\"";
  for (const std::string& extension : extensions) {
    values_.push_back(
        std::make_unique<ScopedRegistryValue>(HKEY_CLASSES_ROOT, extension, "", kTestClass));
  }
  values_.push_back(std::make_unique<ScopedRegistryValue>(
      HKEY_CLASSES_ROOT, std::string(kTestClass) + "\\shell\\open\\command", "",
      logger + " open \"%1\""));
  for (const char* folder_class : {"Folder", "Directory"}) {
    values_.push_back(std::make_unique<ScopedRegistryValue>(
        HKEY_CLASSES_ROOT, std::string(folder_class) + "\\shell\\explore\\command", "",
        logger + " explore \"%1\""));
  }
}

bool ScopedShellHandlers::ok() const {
  for (const auto& value : values_) {
    if (!value->ok()) return false;
  }
  return true;
}

std::vector<std::string> ScopedShellHandlers::lines() const {
  std::string text;
  std::vector<std::string> out;
  if (!read_file(log_, &text)) return out;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    out.push_back(text.substr(start, end - start));
  }
  return out;
}

bool ScopedShellHandlers::wait_lines(size_t count, unsigned timeout_ms) const {
  return poll(timeout_ms, [&] { return lines().size() >= count; });
}

bool Markers::started(const std::string& program) const {
  return file_exists(dir + program + ".started");
}

bool Markers::done(const std::string& program) const {
  return file_exists(dir + program + ".done");
}

std::string Markers::value(const std::string& program, const std::string& key) const {
  std::string text;
  if (!read_file(dir + program + ".started", &text)) return {};
  size_t at = text.find(key + "=");
  if (at == std::string::npos) return {};
  at += key.size() + 1;
  // A batch file's echo ends its line with a carriage return.
  std::string line = text.substr(at, text.find('\n', at) - at);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool Markers::wait_started(const std::string& program, unsigned timeout_ms) const {
  // The file appears before its text is written (a batch file's echo most
  // of all): wait for the final line break too.
  return poll(timeout_ms, [&] {
    std::string text;
    return read_file(dir + program + ".started", &text) && !text.empty() && text.back() == '\n';
  });
}

std::string marker_program_bytes() {
  std::string bytes;
  EXPECT_TRUE(read_file(VANDREL_MARKER_PROGRAM, &bytes)) << VANDREL_MARKER_PROGRAM;
  return bytes;
}

std::string shell_logger_path() {
  std::string path = VANDREL_SHELL_LOGGER;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace e2e
