// Times an extraction in wizard mode under Wine from inside Wine: from the
// Next of the destination page to the end of the process, status line and
// progress bar updated for every entry, the 300 ms pause counted. The same
// archive extracted silently, from its start to its end, is timed in turn,
// so that a change in the machine's load hits both alike. Both files name a
// relative destination; each run extracts below a folder of its own in
// WORK_DIR, which must be new: nothing is deleted while runs are timed.
// Usage: wizard_extract WIZARD_SFX SILENT_SFX WORK_DIR RUNS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "probe.h"
#include "timing.h"

namespace {

const unsigned kRunLimitMs = 600000;

// The frame's page that has control `id`, once shown; empty at the time-out.
probe::Window wait_page(const probe::ProbeProcess& process, int id) {
  const double start = now_ms();
  while (process.running() && now_ms() - start < 30000) {
    for (const probe::Window& frame : process.windows({"", probe::kDialogClass, true})) {
      for (const probe::Window& page : frame.children()) {
        if (page.visible() && page.control(id)) return frame;
      }
    }
    Sleep(1);
  }
  return probe::Window();
}

// Next on the welcome page, then Next on the destination page, timed from
// there to the process's end; -1 on failure.
double wizard_ms(const std::string& sfx, const std::string& dir) {
  probe::ProbeProcess process;
  std::string failure;
  if (!process.start(sfx, "", dir, &failure)) return -1;
  probe::Window frame = wait_page(process, 1009);
  if (!frame || !frame.click(1003)) return -1;
  frame = wait_page(process, 1002);
  if (!frame) return -1;
  // The button is enabled once the page is in place.
  const double start = now_ms();
  while (!frame.click(1003)) {
    if (now_ms() - start > 30000) return -1;
    Sleep(1);
  }
  const double clicked = now_ms();
  probe::ExitResult exit = process.wait_exit(kRunLimitMs);
  return exit.ended ? now_ms() - clicked : -1;
}

double silent_ms(const std::string& sfx, const std::string& dir) {
  probe::ProbeProcess process;
  std::string failure;
  const double start = now_ms();
  if (!process.start(sfx, "", dir, &failure)) return -1;
  if (!process.wait_exit(kRunLimitMs).ended) return -1;
  return now_ms() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: wizard_extract WIZARD_SFX SILENT_SFX WORK_DIR RUNS\n");
    return 2;
  }
  const std::string work = argv[3];
  const int runs = atoi(argv[4]);
  std::vector<double> wizard, silent;
  for (int i = 1; i <= runs; ++i) {
    std::string wizard_dir = work + "\\wizard-" + std::to_string(i);
    std::string silent_dir = work + "\\silent-" + std::to_string(i);
    if (!CreateDirectoryA(wizard_dir.c_str(), nullptr) ||
        !CreateDirectoryA(silent_dir.c_str(), nullptr)) {
      fprintf(stderr, "cannot make the folders of run %d\n", i);
      return 1;
    }
    double w = wizard_ms(argv[1], wizard_dir);
    double s = silent_ms(argv[2], silent_dir);
    if (w < 0 || s < 0) {
      fprintf(stderr, "run %d failed\n", i);
      return 1;
    }
    printf("run %d: wizard from Next to the end %.2f s, silent from start to end %.2f s\n", i,
           w / 1000, s / 1000);
    wizard.push_back(w);
    silent.push_back(s);
  }
  printf("wizard from Next to the end: median of %d %.2f s (%.2f-%.2f)\n", runs,
         median(wizard) / 1000, *std::min_element(wizard.begin(), wizard.end()) / 1000,
         *std::max_element(wizard.begin(), wizard.end()) / 1000);
  printf("silent from start to end:    median of %d %.2f s (%.2f-%.2f)\n", runs,
         median(silent) / 1000, *std::min_element(silent.begin(), silent.end()) / 1000,
         *std::max_element(silent.begin(), silent.end()) / 1000);
  printf("wizard / silent %.2f\n", median(wizard) / median(silent));
  return 0;
}
