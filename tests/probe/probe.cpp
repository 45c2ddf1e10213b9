#include "probe.h"

#include <commctrl.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>

#include <utility>

#include "probe_hook.h"

namespace probe {

bool poll_until(const std::function<bool()>& done, unsigned timeout_ms, unsigned interval_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeout_ms) return done();
    Sleep(interval_ms);
  }
}

namespace {

constexpr DWORD kPollMs = 10;
// Upper bound for one message sent to the target: a hung target must not
// hang the test.
constexpr UINT kSendTimeoutMs = 2000;

bool send_timeout(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &r)) {
    return false;
  }
  if (result) *result = r;
  return true;
}

std::string window_class(HWND hwnd) {
  wchar_t buf[256] = {};
  int n = GetClassNameW(hwnd, buf, 256);
  return from_wide(std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0));
}

std::string last_error_text(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

struct EnumState {
  DWORD pid;
  std::vector<HWND>* found;
};

BOOL CALLBACK collect_top_level(HWND hwnd, LPARAM param) {
  EnumState* state = reinterpret_cast<EnumState*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == state->pid) state->found->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> top_level_windows(DWORD pid) {
  std::vector<HWND> found;
  EnumState state{pid, &found};
  EnumWindows(collect_top_level, reinterpret_cast<LPARAM>(&state));
  return found;
}

bool matches(const Window& w, const WindowQuery& q) {
  if (q.visible_only && !w.visible()) return false;
  if (!q.class_name.empty() && w.class_name() != q.class_name) return false;
  if (!q.caption.empty() && w.text() != q.caption) return false;
  return true;
}

std::string describe(const WindowQuery& q) {
  std::string s = "window";
  if (!q.class_name.empty()) s += " of class \"" + q.class_name + "\"";
  if (!q.caption.empty()) s += " captioned \"" + q.caption + "\"";
  return s;
}

std::string g_hook_dll_path;

HMODULE hook_module(std::string* failure) {
  static HMODULE module = nullptr;
  static std::string loaded_path;
  std::string path = g_hook_dll_path.empty() ? exe_dir() + "probe_hook.dll"
                                             : g_hook_dll_path;
  if (module && path == loaded_path) return module;
  // The previous DLL may still be mapped in targets; keep it loaded here.
  module = LoadLibraryA(path.c_str());
  loaded_path = path;
  if (!module && failure) *failure = last_error_text(("LoadLibrary " + path).c_str());
  return module;
}

}  // namespace

std::wstring to_wide(const std::string& cp936) {
  std::wstring out(cp936.size(), L'\0');
  int n = MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), &out[0],
                              static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string from_wide(const std::wstring& text) {
  std::string out(text.size() * 2, '\0');
  int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), &out[0],
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

const char* icon_style_name(IconStyle style) {
  switch (style) {
    case IconStyle::none: return "none";
    case IconStyle::error: return "error";
    case IconStyle::warning: return "warning";
    case IconStyle::question: return "question";
    case IconStyle::information: return "information";
    case IconStyle::other: return "other";
  }
  return "?";
}

std::string exe_dir() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n < sizeof path ? n : 0);
  size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

void set_hook_dll_path(const std::string& path) { g_hook_dll_path = path; }

// Window

bool Window::exists() const { return hwnd_ && IsWindow(hwnd_); }

std::string Window::text() const {
  if (!exists()) return {};
  DWORD_PTR length = 0;
  if (!send_timeout(hwnd_, WM_GETTEXTLENGTH, 0, 0, &length)) return {};
  std::wstring buf(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!send_timeout(hwnd_, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(&buf[0]),
            &copied)) {
    return {};
  }
  buf.resize(copied < buf.size() ? copied : buf.size() - 1);
  return from_wide(buf);
}

std::string Window::class_name() const { return exists() ? window_class(hwnd_) : std::string(); }

bool Window::visible() const {
  return exists() && (GetWindowLongPtrA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool Window::enabled() const { return exists() && IsWindowEnabled(hwnd_); }

RECT Window::screen_rect() const {
  RECT r = {};
  if (exists()) GetWindowRect(hwnd_, &r);
  return r;
}

int Window::id() const { return exists() ? GetDlgCtrlID(hwnd_) : 0; }

Window Window::control(int id) const {
  return exists() ? Window(GetDlgItem(hwnd_, id)) : Window();
}

std::vector<Window> Window::children() const {
  std::vector<Window> out;
  if (!exists()) return out;
  for (HWND c = GetWindow(hwnd_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    out.emplace_back(c);
  }
  return out;
}

bool Window::progress(int id, Progress* out) const {
  Window bar = control(id);
  if (!bar.exists() || _stricmp(bar.class_name().c_str(), PROGRESS_CLASSA) != 0) {
    return false;
  }
  // With no PBRANGE pointer (it would not cross processes) PBM_GETRANGE
  // returns the low limit for TRUE and the high one for FALSE.
  DWORD_PTR low = 0, high = 0, pos = 0;
  if (!send_timeout(bar.hwnd_, PBM_GETRANGE, TRUE, 0, &low) ||
      !send_timeout(bar.hwnd_, PBM_GETRANGE, FALSE, 0, &high) ||
      !send_timeout(bar.hwnd_, PBM_GETPOS, 0, 0, &pos)) {
    return false;
  }
  out->low = static_cast<int>(low);
  out->high = static_cast<int>(high);
  out->pos = static_cast<int>(pos);
  return true;
}

bool Window::click(int id) const {
  // A user cannot click what is hidden or disabled.
  Window button = control(id);
  return button.visible() && button.enabled() &&
         PostMessageA(button.hwnd_, BM_CLICK, 0, 0);
}

bool Window::command(int id) const {
  if (!exists()) return false;
  HWND button = GetDlgItem(hwnd_, id);
  return PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button));
}

bool Window::send(UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) const {
  return exists() && probe::send_timeout(hwnd_, message, wparam, lparam, result);
}

bool Window::post(UINT message, WPARAM wparam, LPARAM lparam) const {
  return exists() && PostMessageA(hwnd_, message, wparam, lparam);
}

bool Window::set_text(const std::string& text) const {
  std::wstring wide = to_wide(text);
  return send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

RECT Window::rect_in(const Window& other) const {
  RECT r = screen_rect();
  MapWindowPoints(nullptr, other.hwnd_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// ProbeProcess

ProbeProcess::~ProbeProcess() {
  if (running()) kill();
  close();
}

ProbeProcess::ProbeProcess(ProbeProcess&& other) noexcept { *this = std::move(other); }

ProbeProcess& ProbeProcess::operator=(ProbeProcess&& other) noexcept {
  if (this != &other) {
    if (running()) kill();
    close();
    process_ = std::exchange(other.process_, nullptr);
    thread_ = std::exchange(other.thread_, nullptr);
    pid_ = std::exchange(other.pid_, 0);
    tid_ = std::exchange(other.tid_, 0);
  }
  return *this;
}

void ProbeProcess::close() {
  if (thread_) CloseHandle(thread_);
  if (process_) CloseHandle(process_);
  thread_ = process_ = nullptr;
}

bool ProbeProcess::start(const std::string& exe, const std::string& args,
                         const std::string& work_dir, std::string* error) {
  return create(exe, args, work_dir, 0, nullptr, error);
}

bool ProbeProcess::start_hooked(const std::string& exe, const std::string& args,
                                const std::string& work_dir, const std::string& write_fault,
                                std::string* error, const std::string& create_process_fault) {
  // Our environment plus the fault, for the program alone: the DLL is
  // loaded into this process too.
  std::wstring environment;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry; entry += lstrlenW(entry) + 1) {
    environment.append(entry, lstrlenW(entry) + 1);
  }
  FreeEnvironmentStringsW(block);
  environment += to_wide(std::string(kProbeWriteFaultEnv) + "=" + write_fault) + L'\0';
  if (!create_process_fault.empty()) {
    environment +=
        to_wide(std::string(kProbeCreateProcessFaultEnv) + "=" + create_process_fault) + L'\0';
  }
  environment += L'\0';
  if (!create(exe, args, work_dir, CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
              &environment[0], error)) {
    return false;
  }
  // LoadLibraryA as an APC of the suspended first thread: it runs once the
  // loader has mapped the imports, before the entry point.
  std::string path = g_hook_dll_path.empty() ? exe_dir() + "probe_hook.dll" : g_hook_dll_path;
  void* remote = VirtualAllocEx(process_, nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
  auto load_library = reinterpret_cast<PAPCFUNC>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
  if (!remote || !WriteProcessMemory(process_, remote, path.c_str(), path.size() + 1, nullptr) ||
      !QueueUserAPC(load_library, thread_, reinterpret_cast<ULONG_PTR>(remote))) {
    if (error) *error = last_error_text("loading probe_hook.dll into the program");
    kill();
    return false;
  }
  ResumeThread(thread_);
  return true;
}

bool ProbeProcess::create(const std::string& exe, const std::string& args,
                          const std::string& work_dir, DWORD flags, wchar_t* environment,
                          std::string* error) {
  if (running()) kill();
  close();
  std::wstring command_line = to_wide("\"" + exe + "\"" + (args.empty() ? "" : " " + args));
  std::wstring wide_dir = to_wide(work_dir);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(to_wide(exe).c_str(), &command_line[0], nullptr, nullptr, FALSE, flags,
                      environment, work_dir.empty() ? nullptr : wide_dir.c_str(), &si, &pi)) {
    if (error) *error = last_error_text(("CreateProcess " + exe).c_str());
    return false;
  }
  process_ = pi.hProcess;
  thread_ = pi.hThread;
  pid_ = pi.dwProcessId;
  tid_ = pi.dwThreadId;
  return true;
}

bool ProbeProcess::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::vector<Window> ProbeProcess::windows(const WindowQuery& query) const {
  std::vector<Window> out;
  if (!process_) return out;
  for (HWND hwnd : top_level_windows(pid_)) {
    Window w(hwnd);
    if (matches(w, query)) out.push_back(w);
  }
  return out;
}

Window ProbeProcess::wait_window(const WindowQuery& query, unsigned timeout_ms,
                                 std::string* failure) const {
  Window found;
  bool ended = false;
  poll_until(
      [&] {
        std::vector<Window> now = windows(query);
        if (!now.empty()) found = now.front();
        ended = !found && !running();
        return found || ended;
      },
      timeout_ms, kPollMs);
  if (found || !failure) return found;
  if (ended) {
    DWORD code = 0;
    if (process_) GetExitCodeProcess(process_, &code);
    *failure = "process " + std::to_string(pid_) + " ended (exit code " + std::to_string(code) +
               ") without showing a " + describe(query);
  } else {
    *failure = "no " + describe(query) + " of process " + std::to_string(pid_) + " within " +
               std::to_string(timeout_ms) + " ms";
  }
  return found;
}

std::vector<DWORD> ProbeProcess::thread_ids() const {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == pid_) ids.push_back(entry.th32ThreadID);
  }
  CloseHandle(snapshot);
  return ids;
}

namespace {

// Where the thread began: the routine given to CreateThread.
uintptr_t thread_start(HANDLE thread) {
  using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  const int kWin32StartAddress = 9;
  void* start = nullptr;
  if (!query || query(thread, kWin32StartAddress, &start, sizeof start, nullptr) != 0) return 0;
  return reinterpret_cast<uintptr_t>(start);
}

}  // namespace

bool ProbeProcess::wait_own_threads_ended(const std::vector<DWORD>& before,
                                          unsigned timeout_ms) const {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid_);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32 image = {};
  image.dwSize = sizeof image;
  const bool found_image = Module32First(snapshot, &image);
  CloseHandle(snapshot);
  if (!found_image) return false;
  const uintptr_t low = reinterpret_cast<uintptr_t>(image.modBaseAddr);
  const uintptr_t high = low + image.modBaseSize;
  std::vector<HANDLE> own;
  for (DWORD id : thread_ids()) {
    if (std::find(before.begin(), before.end(), id) != before.end()) continue;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
    if (!thread) continue;
    const uintptr_t start = thread_start(thread);
    if (start >= low && start < high) {
      own.push_back(thread);
    } else {
      CloseHandle(thread);
    }
  }
  const bool ended =
      !own.empty() && WaitForMultipleObjects(static_cast<DWORD>(own.size()), own.data(), TRUE,
                                             timeout_ms) == WAIT_OBJECT_0;
  for (HANDLE thread : own) CloseHandle(thread);
  return ended;
}

namespace {

bool wait_event(const char* prefix, DWORD pid, unsigned timeout_ms) {
  const std::string name = prefix + std::to_string(pid);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  if (!event) return false;
  const bool set = WaitForSingleObject(event, timeout_ms) == WAIT_OBJECT_0;
  CloseHandle(event);
  return set;
}

}  // namespace

bool ProbeProcess::wait_slow_write(unsigned timeout_ms) const {
  return wait_event(kProbeSlowWriteEvent, pid_, timeout_ms);
}

bool ProbeProcess::wait_held_removal(unsigned timeout_ms) const {
  return wait_event(kProbeHeldRemovalEvent, pid_, timeout_ms);
}

void ProbeProcess::release_held() const {
  const std::string name = kProbeReleaseEvent + std::to_string(pid_);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  if (!event) return;
  SetEvent(event);
  CloseHandle(event);
}

void ProbeProcess::kill() {
  if (!process_) return;
  TerminateProcess(process_, 0xDEAD);
  WaitForSingleObject(process_, 5000);
}

ExitResult ProbeProcess::wait_exit(unsigned timeout_ms) {
  return wait_exit_collecting(timeout_ms, nullptr);
}

ExitResult ProbeProcess::wait_exit_collecting(unsigned timeout_ms,
                                              std::vector<SeenWindow>* seen) {
  ExitResult result;
  if (!process_) {
    result.failure = "no process was started";
    return result;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    if (seen) {
      for (HWND hwnd : top_level_windows(pid_)) {
        Window w(hwnd);
        SeenWindow* known = nullptr;
        for (SeenWindow& s : *seen) {
          if (s.hwnd == hwnd) known = &s;
        }
        if (!known) {
          seen->push_back(SeenWindow{hwnd, {}, w.class_name(), false});
          known = &seen->back();
        }
        // Captions may be set after creation: keep the latest non-empty one.
        std::string caption = w.text();
        if (!caption.empty()) known->caption = caption;
        known->visible = known->visible || w.visible();
      }
    }
    const DWORD elapsed = GetTickCount() - start;
    const DWORD wait = seen ? kPollMs : (elapsed < timeout_ms ? timeout_ms - elapsed : 0);
    if (WaitForSingleObject(process_, wait) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process_, &code);
      result.ended = true;
      result.code = code;
      return result;
    }
    if (GetTickCount() - start >= timeout_ms) {
      kill();
      result.killed = true;
      result.failure = "process " + std::to_string(pid_) + " still ran after " +
                       std::to_string(timeout_ms) + " ms and was terminated";
      return result;
    }
  }
}

// Message boxes

bool answer_box(Window box, int button, unsigned timeout_ms, std::string* failure) {
  const bool pressed = box.click(button) || (button == kOk && box.command(kOk));
  if (!pressed) {
    if (failure) *failure = "cannot press button " + std::to_string(button) + " of the box";
    return false;
  }
  if (poll_until([&] { return !box.visible(); }, timeout_ms)) return true;
  if (failure) {
    *failure = "the box \"" + box.text() + "\" still showed " + std::to_string(timeout_ms) +
               " ms after its answer";
  }
  return false;
}

namespace {

// Installs the hook on the thread of `window`, sends it the registered
// message `name` and removes the hook again.
bool hooked_send(Window window, const char* name, WPARAM wparam, LPARAM lparam,
                 unsigned timeout_ms, std::string* failure) {
  HMODULE module = hook_module(failure);
  if (!module) return false;
  auto install = reinterpret_cast<ProbeHookInstall>(
      reinterpret_cast<void*>(GetProcAddress(module, kProbeHookInstallName)));
  if (!install) {
    if (failure) *failure = last_error_text("GetProcAddress probe_hook_install");
    return false;
  }
  DWORD thread = GetWindowThreadProcessId(window.handle(), nullptr);
  if (!thread) {
    if (failure) *failure = "the window is gone";
    return false;
  }
  HHOOK hook = install(thread);
  if (!hook) {
    if (failure) *failure = last_error_text("SetWindowsHookEx");
    return false;
  }
  DWORD_PTR ignored = 0;
  bool answered = SendMessageTimeoutA(window.handle(), RegisterWindowMessageA(name), wparam,
                                      lparam, SMTO_ABORTIFHUNG, timeout_ms, &ignored) != 0;
  UnhookWindowsHookEx(hook);
  if (!answered && failure) {
    *failure = "the window did not answer within " + std::to_string(timeout_ms) + " ms";
  }
  return answered;
}

bool hook_query(Window window, ProbeQueryKind kind, LPARAM argument, int count,
                LONG_PTR* answers, std::string* failure) {
  for (int i = 0; i < count; ++i) RemovePropA(window.handle(), kProbeAnswerProps[i]);
  if (!hooked_send(window, kProbeQuery, kind, argument, kDefaultTimeoutMs, failure)) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    LONG_PTR value = reinterpret_cast<LONG_PTR>(GetPropA(window.handle(), kProbeAnswerProps[i]));
    if (value == 0) {
      if (failure) *failure = "the hook left no answer " + std::to_string(i);
      return false;
    }
    answers[i] = value - 1;
  }
  return true;
}

}  // namespace

IconStyle message_box_icon(Window box, unsigned timeout_ms, std::string* failure) {
  RemovePropA(box.handle(), kProbeIconProp);
  if (!hooked_send(box, kProbeIconQuery, 0, 0, timeout_ms, failure)) return IconStyle::other;
  INT_PTR value = reinterpret_cast<INT_PTR>(GetPropA(box.handle(), kProbeIconProp));
  if (value == 0) {
    if (failure) *failure = "the hook left no answer on the message box";
    return IconStyle::other;
  }
  switch (value - 1) {
    case kIconNone: return IconStyle::none;
    case kIconError: return IconStyle::error;
    case kIconWarning: return IconStyle::warning;
    case kIconQuestion: return IconStyle::question;
    case kIconInformation: return IconStyle::information;
    default: return IconStyle::other;
  }
}

bool dialog_base_units(Window dialog, POINT* units, std::string* failure) {
  LONG_PTR answers[2];
  if (!hook_query(dialog, kQueryDialogUnits, 0, 2, answers, failure)) return false;
  units->x = static_cast<LONG>(answers[0]);
  units->y = static_cast<LONG>(answers[1]);
  return true;
}

RECT map_dialog_rect(POINT units, RECT rect) {
  return RECT{MulDiv(rect.left, units.x, 4), MulDiv(rect.top, units.y, 8),
              MulDiv(rect.right, units.x, 4), MulDiv(rect.bottom, units.y, 8)};
}

bool static_style(Window control, StaticStyle* out, std::string* failure) {
  LONG_PTR answers[8];
  if (!hook_query(control, kQueryStaticStyle, 0, 8, answers, failure)) return false;
  out->font = static_cast<UINT_PTR>(answers[0]);
  out->height = static_cast<int>(answers[1]);
  out->weight = static_cast<int>(answers[2]);
  out->underline = answers[3] != 0;
  out->colour = static_cast<COLORREF>(answers[4]);
  out->background_mode = static_cast<int>(answers[5]);
  out->white_brush = answers[6] != 0;
  wchar_t face[LF_FACESIZE] = {};
  ATOM atom = static_cast<ATOM>(answers[7]);
  if (atom) {
    GlobalGetAtomNameW(atom, face, LF_FACESIZE);
    GlobalDeleteAtom(atom);
  }
  out->face = from_wide(face);
  return true;
}

bool cursor_is(Window window, int cursor_id, bool* out, std::string* failure) {
  LONG_PTR answer = 0;
  if (!hook_query(window, kQueryCursor, cursor_id, 1, &answer, failure)) return false;
  *out = answer != 0;
  return true;
}

bool gdi_count_start(Window top, std::string* failure) {
  LONG_PTR answer = 0;
  if (!hook_query(top, kQueryGdiStart, 0, 1, &answer, failure)) return false;
  if (!answer && failure) *failure = "the hook could not keep itself loaded";
  return answer != 0;
}

bool gdi_repaint(Window top, int times, GdiCount* out, std::string* failure) {
  LONG_PTR answers[3];
  if (!hook_query(top, kQueryGdiRepaint, times, 3, answers, failure)) return false;
  out->live = static_cast<long>(answers[0]);
  out->dcs_made = static_cast<long>(answers[1]);
  out->fonts_made = static_cast<long>(answers[2]);
  return true;
}

bool read_message_box(Window box, unsigned timeout_ms, MessageBoxInfo* out,
                      std::string* failure) {
  if (!box.exists()) {
    if (failure) *failure = "no message box window";
    return false;
  }
  // The message text is the static control 0xFFFF, as on Windows.
  Window text = box.control(0xFFFF);
  if (!text) {
    if (failure) *failure = "the window has no message text control (0xFFFF)";
    return false;
  }
  out->caption = box.text();
  out->text = text.text();
  std::string icon_failure;
  out->icon = message_box_icon(box, timeout_ms, &icon_failure);
  if (!icon_failure.empty()) {
    if (failure) *failure = "icon: " + icon_failure;
    return false;
  }
  return true;
}

// Shell links

bool read_shell_link(const std::string& path, ShellLinkInfo* out, std::string* failure) {
  auto fail = [failure](const std::string& what, HRESULT hr) {
    if (failure) *failure = what + " failed, HRESULT " + std::to_string(static_cast<long>(hr));
    return false;
  };
  HRESULT init = CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  bool ok = false;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
  if (FAILED(hr)) {
    fail("CoCreateInstance(ShellLink)", hr);
  } else if (FAILED(hr = link->QueryInterface(IID_IPersistFile,
                                              reinterpret_cast<void**>(&file)))) {
    fail("QueryInterface(IPersistFile)", hr);
  } else {
    if (FAILED(hr = file->Load(to_wide(path).c_str(), STGM_READ))) {
      fail("IPersistFile::Load " + path, hr);
    } else {
      wchar_t text[INFOTIPSIZE];
      WIN32_FIND_DATAW found;
      text[0] = 0;
      // The target from the link's item list: Wine keeps the path it also
      // writes only in the machine's code page, and reads that one back.
      LPITEMIDLIST target = nullptr;
      if (FAILED(link->GetIDList(&target)) || !target ||
          !SHGetPathFromIDListW(target, text)) {
        text[0] = 0;
        link->GetPath(text, MAX_PATH, &found, SLGP_RAWPATH);
      }
      if (target) CoTaskMemFree(target);
      out->target = from_wide(text);
      text[0] = 0;
      link->GetWorkingDirectory(text, MAX_PATH);
      out->working_directory = from_wide(text);
      text[0] = 0;
      link->GetArguments(text, INFOTIPSIZE);
      out->arguments = from_wide(text);
      text[0] = 0;
      link->GetDescription(text, INFOTIPSIZE);
      out->description = from_wide(text);
      text[0] = 0;
      link->GetIconLocation(text, MAX_PATH, &out->icon_index);
      out->icon_path = from_wide(text);
      link->GetHotkey(&out->hotkey);
      link->GetShowCmd(&out->show_command);
      ok = true;
    }
  }
  if (file) file->Release();
  if (link) link->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}

}  // namespace probe
