// Builds self-extracting fixtures from the real stub and runs them under the
// probe. Paths are Windows paths; every wait has a time-out.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/config_block.h"
#include "probe.h"

namespace e2e {

const unsigned kRunTimeoutMs = 20000;

// A fixture: configuration keys (code page 936 bytes) and archive entries.
struct Fixture {
  vpack::KeyList keys;
  std::vector<vpack::Entry> entries;
  int level = 6;
  std::string comment;
  bool with_zip_size = true;  // false: no ZipSize key at all
  size_t padding = 0;         // bytes between the stub and the block
};

std::string stub_bytes();
// The archive of the fixture, or fails the test.
std::string archive_of(const Fixture& fixture);
// Stub, padding, block and archive, unchecked so that fixtures may break rules.
std::string sfx_bytes(const Fixture& fixture);

// Paths are code page 936 bytes, as the tables write them; the few that 936
// cannot hold are given as UTF-16.

// Offsets of the separators `separator` in a code page 936 path: the bytes
// that are characters of their own, not the trail byte of a double-byte
// character (奬 and 乗 end in a backslash's byte, 億 in a bar's).
std::vector<size_t> separators(const std::string& path, char separator = '\\');
// The path up to its last backslash separator (all of it when it has none).
std::string parent_of(const std::string& path);

// A new empty directory for one test, ending with a backslash.
std::string fresh_dir(const std::string& name);
bool make_dir(const std::string& path);
void remove_tree(const std::string& path);
void remove_tree(const std::wstring& path);
bool write_file(const std::string& path, const std::string& bytes);
bool read_file(const std::string& path, std::string* bytes);
bool file_exists(const std::string& path);
bool dir_exists(const std::string& path);
// Every file and directory below `dir`, relative, "/"-separated, sorted;
// directories end with "/".
std::vector<std::string> list_tree(const std::string& dir);
std::vector<std::string> list_tree(const std::wstring& dir);

// A DOS date and time as the archive stores them, and the local file time a
// correct extraction gives the file.
struct DosStamp {
  uint16_t date;
  uint16_t time;
};
DosStamp dos_stamp(int year, int month, int day, int hour, int minute, int second);
// Last-write time of a file as local SYSTEMTIME.
bool local_write_time(const std::string& path, SYSTEMTIME* out);

vpack::Entry file_entry(const std::string& name, const std::string& data,
                        DosStamp stamp = {0x5A87, 0x6000});
vpack::Entry dir_entry(const std::string& name, DosStamp stamp = {0x5A87, 0x6000});

// Sets an environment variable of this process (inherited by the programs it
// starts) for the lifetime of the object; a null value removes it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ScopedEnv(const char* name, const char* value);
  ScopedEnv(const char* name, const std::wstring& value);
  ~ScopedEnv();

 private:
  void set(const wchar_t* value);
  std::wstring name_;
  std::wstring old_;
  bool had_old_;
};

struct SilentRun {
  DWORD pid = 0;
  probe::ExitResult exit;
  std::vector<probe::SeenWindow> windows;
  std::string start_error;
  // Visible windows seen while it ran, as "class:caption" lines.
  std::string visible_windows() const;
};
// Runs a program that should show nothing and end by itself.
SilentRun run_silent(const std::string& exe, const std::string& work_dir,
                     const std::string& args = "");
// It ended by itself with code 1 and showed no window.
void expect_silent_end(const SilentRun& run);
// Waits until every program that process `pid` started has ended: what it
// launched has then done all it would do.
bool wait_children_ended(DWORD pid, unsigned timeout_ms);

struct FatalRun {
  bool box_seen = false;
  probe::MessageBoxInfo box;
  probe::ExitResult exit;
  std::string failure;
};
// Runs a program that should end with one message box: reads the box,
// presses OK and waits for the end. A `write_fault` makes its writes fail
// (see kProbeWriteFaultEnv).
FatalRun run_expecting_box(const std::string& exe, const std::string& work_dir,
                           const std::string& args = "", const std::string& write_fault = "");

// The run showed the fatal-error box for `message` with only its own cause's
// system text (`code`, 0 for none) and ended with code 1 once it was closed.
void expect_fatal(const FatalRun& run, const std::string& message, DWORD code);

// The text of the fatal-error box for `message`, before the system's text.
std::string fatal_text_prefix(const std::string& message);
// The whole text of the fatal-error box for `message` and the system's text
// for `code` (none for 0).
std::string fatal_text(const std::string& message, DWORD code);
// The system's text for `code` (none for 0).
std::string system_text(DWORD code);

}  // namespace e2e
