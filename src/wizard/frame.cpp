#include "wizard/frame.h"

#include <commctrl.h>
#include <shellapi.h>

#include <initializer_list>

#include "wizard/pages.h"
#include "wizard/paint.h"
#include "wizard/resource_ids.h"
#include "actions/cleanup.h"
#include "actions/exec_launch.h"
#include "archive/extraction.h"
#include "core/fatal.h"
#include "core/progress_report.h"
#include "core/state.h"
#include "core/system_dlls.h"
#include "util/fs.h"
#include "util/progress_range.h"
#include "util/text.h"

namespace {

// Indexed by page number; entry 0 is never used.
const int kPageTemplates[4] = {0, IDD_WELCOME, IDD_DESTINATION, IDD_PROGRESS};
const wchar_t* const kPageTitles[4] = {L"", L"", L"解压缩路径", L"正在解压缩文件"};
const wchar_t* const kPageSubtitles[4] = {L"", L"", L"选择解压缩的目的目录。",
                                          L"本程序正在解压缩此压缩档内的文件。"};

const wchar_t kCannotShowWizard[] = L"不能创建向导窗口。";

// comctl32 is not one of the DLLs the loader always takes from the system
// folder, so it is not imported: it is loaded from there when the wizard
// starts, for the progress page's class.
bool init_common_controls() {
  HMODULE comctl = load_system_dll(L"comctl32.dll");
  if (!comctl) return false;
  typedef BOOL(WINAPI * InitEx)(const INITCOMMONCONTROLSEX*);
  InitEx init_ex = reinterpret_cast<InitEx>(
      reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (init_ex) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    return init_ex(&classes) != FALSE;
  }
  typedef void(WINAPI * Init)();
  Init init = reinterpret_cast<Init>(
      reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControls")));
  if (!init) return false;
  init();
  return true;
}

HWND frame_item(int id) { return GetDlgItem(g_state.frame_window, id); }
HWND page_item(int id) { return GetDlgItem(g_state.page_window, id); }

// Posted to the frame when the extraction failed on its own thread; the
// frame ends the run.
const UINT kExtractionFailed = WM_APP;

// The progress page's side of the extraction's and the cleanup's reports;
// the workers send from their own threads.
void show_range(DWORD steps) {
  ProgressRange range = progress_range(steps);
  SendMessageW(page_item(IDC_PROGRESS), range.wide ? PBM_SETRANGE32 : PBM_SETRANGE, 0,
               static_cast<LPARAM>(range.lparam));
}

// The bar's position and the status line reach the page on a timer of the
// window thread: under Wine a message sent across threads costs more round
// trips to the server than the file it reports on, and the worker waited
// for two of them at every entry. The window thread shows what is latest.
// Only what changed is shown again: a text set anew repaints its line.
struct LatestProgress {
  SRWLOCK lock;
  DWORD position;
  DWORD shown_position;
  bool status_changed;
  wchar_t status[256];
};
LatestProgress g_latest;
const UINT_PTR kProgressTimer = 1;

void show_position(DWORD step) { g_latest.position = step; }

void show_status(const wchar_t* text) {
  AcquireSRWLockExclusive(&g_latest.lock);
  text_copy(g_latest.status, 256, text);
  g_latest.status_changed = true;
  ReleaseSRWLockExclusive(&g_latest.lock);
}

VOID CALLBACK show_latest_progress(HWND, UINT, UINT_PTR, DWORD) {
  DWORD position = g_latest.position;
  if (position != g_latest.shown_position) {
    SendMessageW(page_item(IDC_PROGRESS), PBM_SETPOS, position, 0);
    g_latest.shown_position = position;
  }
  AcquireSRWLockExclusive(&g_latest.lock);
  if (g_latest.status_changed) {
    SetDlgItemTextW(g_state.page_window, IDC_STATUS, g_latest.status);
    g_latest.status_changed = false;
  }
  ReleaseSRWLockExclusive(&g_latest.lock);
}

void show_headings(const wchar_t* title, const wchar_t* subtitle, const wchar_t* page_text) {
  SetDlgItemTextW(g_state.frame_window, IDC_TITLE, title);
  SetDlgItemTextW(g_state.frame_window, IDC_SUBTITLE, subtitle);
  SetDlgItemTextW(g_state.page_window, IDC_PAGE_TEXT, page_text);
}

void go_on_after_extraction() { PostMessageW(g_state.frame_window, WM_COMMAND, IDC_NEXT, 0); }

void take_over_failure() { PostMessageW(g_state.frame_window, kExtractionFailed, 0, 0); }

void move_item(HWND item, HWND insert_after, int x, int y) {
  SetWindowPos(item, insert_after, x, y, 0, 0, SWP_NOSIZE);
}

void go_to_page(int page) {
  g_state.current_page = page;
  show_page(page);
}

// Every way out of the wizard. A file cut short by the quit is removed, so
// that only complete entries stay on disk.
[[noreturn]] void quit_wizard() {
  if (g_state.current_page == 3) abandon_extraction();
  shutdown_and_exit();
}

void paint_header(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  LONG units = GetDialogBaseUnits();
  int bx = LOWORD(units);
  int by = HIWORD(units);
  paint_white(dc, bx * 550 / 8, 60);
  paint_bitmap(dc, IDB_LOGO, 43, 42, bx * 55, by * 9 / 16, 43, 42);
  EndPaint(window, &paint);
}

// The destination as typed, created when missing.
void commit_destination_once() {
  GetDlgItemTextW(g_state.page_window, IDC_PATH_EDIT, g_state.target_dir, kPathSize);
  if (!is_directory(g_state.target_dir)) {
    // The box's live state decides, not the one saved by Back.
    if (IsDlgButtonChecked(g_state.page_window, IDC_CREATE_BOX) != BST_CHECKED &&
        MessageBoxW(g_state.frame_window, L"目的目录不存在。要创建吗?", L"创建目录",
                    MB_YESNO | MB_ICONQUESTION) != IDYES) {
      return;
    }
    if (!create_target_directory()) return;
  }
  go_to_page(3);
}

// Next on page 2. A second Next that the question's box delivers while it
// is open asks nothing more: one question, one extraction.
bool g_committing_destination;

void commit_destination() {
  if (g_committing_destination) return;
  g_committing_destination = true;
  commit_destination_once();
  g_committing_destination = false;
}

// The worker's Next on page 3: the same ending as silent mode. A cleanup
// writes into page 3, so the frame keeps serving its messages until the
// cleanup ends the process. The steps run once: the Exec wait and the
// cleanup serve messages too, and a Next or an answered quit question met
// there must not start them again.
bool g_finish_started;

void finish_wizard() {
  if (g_finish_started) return;
  g_finish_started = true;
  run_post_actions();
  if (g_state.config.open_folder) {
    ShellExecuteW(nullptr, L"explore", g_state.target_dir, nullptr, nullptr, SW_SHOW);
  }
  end_after_post_actions();
}

// The quit question's box runs a message loop of its own, which also
// delivers the worker's Next on page 3: what follows the extraction waits
// for the answer, and a Yes leaves it undone.
bool g_quit_question_open;
bool g_finish_waits;

INT_PTR on_command(HWND window, int command) {
  switch (command) {
    case IDC_CANCEL:
      if (fatal_error_shown()) return 1;
      quit_wizard();
    case IDCANCEL: {
      if (fatal_error_shown()) return 1;
      g_quit_question_open = true;
      int answer = MessageBoxW(window, L"你确定想要退出吗?", L"确认退出", MB_YESNO | MB_ICONWARNING);
      g_quit_question_open = false;
      if (answer == IDYES) quit_wizard();
      if (g_finish_waits) {
        g_finish_waits = false;
        finish_wizard();
      }
      return 1;
    }
    case IDC_NEXT:
      if (g_state.current_page == 1) {
        if (g_state.config.auto_extract) {
          // No question and no error box: the worker reports a destination
          // it cannot write to.
          create_directory_chain(g_state.target_dir);
          go_to_page(3);
        } else {
          go_to_page(2);
        }
      } else if (g_state.current_page == 2) {
        commit_destination();
      } else if (g_quit_question_open) {
        g_finish_waits = true;
      } else {
        finish_wizard();
      }
      return 1;
    case IDC_BACK:
      if (g_state.current_page != 2) return 1;
      GetDlgItemTextW(g_state.page_window, IDC_PATH_EDIT, g_state.typed_path, 520);
      g_state.create_if_missing =
          IsDlgButtonChecked(g_state.page_window, IDC_CREATE_BOX) == BST_CHECKED;
      go_to_page(1);
      return 1;
  }
  return 0;
}

}  // namespace

void report_on_progress_page() {
  static const ProgressReport report = {show_range,    show_position,          show_status,
                                        show_headings, go_on_after_extraction, take_over_failure};
  set_progress_report(report);
  SetTimer(g_state.frame_window, kProgressTimer, 30, show_latest_progress);
}

void run_wizard() {
  prepare_for_windows();
  if (!init_common_controls() ||
      DialogBoxParamW(g_state.instance, MAKEINTRESOURCEW(IDD_FRAME), nullptr,
                      frame_dialog_proc, 0) == -1) {
    fatal_error(kCannotShowWizard);
  }
}

INT_PTR CALLBACK frame_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      g_state.frame_window = window;
      show_page(1);
      SetWindowTextW(window, g_state.config.archive_name);
      SetClassLongPtrW(window, GCLP_HICON,
                       reinterpret_cast<LONG_PTR>(
                           LoadIconW(g_state.instance, MAKEINTRESOURCEW(IDI_WIZARD))));
      ShowWindow(window, SW_SHOW);
      return 1;
    case WM_CLOSE:
      // The close box, Alt+F4 and the system menu end the wizard as Cancel does.
      PostMessageW(window, WM_COMMAND, IDC_CANCEL, 0);
      return 1;
    case WM_PAINT:
      if (g_state.current_page == 1) return 0;
      paint_header(window);
      return 1;
    case WM_COMMAND:
      return on_command(window, LOWORD(wparam));
    case kExtractionFailed:
      // The box comes with the entry that failed on the status line.
      show_latest_progress(nullptr, 0, 0, 0);
      end_failed_extraction();
    case WM_CTLCOLORSTATIC: {
      int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      if (id != IDC_TITLE && id != IDC_SUBTITLE) return 0;
      return reinterpret_cast<INT_PTR>(style_static_text(
          reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam),
          id == IDC_TITLE ? 700 : 500, g_state.ui_font_height, 0, g_state.ui_font_face, FALSE,
          OPAQUE, WHITE_BRUSH));
    }
    case WM_LBUTTONDOWN:
      // A press anywhere on the frame drags the whole wizard.
      PostMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return 1;
    case WM_RBUTTONDOWN:
      return 1;
  }
  return 0;
}

void create_page_dialog(int template_id) {
  g_state.page_window = CreateDialogParamW(g_state.instance, MAKEINTRESOURCEW(template_id),
                                           g_state.frame_window, page_dialog_proc, 0);
  move_item(g_state.page_window, HWND_TOP, 44, 70);
}

void show_page(int page) {
  if (g_state.page_window) DestroyWindow(g_state.page_window);
  g_state.page_window = nullptr;
  ShowWindow(g_state.frame_window, SW_SHOW);
  create_page_dialog(kPageTemplates[page]);
  EnableWindow(frame_item(IDC_NEXT), TRUE);
  EnableWindow(frame_item(IDC_BACK), TRUE);
  const int current = g_state.current_page;
  SetDlgItemTextW(g_state.frame_window, IDC_TITLE, kPageTitles[current]);
  SetDlgItemTextW(g_state.frame_window, IDC_SUBTITLE, kPageSubtitles[current]);
  ShowWindow(frame_item(IDC_PRODUCT_LABEL), SW_SHOW);
  move_item(frame_item(IDC_HEADER_LINE), HWND_TOP, 0, 59);
  move_item(frame_item(IDC_TITLE), HWND_TOP, 22, 12);
  move_item(frame_item(IDC_SUBTITLE), HWND_TOP, 44, 27);
  for (int id : {IDC_BACK, IDC_NEXT, IDC_CANCEL, IDC_PRODUCT_LABEL}) {
    set_control_font(frame_item(id), g_state.ui_font_face, g_state.ui_font_height, FALSE);
  }

  switch (current) {
    case 1:
      // The welcome page covers the header area.
      for (int id : {IDC_TITLE, IDC_SUBTITLE, IDC_HEADER_LINE}) {
        move_item(frame_item(id), HWND_BOTTOM, 1000, 1000);
      }
      move_item(g_state.page_window, HWND_TOP, 0, 0);
      ShowWindow(frame_item(IDC_PRODUCT_LABEL), SW_HIDE);
      EnableWindow(frame_item(IDC_BACK), FALSE);
      EnableWindow(frame_item(IDC_NEXT), TRUE);
      SetDlgItemTextW(g_state.page_window, IDC_WELCOME_TITLE, g_state.config.archive_name);
      SetDlgItemTextW(g_state.page_window, IDC_WELCOME_TEXT, g_state.config.intro_text);
      SetDlgItemTextW(g_state.page_window, IDC_LINK, url_display_text(g_state.config.url));
      if (g_state.config.auto_extract) SetDlgItemTextW(g_state.frame_window, IDC_NEXT, L"解压缩(&E)");
      break;
    case 2:
      SetDlgItemTextW(g_state.page_window, IDC_PATH_EDIT,
                      g_state.typed_path[0] ? g_state.typed_path : g_state.target_dir);
      SendMessageW(page_item(IDC_PATH_EDIT), EM_LIMITTEXT, 150, 0);
      CheckDlgButton(g_state.page_window, IDC_CREATE_BOX,
                     g_state.create_if_missing ? BST_CHECKED : BST_UNCHECKED);
      for (int id : {IDC_BACK, IDC_NEXT, IDC_CANCEL}) EnableWindow(frame_item(id), TRUE);
      for (int id : {IDC_PAGE_TEXT, IDC_PATH_EDIT, IDC_BROWSE, IDC_CREATE_BOX}) {
        set_control_font(page_item(id), g_state.ui_font_face, g_state.ui_font_height, FALSE);
      }
      break;
    case 3: {
      EnableWindow(frame_item(IDC_NEXT), FALSE);
      EnableWindow(frame_item(IDC_BACK), FALSE);
      for (int id : {IDC_PAGE_TEXT, IDC_STATUS}) {
        set_control_font(page_item(id), g_state.ui_font_face, g_state.ui_font_height, FALSE);
      }
      report_on_progress_page();
      HANDLE worker = CreateThread(nullptr, 0, extraction_worker, nullptr, 0, nullptr);
      if (!worker) fatal_error(L"不能解压缩当前文件。");
      CloseHandle(worker);
      break;
    }
  }
}

int create_target_directory() {
  if (create_directory_chain(g_state.target_dir)) return 1;
  wchar_t system_text[512];
  system_error_text(GetLastError(), system_text, 512);
  wchar_t text[1024];
  text_format(text, 1024,
              L"不能创建目的目录 %ls。\n请确定其中没有包括下列非法字符：\n/ \\ : * ? \" < > | ",
              system_text);
  MessageBoxW(g_state.frame_window, text, L"不能创建目录", MB_ICONERROR);
  return 0;
}

const wchar_t* url_display_text(const wchar_t* url) {
  if (lstrlenW(url) > 7 && str_compare_nocase(str_left(url, 7), L"mailto:") == 0) {
    int query = str_find(0, url, L"?");
    return str_mid(url, 8, query ? query - 8 : lstrlenW(url) - 7);
  }
  return url;
}
