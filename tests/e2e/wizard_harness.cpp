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
  probe::Window current;
  bool ended = false;
  probe::poll_until(
      [&] {
        current = page();
        if (current && current.control(page_marker(page_number))) return true;
        current = probe::Window();
        ended = !process.running();
        return ended;
      },
      kWizardWaitMs);
  if (!current) {
    failure = ended ? "the wizard ended before page " + std::to_string(page_number)
                    : "page " + std::to_string(page_number) + " not shown within " +
                          std::to_string(kWizardWaitMs) + " ms";
    return current;
  }
  // The page exists before show_page has filled it: a message sent to the
  // frame is answered only once its thread is back in its message loop.
  if (!frame.send(WM_NULL, 0, 0)) {
    failure = "the frame does not answer";
    return probe::Window();
  }
  return current;
}

bool Wizard::read_box(const std::string& caption, probe::Window* box,
                      probe::MessageBoxInfo* info) {
  *box = process.wait_window({caption, probe::kDialogClass, true}, kWizardWaitMs, &failure);
  return *box && probe::read_message_box(*box, kWizardWaitMs, info, &failure);
}

bool Wizard::answer_box(const probe::Window& box, int button) {
  return probe::answer_box(box, button, kWizardWaitMs, &failure);
}

bool Wizard::flush_posted() {
  // The Back button's pressed look, posted, read back once handled, then
  // taken off again: it sends the frame nothing.
  const probe::Window back = frame.control(kBack);
  if (!back.post(BM_SETSTATE, TRUE, 0)) {
    failure = "cannot post to the frame";
    return false;
  }
  const bool handled = wait_for(
      [&] {
        DWORD_PTR state = 0;
        return back.send(BM_GETSTATE, 0, 0, &state) && (state & BST_PUSHED) != 0;
      },
      "the frame handling what was posted to it");
  back.send(BM_SETSTATE, FALSE, 0);
  return handled;
}

bool Wizard::wait_for(const std::function<bool()>& done, const std::string& what,
                      unsigned timeout_ms) {
  if (probe::poll_until(done, timeout_ms)) return true;
  failure = what + ": not within " + std::to_string(timeout_ms) + " ms";
  return false;
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
