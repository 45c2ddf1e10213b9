// Loaded into the target process by the hook: tells a message box's icon by
// comparing its handle with the shared system icons of that process.
#include "probe_hook.h"

#include <stdlib.h>

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

// GDI accounting: the executable's imports of the calls that make and
// delete fonts, bitmaps and device contexts are redirected here, and every
// object made is remembered until it is deleted.
HGDIOBJ g_live[4096];
int g_live_count;
long g_dcs_made;
long g_fonts_made;

void remember(HGDIOBJ object) {
  if (object && g_live_count < static_cast<int>(sizeof g_live / sizeof g_live[0])) {
    g_live[g_live_count++] = object;
  }
}

void forget(HGDIOBJ object) {
  for (int i = 0; i < g_live_count; ++i) {
    if (g_live[i] == object) {
      g_live[i] = g_live[--g_live_count];
      return;
    }
  }
}

decltype(&CreateFontIndirectW) g_create_font_indirect;
decltype(&CreateCompatibleDC) g_create_compatible_dc;
decltype(&DeleteDC) g_delete_dc;
decltype(&DeleteObject) g_delete_object;
decltype(&LoadBitmapW) g_load_bitmap;
decltype(&LoadImageW) g_load_image;

HFONT WINAPI counted_create_font_indirect(const LOGFONTW* logical) {
  HFONT font = g_create_font_indirect(logical);
  if (font) ++g_fonts_made;
  remember(font);
  return font;
}

HDC WINAPI counted_create_compatible_dc(HDC dc) {
  HDC made = g_create_compatible_dc(dc);
  if (made) ++g_dcs_made;
  remember(made);
  return made;
}

BOOL WINAPI counted_delete_dc(HDC dc) {
  BOOL ok = g_delete_dc(dc);
  if (ok) forget(dc);
  return ok;
}

BOOL WINAPI counted_delete_object(HGDIOBJ object) {
  BOOL ok = g_delete_object(object);
  if (ok) forget(object);
  return ok;
}

HBITMAP WINAPI counted_load_bitmap(HINSTANCE instance, LPCWSTR name) {
  HBITMAP bitmap = g_load_bitmap(instance, name);
  remember(bitmap);
  return bitmap;
}

HANDLE WINAPI counted_load_image(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy,
                                 UINT flags) {
  HANDLE image = g_load_image(instance, name, type, cx, cy, flags);
  if (type == IMAGE_BITMAP && !(flags & LR_SHARED)) remember(image);
  return image;
}

// Whether `names` (a null-ended name table) lists `function`; `index` is
// its position.
bool find_name(BYTE* base, const IMAGE_THUNK_DATA* names, const char* function, size_t* index) {
  for (size_t i = 0; names[i].u1.AddressOfData; ++i) {
    if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
    const IMAGE_IMPORT_BY_NAME* by_name =
        reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
    if (lstrcmpA(reinterpret_cast<const char*>(by_name->Name), function) == 0) {
      *index = i;
      return true;
    }
  }
  return false;
}

// The import slot of `function` from `dll` in `module`, from the ordinary
// or the delay-load import table; null when the module imports it neither
// way. `delayed` tells which.
void** import_slot(HMODULE module, const char* dll, const char* function, bool* delayed) {
  BYTE* base = reinterpret_cast<BYTE*>(module);
  const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  size_t index = 0;
  if (imports.VirtualAddress) {
    for (const IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0 ||
          !d->OriginalFirstThunk) {
        continue;
      }
      if (find_name(base, reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk),
                    function, &index)) {
        *delayed = false;
        return reinterpret_cast<void**>(
            &reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk)[index].u1.Function);
      }
    }
  }
  // Delay-load descriptors: the MinGW linker leaves the directory entry
  // empty, so look for them in the sections: eight 32-bit words, the first
  // 1 (relative addresses), the second the address of the DLL's name.
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const DWORD image_size = nt->OptionalHeader.SizeOfImage;
  for (WORD n = 0; n < nt->FileHeader.NumberOfSections; ++n, ++section) {
    const DWORD first = section->VirtualAddress;
    const DWORD end = first + section->Misc.VirtualSize;
    for (DWORD at = first; at + sizeof(IMAGE_DELAYLOAD_DESCRIPTOR) <= end; at += 4) {
      const IMAGE_DELAYLOAD_DESCRIPTOR* d =
          reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(base + at);
      if (d->Attributes.AllAttributes != 1 || d->DllNameRVA == 0 ||
          d->DllNameRVA >= image_size || d->ImportNameTableRVA == 0 ||
          d->ImportNameTableRVA >= image_size || d->ImportAddressTableRVA == 0 ||
          d->ImportAddressTableRVA >= image_size ||
          lstrcmpiA(reinterpret_cast<const char*>(base + d->DllNameRVA), dll) != 0) {
        continue;
      }
      if (find_name(base,
                    reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->ImportNameTableRVA),
                    function, &index)) {
        *delayed = true;
        return reinterpret_cast<void**>(&reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + d->ImportAddressTableRVA)[index].u1.Function);
      }
    }
  }
  return nullptr;
}

// False when the executable does not import `function`: nothing is counted.
template <typename F>
bool redirect(const char* dll, const char* function, F replacement, F* original) {
  bool delayed = false;
  void** slot = import_slot(GetModuleHandleA(nullptr), dll, function, &delayed);
  // The function itself: a delay-load slot may still hold the loader's stub,
  // which would put the real address back on its first call.
  *original = reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(dll), function)));
  if (!slot) return false;
  if (!delayed) *original = reinterpret_cast<F>(*slot);
  DWORD old_protection;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection);
  *slot = reinterpret_cast<void*>(replacement);
  VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
  return true;
}

bool start_gdi_count() {
  static bool redirected = false;
  if (!redirected) {
    // The redirected imports point into this DLL: keep it loaded for good,
    // whatever becomes of the hook.
    char path[MAX_PATH];
    if (!GetModuleFileNameA(g_module, path, MAX_PATH) || !LoadLibraryA(path)) return false;
    // The stub calls all but LoadImageW itself; a count that misses one of
    // them would pass whatever the stub does.
    bool counted = redirect("gdi32.dll", "CreateFontIndirectW", counted_create_font_indirect,
                            &g_create_font_indirect) &&
                   redirect("gdi32.dll", "CreateCompatibleDC", counted_create_compatible_dc,
                            &g_create_compatible_dc) &&
                   redirect("gdi32.dll", "DeleteDC", counted_delete_dc, &g_delete_dc) &&
                   redirect("gdi32.dll", "DeleteObject", counted_delete_object,
                            &g_delete_object) &&
                   redirect("user32.dll", "LoadBitmapW", counted_load_bitmap, &g_load_bitmap);
    redirect("user32.dll", "LoadImageW", counted_load_image, &g_load_image);
    if (!counted) return false;
    redirected = true;
  }
  g_live_count = 0;
  g_dcs_made = 0;
  g_fonts_made = 0;
  return true;
}

// Write faults: the executable's WriteFile fails from call `g_fault_call`
// on with `g_fault_code`, as a disk that fills up does; a short fault first
// lets that call take a few bytes and report success, as Wine does on a full
// disk.
decltype(&WriteFile) g_write_file;
LONG g_write_calls;
LONG g_fault_call;
DWORD g_fault_code;
bool g_fault_short;
bool g_fault_slow;

// The event `prefix` followed by this process's ID.
HANDLE process_event(const char* prefix) {
  char name[64];
  lstrcpyA(name, prefix);
  char digits[16];
  int n = 0;
  for (DWORD pid = GetCurrentProcessId(); n == 0 || pid > 0; pid /= 10) {
    digits[n++] = static_cast<char>('0' + pid % 10);
  }
  char* end = name + lstrlenA(name);
  while (n > 0) *end++ = digits[--n];
  *end = '\0';
  return CreateEventA(nullptr, TRUE, FALSE, name);
}

// Tells the test that the slow or held call has begun. The event is left
// open: it lives as long as the process.
void signal_begun(const char* prefix) {
  HANDLE event = process_event(prefix);
  if (event) SetEvent(event);
}

decltype(&RemoveDirectoryW) g_remove_directory;
LONG g_removals;

BOOL WINAPI held_remove_directory(LPCWSTR path) {
  if (InterlockedIncrement(&g_removals) == 1) {
    HANDLE release = process_event(kProbeReleaseEvent);
    signal_begun(kProbeHeldRemovalEvent);
    if (release) {
      WaitForSingleObject(release, kProbeHoldMaxMs);
      CloseHandle(release);
    }
  }
  return g_remove_directory(path);
}

BOOL WINAPI faulty_write_file(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                              LPOVERLAPPED overlapped) {
  LONG call = InterlockedIncrement(&g_write_calls);
  if (call < g_fault_call) return g_write_file(file, data, size, written, overlapped);
  if (g_fault_slow) {
    if (call == g_fault_call) {
      signal_begun(kProbeSlowWriteEvent);
      Sleep(kProbeSlowWriteMs);
    }
    return g_write_file(file, data, size, written, overlapped);
  }
  if (call == g_fault_call && g_fault_short && size > 32) {
    return g_write_file(file, data, 32, written, overlapped);
  }
  if (written) *written = 0;
  SetLastError(g_fault_code);
  return FALSE;
}

// kProbeWriteFaultEnv holds "CALL,CODE", "CALL,CODE,short" or "CALL,0,slow".
void arm_write_fault() {
  char plan[64];
  DWORD length = GetEnvironmentVariableA(kProbeWriteFaultEnv, plan, sizeof plan);
  if (length == 0 || length >= sizeof plan) return;
  char* hold = plan;
  while (*hold && lstrcmpA(hold, "hold-rmdir") != 0) ++hold;
  if (*hold) {
    redirect("kernel32.dll", "RemoveDirectoryW", held_remove_directory, &g_remove_directory);
    if (hold > plan) hold[-1] = '\0';  // the '+' before it
    if (hold == plan) return;
  }
  const char* c = plan;
  auto number = [&c]() {
    LONG value = 0;
    while (*c >= '0' && *c <= '9') value = value * 10 + (*c++ - '0');
    if (*c == ',') ++c;
    return value;
  };
  g_fault_call = number();
  g_fault_code = static_cast<DWORD>(number());
  g_fault_short = lstrcmpA(c, "short") == 0;
  g_fault_slow = lstrcmpA(c, "slow") == 0;
  redirect("kernel32.dll", "WriteFile", faulty_write_file, &g_write_file);
}

decltype(&CreateProcessW) g_create_process;
DWORD g_create_process_fault;
volatile LONG g_create_process_calls;

BOOL WINAPI faulty_create_process(LPCWSTR application, LPWSTR command_line,
                                  LPSECURITY_ATTRIBUTES process_attributes,
                                  LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit,
                                  DWORD flags, LPVOID environment, LPCWSTR directory,
                                  LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
  if (InterlockedIncrement(&g_create_process_calls) == 1) {
    SetLastError(g_create_process_fault);
    return FALSE;
  }
  return g_create_process(application, command_line, process_attributes, thread_attributes,
                          inherit, flags, environment, directory, startup, information);
}

void arm_create_process_fault() {
  char code[16];
  DWORD length = GetEnvironmentVariableA(kProbeCreateProcessFaultEnv, code, sizeof code);
  if (length == 0 || length >= sizeof code) return;
  g_create_process_fault = strtoul(code, nullptr, 10);
  redirect("kernel32.dll", "CreateProcessW", faulty_create_process, &g_create_process);
}

void answer(HWND window, int index, LONG_PTR value) {
  SetPropA(window, kProbeAnswerProps[index], reinterpret_cast<HANDLE>(value + 1));
}

void answer_query(HWND window, WPARAM kind, LPARAM argument) {
  switch (kind) {
    case kQueryDialogUnits: {
      RECT units = {0, 0, 4, 8};
      if (!MapDialogRect(window, &units)) return;
      answer(window, 0, units.right);
      answer(window, 1, units.bottom);
      return;
    }
    case kQueryStaticStyle: {
      HDC dc = CreateCompatibleDC(nullptr);
      if (!dc) return;
      HGDIOBJ first_font = GetCurrentObject(dc, OBJ_FONT);
      LRESULT brush = SendMessageA(GetParent(window), WM_CTLCOLORSTATIC,
                                   reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(window));
      HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
      LOGFONTW logical = {};
      GetObjectW(font, sizeof logical, &logical);
      answer(window, 0, font == first_font ? 0 : reinterpret_cast<LONG_PTR>(font));
      answer(window, 1, logical.lfHeight);
      answer(window, 2, logical.lfWeight);
      answer(window, 3, logical.lfUnderline);
      answer(window, 4, GetTextColor(dc));
      answer(window, 5, GetBkMode(dc));
      answer(window, 6, reinterpret_cast<HGDIOBJ>(brush) == GetStockObject(WHITE_BRUSH));
      answer(window, 7, GlobalAddAtomW(logical.lfFaceName));
      SelectObject(dc, first_font);
      DeleteDC(dc);
      return;
    }
    case kQueryCursor: {
      HCURSOR wanted = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(argument));
      answer(window, 0, wanted && GetCursor() == wanted);
      return;
    }
    case kQueryGdiStart:
      answer(window, 0, start_gdi_count());
      return;
    case kQueryGdiRepaint:
      for (LPARAM i = 0; i < argument; ++i) {
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
      }
      answer(window, 0, g_live_count);
      answer(window, 1, g_dcs_made);
      answer(window, 2, g_fonts_made);
      return;
  }
}

LRESULT CALLBACK call_wnd_proc(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lparam);
    static const UINT icon_query = RegisterWindowMessageA(kProbeIconQuery);
    static const UINT query = RegisterWindowMessageA(kProbeQuery);
    if (msg->message == icon_query) {
      SetPropA(msg->hwnd, kProbeIconProp,
               reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1 + icon_code(msg->hwnd))));
    } else if (msg->message == query) {
      answer_query(msg->hwnd, msg->wParam, msg->lParam);
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
    arm_write_fault();
    arm_create_process_fault();
  }
  return TRUE;
}
