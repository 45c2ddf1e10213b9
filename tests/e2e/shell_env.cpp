#include "shell_env.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

namespace e2e {

namespace {

const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const char kTestClass[] = "VandrelTest.Document";

}  // namespace

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
    : log_(log), log_env_("VANDREL_SHELL_LOG", log) {
  remove_tree(log);
  const std::string logger = "\"" + shell_logger_path() + "\"";
  for (const std::string& name : extensions) {
    if (name[0] == '.') {
      values_.push_back(
          std::make_unique<ScopedRegistryValue>(HKEY_CLASSES_ROOT, name, "", kTestClass));
    } else {
      values_.push_back(std::make_unique<ScopedRegistryValue>(
          HKEY_CLASSES_ROOT, name + "\\shell\\open\\command", "", logger + " open \"%1\""));
    }
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
  return probe::poll_until([&] { return lines().size() >= count; }, timeout_ms, 20);
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
  return probe::poll_until(
      [&] {
        std::string text;
        return read_file(dir + program + ".started", &text) && !text.empty() &&
               text.back() == '\n';
      },
      timeout_ms, 20);
}

int Markers::starts(const std::string& program) const {
  std::string text;
  if (!read_file(dir + program + ".runs", &text)) return 0;
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool Markers::hold(const std::string& program) const {
  return write_file(dir + program + ".hold", "held");
}

void Markers::release(const std::string& program) const { remove_tree(dir + program + ".hold"); }

Site::Site(const std::string& name, bool programs)
    : dir(fresh_dir(name)),
      exe(dir + "t.exe"),
      out(dir + "out\\"),
      keys({{"NoGUI", "1"}, {"DefaultPath", dir + "out"}}),
      markers(dir + "markers\\"),
      marker_env("VANDREL_MARKER_DIR", dir + "markers"),
      log_env("VANDREL_SHELL_LOG", dir + "shell.log") {
  if (programs) make_dir(markers.dir);
}

bool Site::write(const vpack::KeyList& more_keys, const std::vector<vpack::Entry>& entries) const {
  Fixture fixture;
  fixture.keys = keys;
  fixture.keys.insert(fixture.keys.end(), more_keys.begin(), more_keys.end());
  fixture.entries = entries;
  return write_file(exe, sfx_bytes(fixture));
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
