#include "core/progress_report.h"

#include "core/state.h"

void set_progress_report(const ProgressReport& report) { g_state.progress = report; }

bool progress_reported() { return g_state.progress.set_status != nullptr; }

void report_range(DWORD steps) {
  if (g_state.progress.set_range) g_state.progress.set_range(steps);
}

void report_position(DWORD step) {
  if (g_state.progress.set_position) g_state.progress.set_position(step);
}

void report_status(const wchar_t* text) {
  if (g_state.progress.set_status) g_state.progress.set_status(text);
}

void report_headings(const wchar_t* title, const wchar_t* subtitle, const wchar_t* page_text) {
  if (g_state.progress.set_headings) g_state.progress.set_headings(title, subtitle, page_text);
}

void report_extraction_done() {
  if (g_state.progress.extraction_done) g_state.progress.extraction_done();
}

bool report_extraction_failed() {
  if (!g_state.progress.extraction_failed) return false;
  g_state.progress.extraction_failed();
  return true;
}
