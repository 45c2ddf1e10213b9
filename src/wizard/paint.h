// Fonts and pictures of the wizard. Every font and bitmap is made once and
// kept until the process ends: the wizard repaints often (dragged, covered,
// uncovered), and an object made per paint would soon exhaust the process's
// GDI objects.
#pragma once
#include <windows.h>

// The styling step of a WM_CTLCOLORSTATIC handler: selects into `dc` the
// control's font changed to `weight`, `height`, `face` and `underline`, sets
// the background mode and the text colour, and returns the stock brush.
HBRUSH style_static_text(HWND control, HDC dc, int weight, int height, COLORREF colour,
                         const wchar_t* face, BOOL underline, int background_mode,
                         int stock_object);

// Gives `control` its own font: its current one with `face`, `height` and
// normal or bold weight. Returns the result of releasing the control's DC,
// 0 when it has none.
int set_control_font(HWND control, const wchar_t* face, int height, BOOL bold);

// Paints the rectangle (0, 0, right, bottom) white whatever pen and brush
// are selected.
void paint_white(HDC dc, int right, int bottom);

// Copies the whole of bitmap `id` (width x height) to (x, y) stretched to
// `dest_width` x `dest_height`. The bitmap is loaded once; the memory DC
// lives for this one copy.
void paint_bitmap(HDC dc, int id, int width, int height, int x, int y, int dest_width,
                  int dest_height);
