// The probe's test program. Modes (first argument):
//   msgbox ICON BUTTONS CAPTION TEXT [TEXT2]  message box; exit code = the
//       button pressed (ICON: error|warning|question|information|none,
//       BUTTONS: ok|okcancel|yesno); TEXT2 is joined to TEXT by a line feed
//   dialog   dialog with a progress bar; exit code = ID of the button pressed
//   flash    shows a dialog until its caption has been read twice, then
//       exits with 0 a moment after it is gone
//   silent   shows nothing, exits with 3 after 200 ms
//   cwd DIR  exits with 0 when the current directory is DIR, else with 4
//   hang     shows nothing and never ends
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "probe_target.h"

namespace {

UINT icon_flag(const char* name) {
  if (!strcmp(name, "error")) return MB_ICONERROR;
  if (!strcmp(name, "warning")) return MB_ICONWARNING;
  if (!strcmp(name, "question")) return MB_ICONQUESTION;
  if (!strcmp(name, "information")) return MB_ICONINFORMATION;
  return 0;
}

UINT button_flag(const char* name) {
  if (!strcmp(name, "okcancel")) return MB_OKCANCEL;
  if (!strcmp(name, "yesno")) return MB_YESNO;
  return MB_OK;
}

int show_message_box(int argc, char** argv) {
  if (argc < 6) return kTargetBadArguments;
  std::vector<char> text(argv[5], argv[5] + strlen(argv[5]));
  if (argc > 6) {
    text.push_back('\n');
    text.insert(text.end(), argv[6], argv[6] + strlen(argv[6]));
  }
  text.push_back('\0');
  return MessageBoxA(nullptr, text.data(), argv[4],
                     icon_flag(argv[2]) | button_flag(argv[3]));
}

// An in-memory dialog template: texts are set afterwards with the ANSI
// calls so that they stay the GBK bytes of this file's literals.
class TemplateBuilder {
 public:
  TemplateBuilder(DWORD style, short cx, short cy) {
    put_dword(style);
    put_dword(0);  // extended style
    count_at_ = words_.size();
    put_word(0);  // item count
    put_word(0);  // x
    put_word(0);  // y
    put_word(static_cast<WORD>(cx));
    put_word(static_cast<WORD>(cy));
    put_word(0);  // menu
    put_word(0);  // class
    put_word(0);  // title
    put_word(9);  // DS_SETFONT point size
    for (const char* f = "Tahoma"; *f; ++f) put_word(static_cast<WORD>(*f));
    put_word(0);
  }

  // A control of a predefined class, given by its atom.
  void add(WORD atom, WORD id, DWORD style, short x, short y, short cx, short cy) {
    begin_item(id, style, x, y, cx, cy);
    put_word(0xFFFF);
    put_word(atom);
    end_item();
  }

  // A control of a registered class, given by name.
  void add(const char* cls, WORD id, DWORD style, short x, short y, short cx,
           short cy) {
    begin_item(id, style, x, y, cx, cy);
    for (; *cls; ++cls) put_word(static_cast<WORD>(*cls));
    put_word(0);
    end_item();
  }

  const DLGTEMPLATE* get() const {
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }

 private:
  void begin_item(WORD id, DWORD style, short x, short y, short cx, short cy) {
    if (words_.size() % 2) put_word(0);  // items are DWORD-aligned
    put_dword(style | WS_CHILD);
    put_dword(0);
    put_word(static_cast<WORD>(x));
    put_word(static_cast<WORD>(y));
    put_word(static_cast<WORD>(cx));
    put_word(static_cast<WORD>(cy));
    put_word(id);
  }

  void end_item() {
    put_word(0);  // title: set later
    put_word(0);  // no creation data
    ++words_[count_at_];
  }

  void put_word(WORD w) { words_.push_back(w); }
  void put_dword(DWORD d) {
    put_word(LOWORD(d));
    put_word(HIWORD(d));
  }

  // Vector storage is suitably aligned for the template's DWORDs.
  std::vector<WORD> words_;
  size_t count_at_ = 0;
};

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;

TemplateBuilder make_dialog_template() {
  TemplateBuilder t(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION |
                        WS_SYSMENU | WS_VISIBLE,
                    240, 120);
  t.add(kStatic, kTargetPageText, WS_VISIBLE | SS_LEFT, 8, 8, 224, 12);
  t.add(kEdit, kTargetEdit, WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 8, 24, 224, 14);
  t.add(PROGRESS_CLASSA, kTargetProgress, WS_VISIBLE, 8, 44, 224, 10);
  t.add(kStatic, kTargetStatus, WS_VISIBLE | SS_LEFT, 8, 58, 224, 12);
  t.add(kStatic, kTargetHidden, SS_LEFT, 8, 72, 224, 12);
  t.add(kButton, kTargetBack, WS_VISIBLE | WS_DISABLED | BS_PUSHBUTTON, 64, 98, 50, 14);
  t.add(kButton, kTargetNext, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 122, 98, 50, 14);
  t.add(kButton, kTargetCancel, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 180, 98, 50, 14);
  return t;
}

INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowTextA(dlg, kTargetDialogCaption);
      SetDlgItemTextA(dlg, kTargetPageText, kTargetPageTextValue);
      SetDlgItemTextA(dlg, kTargetEdit, kTargetEditValue);
      SetDlgItemTextA(dlg, kTargetStatus, kTargetStatusValue);
      SetDlgItemTextA(dlg, kTargetHidden, kTargetHiddenValue);
      SetDlgItemTextA(dlg, kTargetBack, kTargetBackValue);
      SetDlgItemTextA(dlg, kTargetNext, kTargetNextValue);
      SetDlgItemTextA(dlg, kTargetCancel, kTargetCancelValue);
      SendDlgItemMessageA(dlg, kTargetProgress, PBM_SETRANGE32, kTargetProgressLow,
                          kTargetProgressHigh);
      SendDlgItemMessageA(dlg, kTargetProgress, PBM_SETPOS, kTargetProgressPos, 0);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        int id = LOWORD(wparam);
        if (id == kTargetBack || id == kTargetNext || id == kTargetCancel) {
          EndDialog(dlg, id);
          return TRUE;
        }
      }
      break;
    case WM_CLOSE:
      EndDialog(dlg, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

int show_dialog() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  if (!InitCommonControlsEx(&icc)) return kTargetFailed;
  TemplateBuilder t = make_dialog_template();
  INT_PTR r = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.get(), nullptr,
                                      dialog_proc, 0);
  return r <= 0 ? kTargetFailed : static_cast<int>(r);
}

// Shown until the probe has read its caption twice (so that one whole poll
// has seen it visible), then gone while the program runs on: the probe must
// remember a window that has gone.
int g_caption_reads;

INT_PTR CALLBACK flash_proc(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_GETTEXT) ++g_caption_reads;
  return FALSE;
}

int flash_dialog() {
  TemplateBuilder t(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 40);
  HWND dlg = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), t.get(), nullptr,
                                        flash_proc, 0);
  if (!dlg) return kTargetFailed;
  SetWindowTextA(dlg, kTargetFlashCaption);
  g_caption_reads = 0;
  for (int waited = 0; g_caption_reads < 2 && waited < 30000; waited += 10) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  DestroyWindow(dlg);
  Sleep(200);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = __argc;
  char** argv = __argv;
  if (argc < 2) return kTargetBadArguments;
  const char* mode = argv[1];
  if (!strcmp(mode, "msgbox")) return show_message_box(argc, argv);
  if (!strcmp(mode, "dialog")) return show_dialog();
  if (!strcmp(mode, "flash")) return flash_dialog();
  if (!strcmp(mode, "silent")) {
    Sleep(200);
    return kTargetSilentExit;
  }
  if (!strcmp(mode, "cwd") && argc > 2) {
    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof dir, dir);
    size_t n = strlen(dir);
    if (n > 3 && dir[n - 1] == '\\') dir[n - 1] = '\0';
    return lstrcmpiA(dir, argv[2]) == 0 ? 0 : 4;
  }
  if (!strcmp(mode, "hang")) {
    for (;;) Sleep(1000);
  }
  return kTargetBadArguments;
}
