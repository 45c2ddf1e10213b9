// Drives the wizard of a self-extracting file through the probe: starts it,
// finds the frame and the page in place, answers its message boxes.
#pragma once
#include <string>

#include "harness.h"

namespace e2e {

// Control IDs of the frame and its pages.
enum WizardId {
  kBack = 1000,
  kNext = 1003,
  kCancel = 1005,
  kButtonLine = 1013,
  kTitle = 1015,
  kSubtitle = 1017,
  kProductLabel = 1019,
  kHeaderLine = 1022,
  kPathEdit = 1002,
  kBrowse = 1004,
  kProgressBar = 1007,
  kWelcomeTitle = 1009,
  kLink = 1010,
  kCreateBox = 1014,
  kPageText = 1016,
  kWelcomeText = 1017,
  kStatusLine = 1018,
};

const unsigned kWizardWaitMs = 15000;

class Wizard {
 public:
  // Writes `fixture` as setup.exe into `dir` and starts it in `dir`; true
  // once the frame captioned `caption` is shown.
  bool start(const std::string& dir, const Fixture& fixture, const std::string& caption);
  // The same with the file's bytes made already.
  bool start_bytes(const std::string& dir, const std::string& bytes, const std::string& caption);

  // Waits until page `page` (1, 2 or 3) is the frame's page.
  probe::Window wait_page(int page);
  // The page dialog now in the frame (empty when none).
  probe::Window page() const;
  // Waits for a message box captioned `caption` and reads it.
  bool read_box(const std::string& caption, probe::Window* box, probe::MessageBoxInfo* info);
  // Waits for the end; true when the process ended by itself with code 1.
  bool ended_with_1(unsigned timeout_ms = kRunTimeoutMs);

  // The frame's Next, Back, and Esc as the keyboard gives it.
  bool next() { return frame.click(kNext); }
  bool back() { return frame.click(kBack); }
  bool press_escape() { return frame.post(WM_KEYDOWN, VK_ESCAPE, 1); }

  // Set before the start: makes the program's writes fail (see
  // kProbeWriteFaultEnv).
  std::string write_fault;
  probe::ProbeProcess process;
  probe::Window frame;
  std::string exe;
  std::string failure;
  probe::ExitResult exit;
};

// Every visible top-level window seen while `process` runs to its end, as
// "caption" lines; the frame itself is left out.
std::string boxes_until_exit(Wizard* wizard, unsigned timeout_ms = kRunTimeoutMs);

}  // namespace e2e
