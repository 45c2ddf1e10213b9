// Drives the wizard of a self-extracting file through the probe: starts it,
// finds the frame and the page in place, answers its message boxes.
#pragma once
#include <functional>
#include <string>

#include "harness.h"
#include "src/wizard/resource_ids.h"

namespace e2e {

// Control IDs of the frame and its pages, as the stub's resources name them.
enum WizardId {
  kBack = IDC_BACK,
  kNext = IDC_NEXT,
  kCancel = IDC_CANCEL,
  kButtonLine = IDC_BUTTON_LINE,
  kTitle = IDC_TITLE,
  kSubtitle = IDC_SUBTITLE,
  kProductLabel = IDC_PRODUCT_LABEL,
  kHeaderLine = IDC_HEADER_LINE,
  kPathEdit = IDC_PATH_EDIT,
  kBrowse = IDC_BROWSE,
  kProgressBar = IDC_PROGRESS,
  kWelcomeTitle = IDC_WELCOME_TITLE,
  kLink = IDC_LINK,
  kCreateBox = IDC_CREATE_BOX,
  kPageText = IDC_PAGE_TEXT,
  kWelcomeText = IDC_WELCOME_TEXT,
  kStatusLine = IDC_STATUS,
  kHandCursor = IDR_HAND_CURSOR,
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
  // Presses `button` of `box` and waits until the box is gone.
  bool answer_box(const probe::Window& box, int button);
  // Waits until the frame's thread has handled every message posted to it
  // before this call (its posted messages are handled in order).
  bool flush_posted();
  // Waits until `done` says yes; false and `failure` set at the time-out.
  bool wait_for(const std::function<bool()>& done, const std::string& what,
                unsigned timeout_ms = kWizardWaitMs);
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
