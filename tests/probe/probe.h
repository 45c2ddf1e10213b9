// UI probe for the Windows-side tests: starts a program, finds its windows,
// reads and presses their controls, answers message boxes and waits for the
// program's end. Every wait takes an explicit time-out in milliseconds.
// Texts are code page 936 bytes, as the payload stores them, whatever the
// machine's ANSI code page: they cross to the system as UTF-16.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace probe {

// Asks `done` every `interval_ms` until it says yes (true) or `timeout_ms`
// has passed (false). The one way the tests wait for an effect.
bool poll_until(const std::function<bool()>& done, unsigned timeout_ms,
                unsigned interval_ms = 10);

// Code page 936 bytes to UTF-16 and back; a character that 936 lacks comes
// back as "?".
std::wstring to_wide(const std::string& cp936);
std::string from_wide(const std::wstring& text);

constexpr unsigned kDefaultTimeoutMs = 15000;
// Class name of dialogs and message boxes.
constexpr const char* kDialogClass = "#32770";

// Control IDs of the buttons a message box has (its answers).
constexpr int kOk = IDOK;
constexpr int kCancel = IDCANCEL;
constexpr int kYes = IDYES;
constexpr int kNo = IDNO;

enum class IconStyle { none, error, warning, question, information, other };
const char* icon_style_name(IconStyle style);

struct Progress {
  int low = 0;
  int high = 0;
  int pos = 0;
};

// A window of another process. Reading a gone window gives empty values.
class Window {
 public:
  Window() = default;
  explicit Window(HWND hwnd) : hwnd_(hwnd) {}

  HWND handle() const { return hwnd_; }
  explicit operator bool() const { return hwnd_ != nullptr; }
  bool exists() const;

  // WM_GETTEXT (sent, so that controls keeping their own text, such as
  // edits, answer too); a hung target gives an empty text.
  std::string text() const;
  std::string class_name() const;
  bool visible() const;  // own style, not the parents'
  bool enabled() const;
  RECT screen_rect() const;
  int id() const;

  // A direct child by control ID; empty when there is none.
  Window control(int id) const;
  std::vector<Window> children() const;

  std::string control_text(int id) const { return control(id).text(); }
  bool control_visible(int id) const { return control(id).visible(); }
  bool control_enabled(int id) const { return control(id).enabled(); }
  RECT control_rect(int id) const { return control(id).screen_rect(); }
  // Range and position of the progress bar `id`; false when it is missing.
  bool progress(int id, Progress* out) const;

  // Presses button `id` by posting BM_CLICK to it, as a click would; false
  // when it is missing, hidden or disabled.
  bool click(int id) const;
  // Posts WM_COMMAND (BN_CLICKED) for `id` to this window, as a button of
  // it would; works also for disabled or hidden buttons.
  bool command(int id) const;

  // A message sent (with the probe's time-out) or posted to this window.
  bool send(UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result = nullptr) const;
  bool post(UINT message, WPARAM wparam, LPARAM lparam) const;
  // WM_SETTEXT with `text`.
  bool set_text(const std::string& text) const;
  // This window's rectangle in the client coordinates of `other`.
  RECT rect_in(const Window& other) const;

 private:
  HWND hwnd_ = nullptr;
};

struct WindowQuery {
  std::string caption;     // exact; empty matches any
  std::string class_name;  // exact; empty matches any
  bool visible_only = true;
};

struct SeenWindow {
  HWND hwnd = nullptr;
  std::string caption;
  std::string class_name;
  bool visible = false;  // visible at any time it was seen
};

struct ExitResult {
  bool ended = false;       // ended by itself within the time-out
  bool killed = false;      // time-out reached: we terminated it
  unsigned long code = 0;   // exit code when ended
  std::string failure;      // why it did not end; empty when ended
};

struct MessageBoxInfo {
  std::string caption;
  std::string text;
  IconStyle icon = IconStyle::other;
};

// A started program; the destructor kills it if it still runs, so that a
// failing test leaves nothing behind.
class ProbeProcess {
 public:
  ProbeProcess() = default;
  ~ProbeProcess();
  ProbeProcess(ProbeProcess&& other) noexcept;
  ProbeProcess& operator=(ProbeProcess&& other) noexcept;
  ProbeProcess(const ProbeProcess&) = delete;
  ProbeProcess& operator=(const ProbeProcess&) = delete;

  // CreateProcessW of `exe` (quoted as the first argument) followed by
  // `args` verbatim, in `work_dir` (empty: ours). False and `error` set on
  // failure.
  bool start(const std::string& exe, const std::string& args,
             const std::string& work_dir, std::string* error);

  // The same, with probe_hook.dll loaded before the program's own code
  // runs and its WriteFile failing as `write_fault` says (see
  // kProbeWriteFaultEnv), its first CreateProcessW with the error code
  // `create_process_fault` when one is given (kProbeCreateProcessFaultEnv).
  bool start_hooked(const std::string& exe, const std::string& args,
                    const std::string& work_dir, const std::string& write_fault,
                    std::string* error, const std::string& create_process_fault = "");

  bool running() const;
  // IDs of the process's threads right now.
  std::vector<DWORD> thread_ids() const;
  // Waits until every thread of the process that is not in `before` and
  // was started at a routine of the program's own image has ended: the
  // program's own workers, not the system's pool threads. False at the
  // time-out or when no such thread was found.
  bool wait_own_threads_ended(const std::vector<DWORD>& before, unsigned timeout_ms) const;
  // Waits until the slow write or the held removal that start_hooked's
  // fault asks for has begun; false at the time-out.
  bool wait_slow_write(unsigned timeout_ms) const;
  bool wait_held_removal(unsigned timeout_ms) const;
  // Lets a held call go on (after wait_held).
  void release_held() const;
  DWORD pid() const { return pid_; }
  DWORD main_thread_id() const { return tid_; }
  HANDLE handle() const { return process_; }

  // Top-level windows of this process right now.
  std::vector<Window> windows(const WindowQuery& query) const;
  // Waits for a matching top-level window. Empty window and `failure` set
  // when the time-out passes or the process ends first.
  Window wait_window(const WindowQuery& query, unsigned timeout_ms,
                     std::string* failure) const;

  // Waits for the end and gives its exit code; at the time-out the process
  // is terminated and the result says so.
  ExitResult wait_exit(unsigned timeout_ms);
  // The same, recording every top-level window of the process seen while
  // waiting (polled every 10 ms).
  ExitResult wait_exit_collecting(unsigned timeout_ms,
                                  std::vector<SeenWindow>* seen);

  // Ends the process now (TerminateProcess on our handle) and waits for it.
  void kill();

 private:
  void close();
  bool create(const std::string& exe, const std::string& args, const std::string& work_dir,
              DWORD flags, wchar_t* environment, std::string* error);

  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD pid_ = 0;
  DWORD tid_ = 0;
};

// Answers a message box by pressing `button` (OK may be pressed through
// WM_COMMAND, as a box without that button takes it too), then waits until
// the box is gone from the screen: a click is only posted, and the box stays
// visible until its thread has handled it.
bool answer_box(Window box, int button, unsigned timeout_ms, std::string* failure);

// Reads a message box: caption, text (the static control 0xFFFF) and its
// icon, told inside the target process by the hook DLL.
bool read_message_box(Window box, unsigned timeout_ms, MessageBoxInfo* out,
                      std::string* failure);

// The icon of a message box. The icon handle means nothing in our process,
// so probe_hook.dll is hooked into the box's thread, compares the handle
// there with the system icons and leaves the answer as a window property.
IconStyle message_box_icon(Window box, unsigned timeout_ms,
                           std::string* failure);

// Every property of a shell link that the stub could set, as the shell's
// link object reads them back.
struct ShellLinkInfo {
  std::string target;  // as stored, not resolved
  std::string working_directory;
  std::string arguments;
  std::string description;
  std::string icon_path;
  int icon_index = 0;
  WORD hotkey = 0;
  int show_command = 0;
};
// Loads the link file at `path` through IShellLinkW; false and `failure`
// set when it cannot be read.
bool read_shell_link(const std::string& path, ShellLinkInfo* out, std::string* failure);

// Queries answered inside the target by probe_hook.dll, hooked into the
// thread of the window asked.

// The dialog's base units in pixels (what MapDialogRect uses: a rectangle
// of x dialog units is x * units.x / 4 pixels wide, y units y * units.y / 8
// pixels high).
bool dialog_base_units(Window dialog, POINT* units, std::string* failure);
// `rect` in dialog units of `dialog` mapped to pixels as MapDialogRect does.
RECT map_dialog_rect(POINT units, RECT rect);

// What the parent's WM_CTLCOLORSTATIC does for a static control, replayed on
// a memory DC inside the target.
struct StaticStyle {
  UINT_PTR font = 0;  // the font selected; 0 when none was selected
  int height = 0;
  int weight = 0;
  bool underline = false;
  COLORREF colour = 0;
  int background_mode = 0;
  bool white_brush = false;  // the brush returned is the white stock brush
  std::string face;
};
bool static_style(Window control, StaticStyle* out, std::string* failure);

// Whether the cursor of the window's thread is cursor resource `cursor_id`
// of the target's executable.
bool cursor_is(Window window, int cursor_id, bool* out, std::string* failure);

// GDI accounting in the target: objects (fonts, bitmaps, memory DCs) its
// executable made and did not delete since gdi_count_start.
struct GdiCount {
  long live = 0;
  long dcs_made = 0;
  long fonts_made = 0;
};
bool gdi_count_start(Window top, std::string* failure);
// Repaints `top` and all its children `times` times, then counts.
bool gdi_repaint(Window top, int times, GdiCount* out, std::string* failure);

// Where probe_hook.dll is looked for; default: beside this executable.
void set_hook_dll_path(const std::string& path);
// The directory of the running executable, with a trailing backslash.
std::string exe_dir();

}  // namespace probe
