// How the extraction and the cleanup tell the user where they are. The
// wizard fills the record in when its progress page shows; silent mode
// leaves it empty, and every report is then nothing.
#pragma once
#include <windows.h>

struct ProgressReport {
  void (*set_range)(DWORD steps);
  void (*set_position)(DWORD step);
  void (*set_status)(const wchar_t* text);
  // The cleanup's own headings on the same page.
  void (*set_headings)(const wchar_t* title, const wchar_t* subtitle, const wchar_t* page_text);
  // Every entry is written: the wizard goes on to what follows.
  void (*extraction_done)();
  // The extraction failed on its own thread: the wizard ends the run.
  void (*extraction_failed)();
};

// The report in force; empty until the wizard sets one.
void set_progress_report(const ProgressReport& report);
bool progress_reported();

void report_range(DWORD steps);
void report_position(DWORD step);
void report_status(const wchar_t* text);
void report_headings(const wchar_t* title, const wchar_t* subtitle, const wchar_t* page_text);
void report_extraction_done();
// False when nobody takes the failure over (silent mode).
bool report_extraction_failed();
