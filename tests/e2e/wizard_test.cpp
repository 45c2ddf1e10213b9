// The wizard end to end: its dialogs as created, the page sequence, every
// way out of it, and what it leaves on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "harness.h"
#include "shell_env.h"
#include "wizard_harness.h"

namespace {

using e2e::Fixture;
using e2e::Wizard;

const char kDefaultName[] = "Unnamed Archive";
const char kCannotExtract[] = "不能解压缩当前文件。";

Fixture wizard_fixture(const std::string& destination, const char* name = "测试程序") {
  Fixture fixture;
  if (name) fixture.keys.push_back({"Name", name});
  fixture.keys.push_back({"DefaultPath", destination});
  fixture.entries = {e2e::dir_entry("docs/"), e2e::file_entry("docs/a.txt", "alpha"),
                     e2e::file_entry("b.txt", "beta")};
  return fixture;
}

// A fixture whose extraction stops on page 3 with the fatal box open, so that
// the page can be read at leisure: "blocked" is a file in the destination,
// so the second entry cannot be created.
Fixture held_on_page_3(const std::string& destination) {
  Fixture fixture = wizard_fixture(destination);
  fixture.entries = {e2e::file_entry("a.txt", "alpha"), e2e::file_entry("blocked/x.txt", "x")};
  EXPECT_TRUE(e2e::write_file(destination + "\\blocked", "a file, not a directory"));
  return fixture;
}

std::string describe(const RECT& r) {
  char text[64];
  snprintf(text, sizeof text, "(%ld, %ld) %ld x %ld", r.left, r.top, r.right - r.left,
           r.bottom - r.top);
  return text;
}

// What the platform adds to every dialog and control it makes from a
// template: the 3D look, clipped siblings for the top-level frame, no parent
// notification for controls, and a static edge (one pixel wider on each
// side) around etched lines.
const DWORD kDialogStyleAdded = DS_3DLOOK | WS_CLIPSIBLINGS;
const DWORD kControlExStyleAdded = WS_EX_NOPARENTNOTIFY | WS_EX_STATICEDGE;
const int kEtchedEdgeWidth = 2;

bool is_etched_line(DWORD style) { return (style & SS_TYPEMASK) == SS_ETCHEDHORZ; }

// Template values: rectangles in dialog units (x, y, width, height).
struct ControlValues {
  int id;
  const char* class_name;
  DWORD style;
  DWORD ex_style;
  const char* text;
  RECT units;
  bool placed_by_template;  // false: show_page moves it
};

struct TemplateValues {
  const char* name;
  int page;      // the page on which it is read
  bool frame;    // the frame itself, else the page dialog
  DWORD style;   // of the dialog
  std::vector<ControlValues> controls;
};

const TemplateValues kTemplates[] = {
    {"Frame102", 2, true, 0x80C80840,
     {{1013, "Static", 0x50000010, 0, "", {0, 192, 335, 1}, true},
      {1022, "Static", 0x50000010, 0x10, "", {0, 37, 335, 1}, false},
      {1000, "Button", 0x50010000, 0x10, "< 上一步", {166, 201, 50, 14}, true},
      {1003, "Button", 0x50010000, 0x10, "下一步 >", {216, 201, 50, 14}, true},
      {1005, "Button", 0x50010000, 0x10, "取消", {274, 201, 50, 14}, true},
      {1015, "Static", 0x5000000B, 0x30, "解压缩路径", {13, 7, 258, 8}, false},
      {1017, "Static", 0x5000000B, 0x30, "选择解压缩的目的目录。", {29, 17, 242, 10}, false},
      {1019, "Static", 0x58000201, 0x20, " Vandrel ", {3, 188, 61, 8}, true}}},
    {"Welcome104", 1, false, 0x50000040,
     {{1009, "Static", 0x5002008B, 0x20, "测试程序", {117, 7, 213, 16}, true},
      {1017, "Static", 0x50020080, 0x20, "", {118, 30, 208, 141}, true},
      {1010, "Static", 0x50020000, 0x20, "", {118, 176, 207, 10}, true}}},
    {"Destination105", 2, false, 0x50000440,
     {{1016, "Static", 0x50020040, 0,
       "请选择你想要解压缩的目的文件夹。如果该文件夹不存在的话，程序还可为你创建。",
       {0, 0, 275, 22}, true},
      {1002, "Edit", 0x50810080, 0, nullptr, {0, 41, 275, 14}, true},
      {1004, "Button", 0x50010000, 0, "浏览(&B)", {225, 59, 50, 14}, true},
      {1014, "Button", 0x50010003, 0, "如果此目录不存在则创建(&C)", {0, 126, 116, 10}, true}}},
    {"Progress106", 3, false, 0x50000440,
     {{1016, "Static", 0x50020000, 0, "请稍候，本程序正在解压缩此压缩包内的文件。",
       {0, 0, 275, 21}, true},
      {1007, "msctls_progress32", 0x50000001, 0, "Progress1", {0, 45, 275, 12}, true},
      {1018, "Static", 0x50020000, 0, nullptr, {0, 36, 275, 8}, true}}},
};

class TemplateTest : public ::testing::TestWithParam<TemplateValues> {};

TEST_P(TemplateTest, ControlsAreCreatedAsTheTemplateSays) {
  const TemplateValues& values = GetParam();
  const std::string dir = e2e::fresh_dir(std::string("wizard-template-") + values.name);
  const std::string out = dir + "out";
  ASSERT_TRUE(e2e::make_dir(out));
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, held_on_page_3(out), "测试程序")) << wizard.failure;
  if (values.page >= 2) {
    ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
    ASSERT_TRUE(wizard.next());
  }
  probe::Window page = wizard.wait_page(values.page == 3 ? 2 : values.page);
  ASSERT_TRUE(page) << wizard.failure;
  if (values.page == 3) {
    ASSERT_TRUE(wizard.next());
    ASSERT_TRUE(wizard.wait_page(3)) << wizard.failure;
    probe::Window box;
    probe::MessageBoxInfo info;
    ASSERT_TRUE(wizard.read_box("Vandrel 错误", &box, &info)) << wizard.failure;
    page = wizard.page();
  }
  const probe::Window dialog = values.frame ? wizard.frame : page;
  POINT units;
  std::string failure;
  ASSERT_TRUE(probe::dialog_base_units(dialog, &units, &failure)) << failure;
  // Shown since, whether or not the template makes it visible.
  EXPECT_EQ(values.style | WS_VISIBLE,
            static_cast<DWORD>(GetWindowLongA(dialog.handle(), GWL_STYLE)) & ~kDialogStyleAdded);

  // Nothing more than the template's controls (z-order changes with moves).
  std::set<int> ids;
  for (const probe::Window& child : dialog.children()) {
    if (child.class_name() != probe::kDialogClass) ids.insert(child.id());
  }
  std::set<int> expected_ids;
  for (const ControlValues& c : values.controls) expected_ids.insert(c.id);
  EXPECT_EQ(expected_ids, ids);

  for (const ControlValues& c : values.controls) {
    SCOPED_TRACE(c.id);
    probe::Window control = dialog.control(c.id);
    ASSERT_TRUE(control);
    EXPECT_EQ(0, _stricmp(c.class_name, control.class_name().c_str())) << control.class_name();
    DWORD style = c.style;
    DWORD ex_style = c.ex_style;
    if (control.class_name() == "Edit" && (style & WS_BORDER)) {
      // The 3D look turns an edit's border into a client edge.
      style &= ~WS_BORDER;
      ex_style |= WS_EX_CLIENTEDGE;
    }
    EXPECT_EQ(style, static_cast<DWORD>(GetWindowLongA(control.handle(), GWL_STYLE)));
    EXPECT_EQ(ex_style, static_cast<DWORD>(GetWindowLongA(control.handle(), GWL_EXSTYLE)) &
                            ~kControlExStyleAdded);
    if (c.text) {
      EXPECT_EQ(c.text, control.text());
    }
    const RECT expected = probe::map_dialog_rect(units, c.units);
    const RECT actual = control.rect_in(dialog);
    const int edge = is_etched_line(c.style) ? kEtchedEdgeWidth : 0;
    EXPECT_EQ(expected.right + edge, actual.right - actual.left) << describe(actual);
    EXPECT_EQ(expected.bottom, actual.bottom - actual.top) << describe(actual);
    if (c.placed_by_template) {
      EXPECT_EQ(expected.left, actual.left) << describe(actual);
      EXPECT_EQ(expected.top, actual.top) << describe(actual);
    }
  }
  wizard.process.kill();
}

INSTANTIATE_TEST_SUITE_P(Wizard, TemplateTest, ::testing::ValuesIn(kTemplates),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

POINT client_position(const probe::Window& control, const probe::Window& parent) {
  RECT r = control.rect_in(parent);
  return POINT{r.left, r.top};
}

bool at(const probe::Window& control, const probe::Window& parent, int x, int y) {
  POINT p = client_position(control, parent);
  return p.x == x && p.y == y;
}

// What the frame shows on each page, as show_page leaves it.
struct PageState {
  int page;
  bool header_visible;  // 1015, 1017 and 1022 in place, 1019 shown
  const char* title;
  const char* subtitle;
  bool back_enabled;
  bool next_enabled;
  POINT page_at;
};

void expect_page_state(const Wizard& wizard, const probe::Window& page, const PageState& s) {
  SCOPED_TRACE(s.page);
  const probe::Window& frame = wizard.frame;
  EXPECT_EQ(s.title, frame.control_text(e2e::kTitle));
  EXPECT_EQ(s.subtitle, frame.control_text(e2e::kSubtitle));
  if (s.header_visible) {
    EXPECT_TRUE(at(frame.control(e2e::kTitle), frame, 22, 12));
    EXPECT_TRUE(at(frame.control(e2e::kSubtitle), frame, 44, 27));
    EXPECT_TRUE(at(frame.control(e2e::kHeaderLine), frame, 0, 59));
  } else {
    for (int id : {e2e::kTitle, e2e::kSubtitle, e2e::kHeaderLine}) {
      EXPECT_TRUE(at(frame.control(id), frame, 1000, 1000)) << id;
    }
  }
  EXPECT_EQ(s.header_visible, frame.control_visible(e2e::kProductLabel));
  EXPECT_EQ(s.back_enabled, frame.control_enabled(e2e::kBack));
  EXPECT_EQ(s.next_enabled, frame.control_enabled(e2e::kNext));
  EXPECT_TRUE(frame.control_enabled(e2e::kCancel));
  EXPECT_TRUE(at(page, frame, s.page_at.x, s.page_at.y));
}

TEST(WizardSequence, PagesOneTwoThreeShowTheirControls) {
  const std::string dir = e2e::fresh_dir("wizard-sequence");
  const std::string out = dir + "out";
  ASSERT_TRUE(e2e::make_dir(out));
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, held_on_page_3(out), "测试程序")) << wizard.failure;

  probe::Window page = wizard.wait_page(1);
  ASSERT_TRUE(page) << wizard.failure;
  expect_page_state(wizard, page, {1, false, "", "", false, true, {0, 0}});
  EXPECT_EQ("下一步 >", wizard.frame.control_text(e2e::kNext));
  EXPECT_EQ("测试程序", page.control_text(e2e::kWelcomeTitle));
  // The payload's text as the system holds it, whatever the ANSI code page.
  wchar_t title[32] = L"";
  GetWindowTextW(page.control(e2e::kWelcomeTitle).handle(), title, 32);
  EXPECT_STREQ(L"测试程序", title);

  ASSERT_TRUE(wizard.next());
  page = wizard.wait_page(2);
  ASSERT_TRUE(page) << wizard.failure;
  expect_page_state(wizard, page,
                    {2, true, "解压缩路径", "选择解压缩的目的目录。", true, true, {44, 70}});
  EXPECT_EQ(out, page.control_text(e2e::kPathEdit));

  ASSERT_TRUE(wizard.next());
  page = wizard.wait_page(3);
  ASSERT_TRUE(page) << wizard.failure;
  // The second entry cannot be written: the fatal box holds page 3 still.
  probe::Window box;
  probe::MessageBoxInfo info;
  ASSERT_TRUE(wizard.read_box("Vandrel 错误", &box, &info)) << wizard.failure;
  EXPECT_EQ(e2e::fatal_text_prefix(kCannotExtract), info.text.substr(0, e2e::fatal_text_prefix(kCannotExtract).size()));
  expect_page_state(wizard, page,
                    {3, true, "正在解压缩文件", "本程序正在解压缩此压缩档内的文件。", false, false,
                     {44, 70}});
  probe::Progress progress;
  ASSERT_TRUE(page.progress(e2e::kProgressBar, &progress));
  EXPECT_EQ(0, progress.low);
  EXPECT_EQ(2, progress.high);
  EXPECT_EQ(1, progress.pos);
  EXPECT_EQ("正在解压缩 blocked/x.txt ...", page.control_text(e2e::kStatusLine));
  ASSERT_TRUE(box.click(probe::kOk));
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  EXPECT_TRUE(e2e::file_exists(out + "\\a.txt"));
}

TEST(WizardSequence, AutoExtractGoesFromWelcomeToExtractionWithoutQuestion) {
  const std::string dir = e2e::fresh_dir("wizard-auto");
  Fixture fixture = wizard_fixture(dir + "missing\\deeper");
  fixture.keys.push_back({"AutoExtract", "1"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "测试程序")) << wizard.failure;
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  EXPECT_EQ("解压缩(&E)", wizard.frame.control_text(e2e::kNext));
  ASSERT_TRUE(wizard.next());
  EXPECT_EQ("", e2e::boxes_until_exit(&wizard));
  ASSERT_TRUE(wizard.exit.ended) << wizard.exit.failure;
  EXPECT_EQ(1u, wizard.exit.code);
  EXPECT_EQ(std::vector<std::string>({"b.txt", "docs/", "docs/a.txt"}),
            e2e::list_tree(dir + "missing\\deeper"));
}

// A disk that fills up while a file is written: the box, owned by the
// wizard, tells why, and the file cut short goes. A quit asked for while the
// box is shown (a Cancel queued before it, a close request from another
// program) neither freezes the box nor ends the run before it is answered.
TEST(WizardSequence, DiskFullShowsTheReasonAndRemovesTheFileCutShort) {
  enum class Request { none, cancel, close };
  const struct {
    const char* name;
    Request request;
  } cases[] = {{"Plain", Request::none}, {"CancelQueued", Request::cancel},
               {"CloseRequest", Request::close}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = e2e::fresh_dir(std::string("wizard-disk-full-") + c.name);
    Fixture fixture = wizard_fixture(dir + "out");
    fixture.keys.push_back({"AutoExtract", "1"});
    fixture.entries = {e2e::file_entry("first.txt", "complete"),
                       e2e::file_entry("large.bin", std::string(200000, 'x')),
                       e2e::file_entry("last.txt", "never written")};
    Wizard wizard;
    // Writes: the settings' temporary file, first.txt, then large.bin's blocks.
    wizard.write_fault = "4,112,short";
    ASSERT_TRUE(wizard.start(dir, fixture, "测试程序")) << wizard.failure;
    ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
    ASSERT_TRUE(wizard.next());
    probe::Window box;
    probe::MessageBoxInfo info;
    ASSERT_TRUE(wizard.read_box("Vandrel 错误", &box, &info)) << wizard.failure;
    EXPECT_EQ(e2e::fatal_text(kCannotExtract, ERROR_DISK_FULL), info.text);
    EXPECT_EQ(wizard.frame.handle(), GetWindow(box.handle(), GW_OWNER));
    if (c.request == Request::cancel) {
      // Dispatched by the box's own loop before the click below.
      ASSERT_TRUE(wizard.frame.post(WM_COMMAND, e2e::kCancel, 0));
    } else if (c.request == Request::close) {
      ASSERT_TRUE(wizard.frame.post(WM_CLOSE, 0, 0));
      // The box's loop dispatches the request and the Cancel it turns into
      // while it keeps answering.
      for (int i = 0; i < 5; ++i) {
        DWORD_PTR result = 0;
        ASSERT_NE(0, SendMessageTimeoutW(box.handle(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                         &result))
            << "the box stopped answering";
      }
    }
    ASSERT_TRUE(wizard.process.running());
    ASSERT_TRUE(box.click(probe::kOk));
    ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
    EXPECT_EQ(std::vector<std::string>({"first.txt"}), e2e::list_tree(dir + "out"));
  }
}

TEST(WizardSequence, WelcomePageTexts) {
  struct Case {
    const char* name;
    const char* url;
    const char* label;
  };
  const Case cases[] = {
      {"测试程序", "mailto:someone@example.com?subject=你好", "someone@example.com"},
      {"测试程序", "mailto:someone@example.com", "someone@example.com"},
      {"测试程序", "MAILTO:Someone@Example.com?x", "Someone@Example.com"},
      {"测试程序", "mailto:", "mailto:"},
      {"测试程序", "http://example.com/mailto:x?y", "http://example.com/mailto:x?y"},
      {nullptr, "", ""},
  };
  const std::string dir = e2e::fresh_dir("wizard-welcome-texts");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Fixture fixture = wizard_fixture(dir, c.name);
    fixture.keys.push_back({"URL", c.url});
    fixture.keys.push_back({"Intro", "第一行\\n第二行"});
    Wizard wizard;
    ASSERT_TRUE(wizard.start(dir, fixture, c.name ? c.name : kDefaultName)) << wizard.failure;
    probe::Window page = wizard.wait_page(1);
    ASSERT_TRUE(page) << wizard.failure;
    EXPECT_EQ(c.label, page.control_text(e2e::kLink));
    EXPECT_EQ(c.name ? c.name : kDefaultName, page.control_text(e2e::kWelcomeTitle));
    // The backslash-n of the configuration is a line break.
    EXPECT_EQ("第一行 \n第二行", page.control_text(e2e::kWelcomeText));
    wizard.process.kill();
  }
}

}  // namespace

namespace {

// Ways out of the wizard: none asks a question but Esc, which is answered
// Yes here.
enum class Quit { cancel_button, close_box, alt_f4, escape_yes, escape_no };

struct QuitCase {
  const char* name;
  Quit way;
  int page;
  // The question stays open while a small extraction ends, with an Exec
  // program to follow it.
  bool extraction_ends_under_box = false;
  // Makes the program's writes fail or wait (see kProbeWriteFaultEnv).
  const char* write_fault = "";
};

const QuitCase kQuitCases[] = {
    {"CancelOnPage1", Quit::cancel_button, 1}, {"CloseBoxOnPage1", Quit::close_box, 1},
    {"AltF4OnPage1", Quit::alt_f4, 1},         {"EscYesOnPage1", Quit::escape_yes, 1},
    {"CancelOnPage2", Quit::cancel_button, 2}, {"CloseBoxOnPage2", Quit::close_box, 2},
    {"AltF4OnPage2", Quit::alt_f4, 2},         {"EscYesOnPage2", Quit::escape_yes, 2},
    {"CancelOnPage3", Quit::cancel_button, 3}, {"CloseBoxOnPage3", Quit::close_box, 3},
    {"AltF4OnPage3", Quit::alt_f4, 3},
    // The question stays open while the user reads it: a slow write keeps
    // big.bin unfinished until Yes, however busy the machine.
    {"EscYesOnPage3", Quit::escape_yes, 3, false, "4,0,slow"},
    {"EscYesAsExtractionEnds", Quit::escape_yes, 3, true},
    {"EscNoAsExtractionEnds", Quit::escape_no, 3, true},
    // The quit comes while big.bin's second block takes longer to write than
    // the quit would wait for it: the file goes all the same.
    {"CancelDuringSlowWrite", Quit::cancel_button, 3, false, "4,0,slow"},
};

// Large enough to be caught while it is written; zeros, so that the archive
// stays small.
const size_t kBigEntrySize = 256u << 20;

class QuitTest : public ::testing::TestWithParam<QuitCase> {};

TEST_P(QuitTest, EndsWithCode1AndLeavesOnlyCompleteEntries) {
  const QuitCase& c = GetParam();
  const std::string dir = e2e::fresh_dir(std::string("wizard-quit-") + c.name);
  const std::string out = dir + "out\\";
  ASSERT_TRUE(e2e::make_dir(out));
  Fixture fixture = wizard_fixture(dir + "out");
  static std::string with_big_entry;
  if (c.page == 3 && with_big_entry.empty()) {
    fixture.entries = {e2e::file_entry("first.txt", "complete"),
                       e2e::file_entry("big.bin", std::string(kBigEntrySize, '\0')),
                       e2e::file_entry("last.txt", "never written")};
    // The destination is the same for every case: "out" beside the file.
    fixture.keys = {{"Name", "测试程序"}, {"DefaultPath", "out"}};
    fixture.level = 1;
    with_big_entry = e2e::sfx_bytes(fixture);
  }
  e2e::Markers markers(dir + "markers\\");
  e2e::ScopedEnv marker_env("VANDREL_MARKER_DIR", dir + "markers");
  ASSERT_TRUE(e2e::make_dir(markers.dir));
  if (c.extraction_ends_under_box) {
    fixture.entries = {e2e::file_entry("first.txt", "complete"),
                       e2e::file_entry("after.exe", e2e::marker_program_bytes())};
    fixture.keys.push_back({"Exec", "after.exe"});
  }
  Wizard wizard;
  wizard.write_fault = c.write_fault;
  if (c.page == 3 && !c.extraction_ends_under_box) {
    ASSERT_TRUE(wizard.start_bytes(dir, with_big_entry, "测试程序")) << wizard.failure;
  } else {
    ASSERT_TRUE(wizard.start(dir, fixture, "测试程序")) << wizard.failure;
  }
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  for (int page = 2; page <= c.page; ++page) {
    ASSERT_TRUE(wizard.next());
    ASSERT_TRUE(wizard.wait_page(page)) << wizard.failure;
  }
  if (c.page == 3 && !c.extraction_ends_under_box) {
    // Caught while big.bin is being written.
    const DWORD start = GetTickCount();
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    while (!(GetFileAttributesExA((out + "big.bin").c_str(), GetFileExInfoStandard, &data) &&
             data.nFileSizeLow > 0)) {
      ASSERT_LT(GetTickCount() - start, e2e::kWizardWaitMs) << "big.bin never grew";
      Sleep(5);
    }
    // Well into the slow write of the second block.
    if (c.write_fault[0]) Sleep(500);
  }
  switch (c.way) {
    case Quit::cancel_button:
      ASSERT_TRUE(wizard.frame.click(e2e::kCancel));
      break;
    case Quit::close_box:
      ASSERT_TRUE(wizard.frame.post(WM_CLOSE, 0, 0));
      break;
    case Quit::alt_f4:
      ASSERT_TRUE(wizard.frame.post(WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29)));
      break;
    case Quit::escape_yes:
    case Quit::escape_no: {
      ASSERT_TRUE(wizard.press_escape());
      probe::Window box;
      probe::MessageBoxInfo info;
      ASSERT_TRUE(wizard.read_box("确认退出", &box, &info)) << wizard.failure;
      if (c.extraction_ends_under_box) {
        // The worker's Next comes 300 ms after the last file; the program
        // would have started well within the second that follows.
        const DWORD start = GetTickCount();
        while (!e2e::file_exists(out + "after.exe")) {
          ASSERT_LT(GetTickCount() - start, e2e::kWizardWaitMs) << "the extraction never ended";
          Sleep(10);
        }
        Sleep(1500);
        EXPECT_FALSE(markers.started("after.exe"));
        ASSERT_TRUE(wizard.process.running());
      }
      ASSERT_TRUE(box.click(c.way == Quit::escape_yes ? probe::kYes : probe::kNo));
      break;
    }
  }
  if (c.extraction_ends_under_box) {
    std::string boxes = e2e::boxes_until_exit(&wizard);
    ASSERT_TRUE(wizard.exit.ended) << wizard.exit.failure;
    EXPECT_EQ(1u, wizard.exit.code);
    // After a No the steps that follow the extraction run; after a Yes none.
    EXPECT_EQ(c.way == Quit::escape_no, markers.done("after.exe"));
    EXPECT_EQ(std::vector<std::string>({"after.exe", "first.txt"}), e2e::list_tree(out));
    return;
  }
  std::string boxes = e2e::boxes_until_exit(&wizard);
  if (c.way != Quit::escape_yes) {
    EXPECT_EQ("", boxes);
  }
  ASSERT_TRUE(wizard.exit.ended) << wizard.exit.failure;
  EXPECT_EQ(1u, wizard.exit.code);
  if (c.page == 3) {
    // The file cut short is gone; what was complete stays.
    EXPECT_EQ(std::vector<std::string>({"first.txt"}), e2e::list_tree(out));
  } else {
    EXPECT_EQ(std::vector<std::string>(), e2e::list_tree(out));
  }
}

INSTANTIATE_TEST_SUITE_P(Wizard, QuitTest, ::testing::ValuesIn(kQuitCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
