// Canaries of the test bed: the probe against probe_target.exe under Wine's
// null graphics driver. They catch a harness or prefix gone wrong, not a fault
// of the stub; their suites are named Canary*.
#include <gtest/gtest.h>

#include <cstdio>

#include "probe.h"
#include "probe_target.h"

namespace {

constexpr unsigned kTimeoutMs = 10000;

std::string target_path() { return probe::exe_dir() + "probe_target.exe"; }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Class, ID and text of every child, for failure messages.
std::string describe_children(const probe::Window& w) {
  std::string out;
  for (const probe::Window& c : w.children()) {
    char id[16];
    snprintf(id, sizeof id, "%#x", static_cast<unsigned>(c.id()));
    out += "  " + c.class_name() + " id " + id + " \"" + c.text() + "\"\n";
  }
  return out;
}

struct MessageBoxCase {
  const char* name;
  const char* icon_arg;
  const char* buttons_arg;
  const char* caption;
  const char* text;
  const char* text2;  // second line, or nullptr
  probe::IconStyle icon;
  int press;
  unsigned long exit_code;
};

const MessageBoxCase kMessageBoxCases[] = {
    {"ErrorOk", "error", "ok", "Vandrel 错误", "无法打开文件：安装包已损坏", nullptr,
     probe::IconStyle::error, probe::kOk, IDOK},
    {"WarningYesNoAnsweredNo", "warning", "yesno", "警告", "目标文件夹不存在，是否创建？",
     nullptr, probe::IconStyle::warning, probe::kNo, IDNO},
    {"QuestionYesNoAnsweredYes", "question", "yesno", "确认", "要覆盖现有的文件吗？",
     nullptr, probe::IconStyle::question, probe::kYes, IDYES},
    {"InformationTwoLines", "information", "ok", "安装完成",
     "所有文件已解压到：", "C:\\示例\\程序", probe::IconStyle::information,
     probe::kOk, IDOK},
    {"NoIconOkCancelAnsweredCancel", "none", "okcancel", "Vandrel", "继续安装？", nullptr,
     probe::IconStyle::none, probe::kCancel, IDCANCEL},
};

class CanaryMessageBoxTest : public ::testing::TestWithParam<MessageBoxCase> {};

TEST_P(CanaryMessageBoxTest, ReadsCaptionTextAndIconAndEndsWithPressedButton) {
  const MessageBoxCase& c = GetParam();
  std::string args = std::string("msgbox ") + c.icon_arg + " " + c.buttons_arg + " " +
                     quoted(c.caption) + " " + quoted(c.text);
  if (c.text2) args += " " + quoted(c.text2);
  probe::ProbeProcess process;
  std::string error;
  ASSERT_TRUE(process.start(target_path(), args, "", &error)) << error;

  probe::Window box = process.wait_window({c.caption, probe::kDialogClass, true},
                                          kTimeoutMs, &error);
  ASSERT_TRUE(box) << error;
  probe::MessageBoxInfo info;
  ASSERT_TRUE(probe::read_message_box(box, kTimeoutMs, &info, &error))
      << error << "\n" << describe_children(box);
  EXPECT_EQ(info.caption, c.caption);
  std::string expected_text = c.text;
  if (c.text2) expected_text += std::string("\n") + c.text2;
  EXPECT_EQ(info.text, expected_text);
  EXPECT_EQ(info.icon, c.icon) << probe::icon_style_name(info.icon);

  ASSERT_TRUE(box.click(c.press)) << describe_children(box);
  probe::ExitResult end = process.wait_exit(kTimeoutMs);
  ASSERT_TRUE(end.ended) << end.failure;
  EXPECT_EQ(end.code, c.exit_code);
}

INSTANTIATE_TEST_SUITE_P(Probe, CanaryMessageBoxTest, ::testing::ValuesIn(kMessageBoxCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Starts the dialog mode and waits for its window.
class CanaryDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(process_.start(target_path(), "dialog", "", &error)) << error;
    dialog_ = process_.wait_window({kTargetDialogCaption, probe::kDialogClass, true},
                                   kTimeoutMs, &error);
    ASSERT_TRUE(dialog_) << error;
  }

  probe::ProbeProcess process_;
  probe::Window dialog_;
};

TEST_F(CanaryDialogTest, ReadsControlTextsAndStates) {
  struct ControlCase {
    int id;
    const char* text;
    bool visible;
    bool enabled;
  };
  const ControlCase cases[] = {
      {kTargetPageText, kTargetPageTextValue, true, true},
      {kTargetEdit, kTargetEditValue, true, true},
      {kTargetStatus, kTargetStatusValue, true, true},
      {kTargetHidden, kTargetHiddenValue, false, true},
      {kTargetBack, kTargetBackValue, true, false},
      {kTargetNext, kTargetNextValue, true, true},
      {kTargetCancel, kTargetCancelValue, true, true},
  };
  EXPECT_EQ(dialog_.text(), kTargetDialogCaption);
  EXPECT_EQ(dialog_.class_name(), probe::kDialogClass);
  const RECT frame = dialog_.screen_rect();
  for (const ControlCase& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(dialog_.control_text(c.id), c.text);
    EXPECT_EQ(dialog_.control_visible(c.id), c.visible);
    EXPECT_EQ(dialog_.control_enabled(c.id), c.enabled);
    const RECT r = dialog_.control_rect(c.id);
    EXPECT_GT(r.right, r.left);
    EXPECT_GT(r.bottom, r.top);
    EXPECT_TRUE(r.left >= frame.left && r.right <= frame.right && r.top >= frame.top &&
                r.bottom <= frame.bottom);
  }
  // Laid out top to bottom as the template says; buttons left to right.
  EXPECT_LT(dialog_.control_rect(kTargetPageText).bottom,
            dialog_.control_rect(kTargetProgress).top);
  EXPECT_LT(dialog_.control_rect(kTargetBack).right,
            dialog_.control_rect(kTargetNext).left);
  EXPECT_FALSE(dialog_.control(4242));
  EXPECT_EQ(dialog_.control_text(4242), "");
}

TEST_F(CanaryDialogTest, ReadsProgressRangeAndPosition) {
  probe::Progress p;
  ASSERT_TRUE(dialog_.progress(kTargetProgress, &p)) << describe_children(dialog_);
  EXPECT_EQ(p.low, kTargetProgressLow);
  EXPECT_EQ(p.high, kTargetProgressHigh);
  EXPECT_EQ(p.pos, kTargetProgressPos);
  // A static control is no progress bar.
  EXPECT_FALSE(dialog_.progress(kTargetStatus, &p));
}

struct PressCase {
  const char* name;
  bool by_command;
  int id;
};

const PressCase kPressCases[] = {
    {"ClickNext", false, kTargetNext},
    {"ClickCancel", false, kTargetCancel},
    {"CommandNext", true, kTargetNext},
    // A command reaches the dialog even for a disabled button.
    {"CommandDisabledBack", true, kTargetBack},
};

class CanaryDialogPressTest : public CanaryDialogTest,
                        public ::testing::WithParamInterface<PressCase> {};

TEST_P(CanaryDialogPressTest, PressedButtonEndsDialogWithItsId) {
  const PressCase& c = GetParam();
  ASSERT_TRUE(c.by_command ? dialog_.command(c.id) : dialog_.click(c.id));
  probe::ExitResult end = process_.wait_exit(kTimeoutMs);
  ASSERT_TRUE(end.ended) << end.failure;
  EXPECT_EQ(end.code, static_cast<unsigned long>(c.id));
}

INSTANTIATE_TEST_SUITE_P(Probe, CanaryDialogPressTest, ::testing::ValuesIn(kPressCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanaryDialogTest, ClickRefusesDisabledAndHiddenControls) {
  EXPECT_FALSE(dialog_.click(kTargetBack));
  EXPECT_FALSE(dialog_.click(kTargetHidden));
  EXPECT_FALSE(dialog_.click(4242));
  ASSERT_TRUE(dialog_.click(kTargetCancel));
  probe::ExitResult end = process_.wait_exit(kTimeoutMs);
  ASSERT_TRUE(end.ended) << end.failure;
  EXPECT_EQ(end.code, static_cast<unsigned long>(kTargetCancel));
}

TEST_F(CanaryDialogTest, DialogIsNoMessageBox) {
  probe::MessageBoxInfo info;
  std::string error;
  EXPECT_FALSE(probe::read_message_box(dialog_, kTimeoutMs, &info, &error));
  EXPECT_NE(error.find("0xFFFF"), std::string::npos) << error;
}

TEST(CanaryMessageBoxIconTest, MissingHookDllIsReported) {
  probe::ProbeProcess process;
  std::string error;
  ASSERT_TRUE(process.start(target_path(), "msgbox error ok \"x\" \"y\"", "", &error))
      << error;
  probe::Window box = process.wait_window({"x", probe::kDialogClass, true}, kTimeoutMs,
                                          &error);
  ASSERT_TRUE(box) << error;
  probe::set_hook_dll_path(probe::exe_dir() + "no_such_hook.dll");
  EXPECT_EQ(probe::message_box_icon(box, kTimeoutMs, &error), probe::IconStyle::other);
  probe::set_hook_dll_path("");
  EXPECT_NE(error.find("LoadLibrary"), std::string::npos) << error;
  error.clear();
  EXPECT_EQ(probe::message_box_icon(box, kTimeoutMs, &error), probe::IconStyle::error)
      << error;
}

TEST(CanaryProbeProcessTest, HangingProgramIsKilledAtTimeOut) {
  probe::ProbeProcess process;
  std::string error;
  ASSERT_TRUE(process.start(target_path(), "hang", "", &error)) << error;
  const DWORD start = GetTickCount();
  probe::ExitResult end = process.wait_exit(2000);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_FALSE(end.ended);
  EXPECT_TRUE(end.killed);
  EXPECT_NE(end.failure.find("2000 ms"), std::string::npos) << end.failure;
  EXPECT_GE(elapsed, 1900u);
  EXPECT_LT(elapsed, 8000u);
  EXPECT_FALSE(process.running());
  EXPECT_EQ(WaitForSingleObject(process.handle(), 0), WAIT_OBJECT_0);
}

TEST(CanaryProbeProcessTest, WaitingForWindowOfHangingProgramTimesOut) {
  probe::ProbeProcess process;
  std::string error;
  ASSERT_TRUE(process.start(target_path(), "hang", "", &error)) << error;
  probe::Window w = process.wait_window({"", probe::kDialogClass, true}, 500, &error);
  EXPECT_FALSE(w);
  EXPECT_NE(error.find("within 500 ms"), std::string::npos) << error;
  EXPECT_TRUE(process.running());
}

TEST(CanaryProbeProcessTest, WaitingForWindowReportsProgramThatEnded) {
  probe::ProbeProcess process;
  std::string error;
  ASSERT_TRUE(process.start(target_path(), "silent", "", &error)) << error;
  probe::Window w = process.wait_window({"", "", false}, kTimeoutMs, &error);
  EXPECT_FALSE(w);
  EXPECT_NE(error.find("ended (exit code 3)"), std::string::npos) << error;
}

TEST(CanaryProbeProcessTest, StartInMissingDirectoryFails) {
  probe::ProbeProcess process;
  std::string error;
  EXPECT_FALSE(process.start(target_path(), "silent", "C:\\no\\such\\dir", &error));
  EXPECT_NE(error.find("CreateProcess"), std::string::npos) << error;
  EXPECT_FALSE(process.running());
}

TEST(CanaryProbeProcessTest, StartsInGivenWorkingDirectory) {
  // The target exits with 0 when its current directory is the one named.
  struct Case {
    const char* dir;
    const char* expected;
    unsigned long code;
  };
  const Case cases[] = {
      {"C:\\windows", "C:\\windows", 0},
      {"C:\\windows\\system32", "C:\\windows\\system32", 0},
      {"C:\\windows\\system32", "C:\\windows", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    probe::ProbeProcess process;
    std::string error;
    ASSERT_TRUE(process.start(target_path(), std::string("cwd ") + quoted(c.expected),
                              c.dir, &error))
        << error;
    probe::ExitResult end = process.wait_exit(kTimeoutMs);
    ASSERT_TRUE(end.ended) << end.failure;
    EXPECT_EQ(end.code, c.code);
  }
}

struct CollectCase {
  const char* name;
  const char* mode;
  const char* caption;  // the one window expected, or nullptr for none
  unsigned long exit_code;
};

const CollectCase kCollectCases[] = {
    {"SilentShowsNoWindow", "silent", nullptr, kTargetSilentExit},
    {"FlashIsSeen", "flash", kTargetFlashCaption, 0},
};

class CanaryCollectTest : public ::testing::TestWithParam<CollectCase> {};

TEST_P(CanaryCollectTest, RecordsVisibleWindowsUntilExit) {
  const CollectCase& c = GetParam();
  probe::ProbeProcess process;
  std::string error;
  ASSERT_TRUE(process.start(target_path(), c.mode, "", &error)) << error;
  std::vector<probe::SeenWindow> seen;
  probe::ExitResult end = process.wait_exit_collecting(kTimeoutMs, &seen);
  ASSERT_TRUE(end.ended) << end.failure;
  EXPECT_EQ(end.code, c.exit_code);
  std::vector<std::string> visible;
  for (const probe::SeenWindow& w : seen) {
    if (w.visible) visible.push_back(w.caption);
  }
  if (c.caption) {
    EXPECT_EQ(visible, std::vector<std::string>{c.caption});
  } else {
    EXPECT_TRUE(visible.empty()) << visible.size() << " windows, first \"" << visible[0]
                                 << "\"";
  }
}

INSTANTIATE_TEST_SUITE_P(Probe, CanaryCollectTest, ::testing::ValuesIn(kCollectCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
