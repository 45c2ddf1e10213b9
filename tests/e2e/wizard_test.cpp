// The wizard end to end: its dialogs as created, the page sequence, every
// way out of it, and what it leaves on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "harness.h"
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
struct ControlSpec {
  int id;
  const char* class_name;
  DWORD style;
  DWORD ex_style;
  const char* text;
  RECT units;
  bool placed_by_template;  // false: show_page moves it
};

struct TemplateSpec {
  const char* name;
  int page;      // the page on which it is read
  bool frame;    // the frame itself, else the page dialog
  DWORD style;   // of the dialog
  std::vector<ControlSpec> controls;
};

const TemplateSpec kTemplates[] = {
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

class TemplateTest : public ::testing::TestWithParam<TemplateSpec> {};

TEST_P(TemplateTest, ControlsAreCreatedAsTheTemplateSays) {
  const TemplateSpec& spec = GetParam();
  const std::string dir = e2e::fresh_dir(std::string("wizard-template-") + spec.name);
  const std::string out = dir + "out";
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, held_on_page_3(out), "测试程序")) << wizard.failure;
  if (spec.page >= 2) {
    ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
    ASSERT_TRUE(wizard.next());
  }
  probe::Window page = wizard.wait_page(spec.page == 3 ? 2 : spec.page);
  ASSERT_TRUE(page) << wizard.failure;
  if (spec.page == 3) {
    ASSERT_TRUE(wizard.next());
    ASSERT_TRUE(wizard.wait_page(3)) << wizard.failure;
    probe::Window box;
    probe::MessageBoxInfo info;
    ASSERT_TRUE(wizard.read_box("Vandrel 错误", &box, &info)) << wizard.failure;
    page = wizard.page();
  }
  const probe::Window dialog = spec.frame ? wizard.frame : page;
  POINT units;
  std::string failure;
  ASSERT_TRUE(probe::dialog_base_units(dialog, &units, &failure)) << failure;
  // Shown since, whether or not the template makes it visible.
  EXPECT_EQ(spec.style | WS_VISIBLE,
            static_cast<DWORD>(GetWindowLongA(dialog.handle(), GWL_STYLE)) & ~kDialogStyleAdded);

  // Nothing more than the template's controls (z-order changes with moves).
  std::set<int> ids;
  for (const probe::Window& child : dialog.children()) {
    if (child.class_name() != probe::kDialogClass) ids.insert(child.id());
  }
  std::set<int> expected_ids;
  for (const ControlSpec& c : spec.controls) expected_ids.insert(c.id);
  EXPECT_EQ(expected_ids, ids);

  for (const ControlSpec& c : spec.controls) {
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
