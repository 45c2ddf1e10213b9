#include "wizard/pages.h"

#include <shellapi.h>
#include <shlobj.h>

#include "wizard/paint.h"
#include "wizard/resource_ids.h"
#include "core/state.h"

namespace {

const COLORREF kDarkBlue = RGB(0, 0, 170);

// The link reacts over the label's whole rectangle, and only when there is
// somewhere to go. The statics have no SS_NOTIFY, so the page sees the
// pointer over them.
bool link_under_pointer(LPARAM lparam) {
  POINT point = {LOWORD(lparam), HIWORD(lparam)};
  HWND child = ChildWindowFromPoint(g_state.page_window, point);
  return child && child == GetDlgItem(g_state.page_window, IDC_LINK) &&
         g_state.config.url[0] != 0;
}

void paint_welcome(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  LONG units = GetDialogBaseUnits();
  int bx = LOWORD(units);
  int by = HIWORD(units);
  paint_white(dc, bx * 550 / 8, by * 313 / 16);
  paint_bitmap(dc, IDB_BANNER, 163, 289, 0, 0, bx * 163 / 8, by * 289 / 16);
  EndPaint(window, &paint);
}

INT_PTR style_welcome_text(HWND control, HDC dc) {
  const int height = g_state.ui_font_height;
  int weight;
  int font_height = height;
  COLORREF colour = kDarkBlue;
  BOOL underline = FALSE;
  switch (GetDlgCtrlID(control)) {
    case IDC_WELCOME_TITLE:
      weight = 700;
      font_height = height / 4 * 5;
      break;
    case IDC_WELCOME_TEXT:
      weight = 500;
      colour = 0;
      break;
    case IDC_LINK:
      weight = 500;
      underline = TRUE;
      break;
    default:
      return 0;
  }
  return reinterpret_cast<INT_PTR>(style_static_text(control, dc, weight, font_height, colour,
                                                     g_state.ui_font_face, underline, OPAQUE,
                                                     WHITE_BRUSH));
}

void browse_for_folder() {
  wchar_t display_name[MAX_PATH];
  BROWSEINFOW info = {};
  info.hwndOwner = g_state.frame_window;
  info.pszDisplayName = display_name;
  info.lpszTitle = L"请选择目的文件夹:";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  info.lpfn = browse_callback;
  LPITEMIDLIST item = SHBrowseForFolderW(&info);
  if (!item) return;
  wchar_t path[MAX_PATH];
  if (SHGetPathFromIDListW(item, path)) {
    SetDlgItemTextW(g_state.page_window, IDC_PATH_EDIT, path);
  }
  ILFree(item);
}

}  // namespace

INT_PTR CALLBACK page_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      g_state.page_window = window;
      ShowWindow(window, SW_SHOW);
      if (g_state.current_page == 1) {
        // Shared by the system: loading it again hands out the same cursor.
        g_state.hand_cursor = LoadCursorW(g_state.instance, MAKEINTRESOURCEW(IDR_HAND_CURSOR));
      }
      return 1;
    case WM_PAINT:
      if (g_state.current_page != 1) return 0;
      paint_welcome(window);
      return 1;
    case WM_CTLCOLORSTATIC:
      if (g_state.current_page != 1) return 0;
      return style_welcome_text(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
    case WM_MOUSEMOVE:
      if (link_under_pointer(lparam)) SetCursor(g_state.hand_cursor);
      return 1;
    case WM_LBUTTONDOWN:
      if (link_under_pointer(lparam)) {
        // The whole url: the label may show a shortened form.
        ShellExecuteW(window, L"open", g_state.config.url, nullptr, nullptr, SW_SHOWNORMAL);
      } else {
        // A press on a free spot drags the whole wizard.
        PostMessageW(g_state.frame_window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      }
      return 1;
    case WM_COMMAND:
      if (LOWORD(wparam) != IDC_BROWSE) return 0;
      browse_for_folder();
      return 1;
    case WM_RBUTTONDOWN:
      return 1;
  }
  return 0;
}

int CALLBACK browse_callback(HWND window, UINT message, LPARAM, LPARAM) {
  wchar_t typed[520];
  GetDlgItemTextW(g_state.page_window, IDC_PATH_EDIT, typed, 520);
  // The browse opens at the folder the edit names.
  if (message == BFFM_INITIALIZED) {
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(typed));
  }
  return 0;
}
