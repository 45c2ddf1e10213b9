// The progress page's bar as the extraction sets it: a real bar reads back
// the whole number of steps, also above the 16-bit range's 65,535.
#include <gtest/gtest.h>
#include <commctrl.h>

#include "core/progress_report.h"
#include "core/state.h"
#include "wizard/frame.h"
#include "wizard/resource_ids.h"

namespace {

TEST(ProgressBar, ReadsBackEveryStepCount) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&controls));
  HWND frame = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(nullptr, frame);
  HWND page = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 400, 200, frame, nullptr, nullptr,
                              nullptr);
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 300, 20, page,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)),
                             nullptr, nullptr);
  ASSERT_NE(nullptr, bar);
  g_state.frame_window = frame;
  g_state.page_window = page;
  report_on_progress_page();
  for (DWORD steps : {1u, 2u, 65535u, 65536u, 200000u}) {
    report_range(steps);
    PBRANGE range = {-1, -1};
    SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow) << steps;
    EXPECT_EQ(static_cast<int>(steps), range.iHigh) << steps;
  }
  set_progress_report(ProgressReport());
  DestroyWindow(frame);
  g_state.frame_window = nullptr;
  g_state.page_window = nullptr;
}

}  // namespace
