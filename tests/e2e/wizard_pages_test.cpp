// The wizard's pages end to end: the destination page's questions and
// errors, the extraction on page 3, the welcome page's styles and link, the
// folder browse, and the GDI objects that painting makes.
#include <gtest/gtest.h>

#include "harness.h"
#include "wizard_harness.h"

namespace {

using e2e::Fixture;
using e2e::Wizard;

Fixture destination_fixture(const std::string& destination) {
  Fixture fixture;
  fixture.keys = {{"Name", "目的测试"}, {"DefaultPath", destination}};
  fixture.entries = {e2e::dir_entry("docs/"), e2e::file_entry("docs/a.txt", "alpha"),
                     e2e::file_entry("b.txt", "beta")};
  return fixture;
}

// Starts the wizard and goes to page 2.
probe::Window start_on_page_2(Wizard* wizard, const std::string& dir, const Fixture& fixture) {
  if (!wizard->start(dir, fixture, "目的测试") || !wizard->wait_page(1) || !wizard->next()) {
    return probe::Window();
  }
  return wizard->wait_page(2);
}

bool set_box(const probe::Window& page, bool checked) {
  return page.control(e2e::kCreateBox)
      .send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool box_checked(const probe::Window& page) {
  DWORD_PTR state = 0;
  page.control(e2e::kCreateBox).send(BM_GETCHECK, 0, 0, &state);
  return state == BST_CHECKED;
}

TEST(DestinationPage, BackKeepsTheEditAndTheBoxAndAnEmptiedEditShowsTheDestination) {
  const std::string dir = e2e::fresh_dir("wizard-back");
  const std::string destination = dir + "default";
  Wizard wizard;
  probe::Window page = start_on_page_2(&wizard, dir, destination_fixture(destination));
  ASSERT_TRUE(page) << wizard.failure;
  EXPECT_TRUE(box_checked(page));

  struct Step {
    const char* typed;
    bool checked;
    std::string shown_after_back;
  };
  const Step steps[] = {
      {"D:\\编辑过的\\路径", false, "D:\\编辑过的\\路径"},
      {"", true, destination},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.typed);
    ASSERT_TRUE(page.control(e2e::kPathEdit).set_text(step.typed));
    ASSERT_TRUE(set_box(page, step.checked));
    ASSERT_TRUE(wizard.back());
    ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
    ASSERT_TRUE(wizard.next());
    page = wizard.wait_page(2);
    ASSERT_TRUE(page) << wizard.failure;
    EXPECT_EQ(step.shown_after_back, page.control_text(e2e::kPathEdit));
    EXPECT_EQ(step.checked, box_checked(page));
  }
  wizard.process.kill();
}

TEST(DestinationPage, NextCreatesAMissingFolderAskingOnlyWhenTheBoxIsClear) {
  struct Case {
    const char* name;
    bool exists;
    bool checked;
    int answer;  // to the question; 0 when none is expected
  };
  const Case cases[] = {
      {"ExistingChecked", true, true, 0},
      {"ExistingClear", true, false, 0},
      {"MissingChecked", false, true, 0},
      {"MissingClearNo", false, false, probe::kNo},
      {"MissingClearYes", false, false, probe::kYes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = e2e::fresh_dir(std::string("wizard-next-") + c.name);
    const std::string destination = dir + "chosen\\deeper";
    if (c.exists) {
      ASSERT_TRUE(CreateDirectoryA((dir + "chosen").c_str(), nullptr));
      ASSERT_TRUE(CreateDirectoryA(destination.c_str(), nullptr));
    }
    Wizard wizard;
    probe::Window page = start_on_page_2(&wizard, dir, destination_fixture(dir + "unused"));
    ASSERT_TRUE(page) << wizard.failure;
    ASSERT_TRUE(page.control(e2e::kPathEdit).set_text(destination));
    ASSERT_TRUE(set_box(page, c.checked));
    ASSERT_TRUE(wizard.next());
    if (c.answer) {
      probe::Window box;
      probe::MessageBoxInfo info;
      ASSERT_TRUE(wizard.read_box("创建目录", &box, &info)) << wizard.failure;
      EXPECT_EQ("目的目录不存在。要创建吗?", info.text);
      EXPECT_EQ(probe::IconStyle::question, info.icon);
      ASSERT_TRUE(box.click(c.answer));
    }
    if (c.answer == probe::kNo) {
      // Still page 2, the text as typed, nothing created.
      Sleep(300);
      EXPECT_TRUE(wizard.process.running());
      EXPECT_EQ(page.handle(), wizard.page().handle());
      EXPECT_EQ(destination, page.control_text(e2e::kPathEdit));
      EXPECT_FALSE(e2e::dir_exists(dir + "chosen"));
      wizard.process.kill();
      continue;
    }
    EXPECT_EQ("", e2e::boxes_until_exit(&wizard));
    ASSERT_TRUE(wizard.exit.ended) << wizard.exit.failure;
    EXPECT_EQ(1u, wizard.exit.code);
    EXPECT_EQ(std::vector<std::string>({"b.txt", "docs/", "docs/a.txt"}),
              e2e::list_tree(destination));
  }
}

TEST(DestinationPage, UncreatableFolderShowsTheSystemTextAndStays) {
  const std::string dir = e2e::fresh_dir("wizard-uncreatable");
  const std::string destination = dir + "bad*name";
  Wizard wizard;
  probe::Window page = start_on_page_2(&wizard, dir, destination_fixture(dir + "unused"));
  ASSERT_TRUE(page) << wizard.failure;
  ASSERT_TRUE(page.control(e2e::kPathEdit).set_text(destination));
  ASSERT_TRUE(wizard.next());
  probe::Window box;
  probe::MessageBoxInfo info;
  ASSERT_TRUE(wizard.read_box("不能创建目录", &box, &info)) << wizard.failure;
  EXPECT_EQ(probe::IconStyle::error, info.icon);
  const std::string head = "不能创建目的目录 ";
  const std::string tail = "。\n请确定其中没有包括下列非法字符：\n/ \\ : * ? \" < > | ";
  ASSERT_GT(info.text.size(), head.size() + tail.size()) << info.text;
  EXPECT_EQ(head, info.text.substr(0, head.size()));
  EXPECT_EQ(tail, info.text.substr(info.text.size() - tail.size()));
  // The system's text for the failed creation sits between them.
  char system_text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 ERROR_INVALID_NAME, 0x400, system_text, sizeof system_text, nullptr);
  EXPECT_EQ(system_text, info.text.substr(head.size(), info.text.size() - head.size() -
                                                           tail.size()));
  ASSERT_TRUE(box.click(probe::kOk));
  Sleep(300);
  EXPECT_TRUE(wizard.process.running());
  EXPECT_EQ(page.handle(), wizard.wait_page(2).handle());
  EXPECT_EQ(destination, page.control_text(e2e::kPathEdit));
  wizard.process.kill();
}

TEST(DestinationPage, EscapeAsksAndNoKeepsPageAndState) {
  const std::string dir = e2e::fresh_dir("wizard-escape-no");
  Wizard wizard;
  probe::Window page = start_on_page_2(&wizard, dir, destination_fixture(dir + "unused"));
  ASSERT_TRUE(page) << wizard.failure;
  ASSERT_TRUE(page.control(e2e::kPathEdit).set_text("E:\\正在编辑"));
  ASSERT_TRUE(set_box(page, false));
  ASSERT_TRUE(wizard.press_escape());
  probe::Window box;
  probe::MessageBoxInfo info;
  ASSERT_TRUE(wizard.read_box("确认退出", &box, &info)) << wizard.failure;
  EXPECT_EQ("你确定想要退出吗?", info.text);
  EXPECT_EQ(probe::IconStyle::warning, info.icon);
  ASSERT_TRUE(box.click(probe::kNo));
  Sleep(300);
  EXPECT_TRUE(wizard.process.running());
  EXPECT_EQ(page.handle(), wizard.page().handle());
  EXPECT_EQ("E:\\正在编辑", page.control_text(e2e::kPathEdit));
  EXPECT_FALSE(box_checked(page));
  EXPECT_TRUE(wizard.frame.control_enabled(e2e::kBack));
  wizard.process.kill();
}

TEST(DestinationPage, EditTakes150TypedCharactersButShowsALongerPathWhole) {
  const std::string dir = e2e::fresh_dir("wizard-limit");
  const std::string long_path = "C:\\" + std::string(200, 'p');
  Wizard wizard;
  probe::Window page = start_on_page_2(&wizard, dir, destination_fixture(long_path));
  ASSERT_TRUE(page) << wizard.failure;
  probe::Window edit = page.control(e2e::kPathEdit);
  EXPECT_EQ(long_path, edit.text());
  ASSERT_TRUE(edit.set_text(""));
  for (int i = 0; i < 160; ++i) ASSERT_TRUE(edit.send(WM_CHAR, 'a' + i % 26, 1));
  EXPECT_EQ(150u, edit.text().size());
  wizard.process.kill();
}

TEST(ProgressPage, ShowsEachEntryFillsTheBarAndWritesTheFiles) {
  const std::string dir = e2e::fresh_dir("wizard-progress");
  const std::string out = dir + "out";
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
  Fixture fixture = destination_fixture(out);
  fixture.entries.push_back(e2e::file_entry("docs/最后.txt", "last"));
  Wizard wizard;
  probe::Window page = start_on_page_2(&wizard, dir, fixture);
  ASSERT_TRUE(page) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  page = wizard.wait_page(3);
  ASSERT_TRUE(page) << wizard.failure;
  EXPECT_TRUE(wizard.frame.control_enabled(e2e::kCancel));

  // Read page 3 until the process ends: the bar's range, its highest
  // position, the last status line, and the buttons.
  probe::Progress seen;
  std::string last_status;
  bool back_ever_enabled = false;
  bool next_ever_enabled = false;
  const DWORD start = GetTickCount();
  while (wizard.process.running() && GetTickCount() - start < e2e::kRunTimeoutMs) {
    probe::Progress now;
    if (page.progress(e2e::kProgressBar, &now)) {
      seen.high = now.high;
      if (now.pos > seen.pos) seen.pos = now.pos;
      last_status = page.control_text(e2e::kStatusLine);
      back_ever_enabled |= wizard.frame.control_enabled(e2e::kBack);
      next_ever_enabled |= wizard.frame.control_enabled(e2e::kNext);
    }
    Sleep(5);
  }
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  EXPECT_EQ(4, seen.high);
  EXPECT_EQ(4, seen.pos);
  EXPECT_EQ("正在解压缩 docs/最后.txt ...", last_status);
  EXPECT_FALSE(back_ever_enabled);
  EXPECT_FALSE(next_ever_enabled);
  EXPECT_EQ(std::vector<std::string>({"b.txt", "docs/", "docs/a.txt", "docs/最后.txt"}),
            e2e::list_tree(out));
}

}  // namespace
