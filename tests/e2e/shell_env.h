// The shell surroundings of the post-extraction tests, made inside the test
// prefix for the lifetime of one test and put back afterwards: the current
// user's shell folders pointed below the test's own directory, and the test
// handler registered for documents and folders.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace e2e {

// Sets one string value for the lifetime of the object, then puts back the
// value that was there (or removes it when there was none).
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, const std::string& key, const std::string& name,
                      const std::string& value);
  ~ScopedRegistryValue();
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
  bool ok() const { return ok_; }

 private:
  HKEY root_;
  std::wstring key_, name_;
  bool had_old_ = false;
  DWORD old_type_ = 0;
  std::vector<BYTE> old_data_;
  bool ok_ = false;
};

// Desktop, Programs, Start Menu, Startup, SendTo, Favorites and AppData of
// the current user, as folders below `base` (a directory ending with a
// backslash), in both shell-folder keys.
class ScopedShellFolders {
 public:
  explicit ScopedShellFolders(const std::string& base);
  bool ok() const;
  // The folder given to a shell-folder name, ending with a backslash.
  std::string folder(const std::string& name) const;

 private:
  std::string base_;
  std::vector<std::unique_ptr<ScopedRegistryValue>> values_;
};

// The test handler (shell_logger.exe) as the "open" command of the given
// extensions and the "explore" command of folders; it logs into `log`.
class ScopedShellHandlers {
 public:
  ScopedShellHandlers(const std::vector<std::string>& extensions, const std::string& log);
  bool ok() const;
  // The lines logged so far.
  std::vector<std::string> lines() const;
  // Waits until at least `count` lines are there; false at the time-out.
  bool wait_lines(size_t count, unsigned timeout_ms) const;

 private:
  std::string log_;
  std::vector<std::unique_ptr<ScopedRegistryValue>> values_;
};

// Markers of marker_program.exe, which names them after its own file name.
struct Markers {
  explicit Markers(const std::string& dir) : dir(dir) {}
  std::string dir;  // ends with a backslash
  bool started(const std::string& program) const;
  bool done(const std::string& program) const;
  // "cwd" or "parent_ole32" of the .started marker; empty when absent.
  std::string value(const std::string& program, const std::string& key) const;
  bool wait_started(const std::string& program, unsigned timeout_ms) const;
};

// The bytes of marker_program.exe.
std::string marker_program_bytes();
// The path of shell_logger.exe.
std::string shell_logger_path();

}  // namespace e2e
