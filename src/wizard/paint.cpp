#include "wizard/paint.h"

#include <string.h>

#include "core/state.h"
#include "util/text.h"

namespace {

// The wizard uses a handful of distinct fonts (two per frame title, three on
// the welcome page, one for the buttons and page texts); each is made the
// first time it is asked for and handed out again for the same logical font,
// however often the pages are painted or shown again.
struct CachedFont {
  LOGFONTW logical;
  HFONT font;
};
CachedFont g_fonts[8];
int g_font_count;

HFONT cached_font(const LOGFONTW& logical) {
  for (int i = 0; i < g_font_count; ++i) {
    if (memcmp(&g_fonts[i].logical, &logical, sizeof logical) == 0) return g_fonts[i].font;
  }
  HFONT font = CreateFontIndirectW(&logical);
  if (!font) return nullptr;
  if (g_font_count == static_cast<int>(sizeof g_fonts / sizeof g_fonts[0])) {
    // Never reached by the wizard's own styles; should it be, the last slot
    // is replaced rather than leaking one font per paint.
    DeleteObject(g_fonts[g_font_count - 1].font);
    --g_font_count;
  }
  g_fonts[g_font_count].logical = logical;
  g_fonts[g_font_count].font = font;
  ++g_font_count;
  return font;
}

// The control's current logical font; the system font when it has none.
void control_logical_font(HWND control, LOGFONTW* logical) {
  ZeroMemory(logical, sizeof *logical);
  HFONT current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (!current) current = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  GetObjectW(current, sizeof *logical, logical);
}

// The wizard's texts are Chinese on every machine: the font is asked for
// with the Chinese character set, not the one of the machine's own texts.
void set_face(LOGFONTW* logical, const wchar_t* face) {
  ZeroMemory(logical->lfFaceName, sizeof logical->lfFaceName);
  text_copy(logical->lfFaceName, LF_FACESIZE, face);
  logical->lfCharSet = GB2312_CHARSET;
}

struct CachedBitmap {
  int id;
  HBITMAP bitmap;
};
CachedBitmap g_bitmaps[2];

HBITMAP cached_bitmap(int id) {
  for (CachedBitmap& slot : g_bitmaps) {
    if (slot.id == id) return slot.bitmap;
    if (slot.id == 0) {
      slot.bitmap = LoadBitmapW(g_state.instance, MAKEINTRESOURCEW(id));
      if (slot.bitmap) slot.id = id;
      return slot.bitmap;
    }
  }
  return nullptr;
}

}  // namespace

HBRUSH style_static_text(HWND control, HDC dc, int weight, int height, COLORREF colour,
                         const wchar_t* face, BOOL underline, int background_mode,
                         int stock_object) {
  LOGFONTW logical;
  control_logical_font(control, &logical);
  logical.lfHeight = height;
  logical.lfWeight = weight;
  logical.lfUnderline = underline ? 1 : 0;
  set_face(&logical, face);
  HFONT font = cached_font(logical);
  if (font) SelectObject(dc, font);
  SetBkMode(dc, background_mode);
  SetTextColor(dc, colour);
  return static_cast<HBRUSH>(GetStockObject(stock_object));
}

int set_control_font(HWND control, const wchar_t* face, int height, BOOL bold) {
  HDC dc = GetDC(control);
  if (!dc) return 0;
  LOGFONTW logical;
  control_logical_font(control, &logical);
  logical.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  logical.lfHeight = height;
  set_face(&logical, face);
  HFONT font = cached_font(logical);
  if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return ReleaseDC(control, dc);
}

void paint_white(HDC dc, int right, int bottom) {
  int old_mode = SetROP2(dc, R2_WHITE);
  Rectangle(dc, 0, 0, right, bottom);
  SetROP2(dc, old_mode);
}

void paint_bitmap(HDC dc, int id, int width, int height, int x, int y, int dest_width,
                  int dest_height) {
  HBITMAP bitmap = cached_bitmap(id);
  if (!bitmap) return;
  HDC memory = CreateCompatibleDC(dc);
  if (!memory) return;
  HGDIOBJ old = SelectObject(memory, bitmap);
  StretchBlt(dc, x, y, dest_width, dest_height, memory, 0, 0, width, height, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}
