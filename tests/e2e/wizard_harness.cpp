#include "wizard_harness.h"

namespace e2e {

namespace {

// The control that tells each page apart.
int page_marker(int page) {
  switch (page) {
    case 1: return kWelcomeTitle;
    case 2: return kPathEdit;
    default: return kProgressBar;
  }
}

}  // namespace

bool Wizard::start(const std::string& dir, const Fixture& fixture, const std::string& caption) {
  return start_bytes(dir, sfx_bytes(fixture), caption);
}

bool Wizard::start_bytes(const std::string& dir, const std::string& bytes,
                         const std::string& caption) {
  exe = dir + "setup.exe";
  if (!write_file(exe, bytes)) {
    failure = "cannot write " + exe;
    return false;
  }
  if (write_fault.empty() ? !process.start(exe, "", dir, &failure)
                          : !process.start_hooked(exe, "", dir, write_fault, &failure)) {
    return false;
  }
  frame = process.wait_window({caption, probe::kDialogClass, true}, kWizardWaitMs, &failure);
  return static_cast<bool>(frame);
}

probe::Window Wizard::page() const {
  for (const probe::Window& child : frame.children()) {
    if (child.class_name() == probe::kDialogClass) return child;
  }
  return probe::Window();
}

probe::Window Wizard::wait_page(int page_number) {
  const DWORD start = GetTickCount();
  for (;;) {
    probe::Window current = page();
    if (current && current.control(page_marker(page_number))) {
      // The page exists before show_page has filled it: give the frame's
      // thread time to finish, then wait until it answers again.
      Sleep(50);
      if (!frame.send(WM_NULL, 0, 0)) {
        failure = "the frame does not answer";
        return probe::Window();
      }
      return current;
    }
    if (!process.running()) {
      failure = "the wizard ended before page " + std::to_string(page_number);
      return probe::Window();
    }
    if (GetTickCount() - start >= kWizardWaitMs) {
      failure = "page " + std::to_string(page_number) + " not shown within " +
                std::to_string(kWizardWaitMs) + " ms";
      return probe::Window();
    }
    Sleep(10);
  }
}

bool Wizard::read_box(const std::string& caption, probe::Window* box,
                      probe::MessageBoxInfo* info) {
  *box = process.wait_window({caption, probe::kDialogClass, true}, kWizardWaitMs, &failure);
  return *box && probe::read_message_box(*box, kWizardWaitMs, info, &failure);
}

bool Wizard::ended_with_1(unsigned timeout_ms) {
  exit = process.wait_exit(timeout_ms);
  if (!exit.ended) {
    failure = exit.failure;
    return false;
  }
  if (exit.code != 1) failure = "exit code " + std::to_string(exit.code);
  return exit.code == 1;
}

std::string boxes_until_exit(Wizard* wizard, unsigned timeout_ms) {
  std::vector<probe::SeenWindow> seen;
  wizard->exit = wizard->process.wait_exit_collecting(timeout_ms, &seen);
  std::string lines;
  for (const probe::SeenWindow& w : seen) {
    if (w.visible && w.hwnd != wizard->frame.handle()) lines += w.caption + "\n";
  }
  return lines;
}

}  // namespace e2e
