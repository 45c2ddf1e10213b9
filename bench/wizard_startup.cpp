// Times a wizard start-up under Wine from inside Wine: from CreateProcess to
// the welcome page in place, against CreateProcess to the end of a
// do-nothing program with the same imports. Runs alternate, so that a change
// in the machine's load hits both alike; prints the medians in ms.
// Usage: wizard_startup SFX EMPTY_PROGRAM RUNS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "probe.h"
#include "timing.h"

namespace {

// Start to the welcome page's title control in a shown frame; -1 on failure.
double wizard_ms(const std::string& sfx) {
  probe::ProbeProcess process;
  std::string failure;
  const double start = now_ms();
  if (!process.start(sfx, "", "", &failure)) return -1;
  for (;;) {
    for (const probe::Window& frame : process.windows({"", probe::kDialogClass, true})) {
      for (const probe::Window& page : frame.children()) {
        if (page.visible() && page.control(1009)) {
          const double elapsed = now_ms() - start;
          process.kill();
          return elapsed;
        }
      }
    }
    if (!process.running() || now_ms() - start > 30000) return -1;
    Sleep(1);
  }
}

double empty_ms(const std::string& program) {
  probe::ProbeProcess process;
  std::string failure;
  const double start = now_ms();
  if (!process.start(program, "", "", &failure)) return -1;
  if (!process.wait_exit(30000).ended) return -1;
  return now_ms() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: wizard_startup SFX EMPTY_PROGRAM RUNS\n");
    return 2;
  }
  const int runs = atoi(argv[3]);
  std::vector<double> wizard, empty;
  for (int i = 0; i < runs; ++i) {
    double w = wizard_ms(argv[1]);
    double e = empty_ms(argv[2]);
    if (w < 0 || e < 0) {
      fprintf(stderr, "run %d failed\n", i);
      return 1;
    }
    wizard.push_back(w);
    empty.push_back(e);
  }
  printf("wizard to the first page shown %9.1f ms\n", median(wizard));
  printf("empty program, same imports    %9.1f ms\n", median(empty));
  printf("ratio                          %9.3f\n", median(wizard) / median(empty));
  return 0;
}
