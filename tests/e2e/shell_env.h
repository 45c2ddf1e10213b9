// The shell surroundings of the post-extraction tests, made inside the test
// prefix for the lifetime of one test and put back afterwards: the current
// user's shell folders pointed below the test's own directory, and the test
// handler registered for documents and folders.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "scoped_registry.h"

namespace e2e {

using probe::ScopedRegistryValue;

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
// extensions (".txt") and classes ("mailto") and the "explore" command of
// folders; it logs into `log` (VANDREL_SHELL_LOG is set for the programs
// started meanwhile). The one recorder of what the shell is asked.
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
  ScopedEnv log_env_;
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
  // How many times the program started.
  int starts(const std::string& program) const;
  // Keeps the program from ending until release() (or for 30 s at most).
  bool hold(const std::string& program) const;
  void release(const std::string& program) const;
};

// A test's folder: the self-extracting file t.exe, the destination out\,
// the markers of the programs it starts and the shell handler's log, and the
// environment that sends the markers and the log there.
struct Site {
  // Without `programs` no markers folder is made: nothing is launched.
  explicit Site(const std::string& name, bool programs = true);
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  // Writes t.exe: silent, into out\, with `keys` after those and `entries`.
  bool write(const vpack::KeyList& keys, const std::vector<vpack::Entry>& entries) const;

  std::string dir, exe, out;  // dir and out end with a backslash
  vpack::KeyList keys;        // NoGUI and DefaultPath
  Markers markers;
  ScopedEnv marker_env, log_env;
};

// The bytes of marker_program.exe.
std::string marker_program_bytes();
// The path of shell_logger.exe.
std::string shell_logger_path();

}  // namespace e2e
