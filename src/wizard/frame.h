// The wizard frame: one modal dialog hosting one page at a time, the header
// band of pages 2 and 3, and the page sequence with every way out of it.
#pragma once
#include <windows.h>

// Loads what only the wizard needs, then runs the frame modally. Every way
// out of the wizard ends the process, so this returns only when the frame
// could not be shown at all.
void run_wizard();

INT_PTR CALLBACK frame_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Destroys the current page, creates `page` and sets the frame's controls
// for current_page.
void show_page(int page);
void create_page_dialog(int template_id);
// Makes the progress page the side of the extraction's and the cleanup's
// reports: its bar, its status line and texts, and the frame's headings.
// The bar and the status line follow on a timer of the calling thread,
// which must go on serving messages.
void report_on_progress_page();
// 1 when target_dir now exists; 0 after the error box.
int create_target_directory();
// The link's label: a "mailto:" address without its prefix and its query;
// any other url unchanged.
const wchar_t* url_display_text(const wchar_t* url);
