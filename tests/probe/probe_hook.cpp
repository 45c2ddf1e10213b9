// Loaded into the target process by the hook: tells a message box's icon by
// comparing its handle with the shared system icons of that process.
#include "probe_hook.h"

namespace {

HMODULE g_module = nullptr;

struct IconSearch {
  HWND icon_control = nullptr;
};

// The icon is the static control with SS_ICON style (ID 20 on Windows, 1088
// under Wine), so look for the style rather than the ID.
BOOL CALLBACK find_icon_control(HWND child, LPARAM param) {
  char cls[16] = {};
  GetClassNameA(child, cls, sizeof cls);
  LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
  if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    reinterpret_cast<IconSearch*>(param)->icon_control = child;
    return FALSE;
  }
  return TRUE;
}

int icon_code(HWND box) {
  IconSearch search;
  EnumChildWindows(box, find_icon_control, reinterpret_cast<LPARAM>(&search));
  if (!search.icon_control || !IsWindowVisible(search.icon_control)) {
    return kIconNone;
  }
  HICON icon = reinterpret_cast<HICON>(
      SendMessageA(search.icon_control, STM_GETICON, 0, 0));
  if (!icon) return kIconNone;
  struct Known {
    LPCSTR id;
    int code;
  };
  const Known known[] = {{IDI_ERROR, kIconError},
                         {IDI_WARNING, kIconWarning},
                         {IDI_QUESTION, kIconQuestion},
                         {IDI_INFORMATION, kIconInformation}};
  for (const Known& k : known) {
    if (LoadIconA(nullptr, k.id) == icon) return k.code;
  }
  return kIconOther;
}

LRESULT CALLBACK call_wnd_proc(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lparam);
    static const UINT query = RegisterWindowMessageA(kProbeIconQuery);
    if (msg->message == query) {
      SetPropA(msg->hwnd, kProbeIconProp,
               reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1 + icon_code(msg->hwnd))));
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

extern "C" __declspec(dllexport) HHOOK __cdecl probe_hook_install(DWORD thread_id) {
  return SetWindowsHookExA(WH_CALLWNDPROC, call_wnd_proc, g_module, thread_id);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
