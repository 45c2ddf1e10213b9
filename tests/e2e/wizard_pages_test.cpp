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
      ASSERT_TRUE(e2e::make_dir(dir + "chosen"));
      ASSERT_TRUE(e2e::make_dir(destination));
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
  EXPECT_EQ(e2e::system_text(ERROR_INVALID_NAME), info.text.substr(head.size(), info.text.size() - head.size() -
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
  ASSERT_TRUE(e2e::make_dir(out));
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
      if (now.high) seen.high = now.high;
      if (now.pos > seen.pos) seen.pos = now.pos;
      // Empty once the page is gone.
      std::string status = page.control_text(e2e::kStatusLine);
      if (!status.empty()) last_status = status;
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

namespace {

const COLORREF kDarkBlue = RGB(0, 0, 170);

struct StyleCase {
  int page;
  bool on_frame;  // a static of the frame, else of the page
  int id;
  bool styled;    // false: left to the system's default colours
  int weight;
  int height;
  COLORREF colour;
  bool underline;
};

TEST(WelcomePage, StaticsAreStyledOnWhiteAndPageTextsKeepTheSystemColours) {
  const StyleCase cases[] = {
      {1, false, e2e::kWelcomeTitle, true, 700, 15, kDarkBlue, false},
      {1, false, e2e::kWelcomeText, true, 500, 12, 0, false},
      {1, false, e2e::kLink, true, 500, 12, kDarkBlue, true},
      {2, true, e2e::kTitle, true, 700, 12, 0, false},
      {2, true, e2e::kSubtitle, true, 500, 12, 0, false},
      {2, false, e2e::kPageText, false, 0, 0, 0, false},
  };
  const std::string dir = e2e::fresh_dir("wizard-styles");
  Fixture fixture = destination_fixture(dir);
  fixture.keys.push_back({"URL", "http://example.com/"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  int shown = 1;
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.id);
    if (c.page != shown) {
      ASSERT_TRUE(wizard.wait_page(shown)) << wizard.failure;
      ASSERT_TRUE(wizard.next());
      shown = c.page;
    }
    probe::Window page = wizard.wait_page(c.page);
    ASSERT_TRUE(page) << wizard.failure;
    probe::StaticStyle style;
    std::string failure;
    ASSERT_TRUE(probe::static_style((c.on_frame ? wizard.frame : page).control(c.id), &style,
                                    &failure))
        << failure;
    if (!c.styled) {
      EXPECT_EQ(0u, style.font);
      EXPECT_FALSE(style.white_brush);
      continue;
    }
    EXPECT_NE(0u, style.font);
    EXPECT_EQ(c.weight, style.weight);
    EXPECT_EQ(c.height, style.height);
    EXPECT_EQ(c.colour, style.colour);
    EXPECT_EQ(c.underline, style.underline);
    EXPECT_EQ("宋体", style.face);
    EXPECT_EQ(OPAQUE, style.background_mode);
    EXPECT_TRUE(style.white_brush);
  }
  wizard.process.kill();
}

LPARAM point_in(const RECT& r) {
  return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

TEST(WelcomePage, HandCursorOverTheLinkOnlyWhenThereIsAUrl) {
  const int kHandCursor = 123;
  for (const char* url : {"http://example.com/", ""}) {
    SCOPED_TRACE(url);
    const std::string dir = e2e::fresh_dir("wizard-cursor");
    Fixture fixture = destination_fixture(dir);
    fixture.keys.push_back({"URL", url});
    Wizard wizard;
    ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
    probe::Window page = wizard.wait_page(1);
    ASSERT_TRUE(page) << wizard.failure;
    std::string failure;
    bool hand = true;
    // A free spot on the banner, then the link label.
    ASSERT_TRUE(page.send(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10)));
    ASSERT_TRUE(probe::cursor_is(page, kHandCursor, &hand, &failure)) << failure;
    EXPECT_FALSE(hand);
    ASSERT_TRUE(page.send(WM_MOUSEMOVE, 0, point_in(page.control(e2e::kLink).rect_in(page))));
    ASSERT_TRUE(probe::cursor_is(page, kHandCursor, &hand, &failure)) << failure;
    EXPECT_EQ(url[0] != 0, hand);
    wizard.process.kill();
  }
}

// Replaces the shell's command for a verb of a class (under the classes
// root), for as long as it lives: a stand-in handler records what the
// program under test opens.
class ScopedShellCommand {
 public:
  ScopedShellCommand(const std::string& key, const std::string& command) : key_(key) {
    had_old_ = RegGetValueA(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                            old_, &old_size_) == ERROR_SUCCESS;
    RegSetKeyValueA(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, REG_SZ, command.c_str(),
                    static_cast<DWORD>(command.size() + 1));
  }
  ~ScopedShellCommand() {
    if (had_old_) {
      RegSetKeyValueA(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, REG_SZ, old_, old_size_);
    } else {
      RegDeleteKeyValueA(HKEY_CLASSES_ROOT, key_.c_str(), nullptr);
    }
  }

 private:
  std::string key_;
  char old_[1024] = {};
  DWORD old_size_ = sizeof old_;
  bool had_old_ = false;
};

std::string recorder_command(const std::string& record) {
  return "\"" + probe::exe_dir() + "probe_target.exe\" record \"" + record + "\" \"%1\"";
}

// What the recorder wrote, waiting for it up to the wizard's time-out.
std::string recorded(const std::string& record) {
  std::string text;
  const DWORD start = GetTickCount();
  while (!(e2e::read_file(record, &text) && !text.empty()) &&
         GetTickCount() - start < e2e::kWizardWaitMs) {
    Sleep(20);
  }
  return text;
}

TEST(WelcomePage, PressOnTheLinkOpensTheWholeUrl) {
  const std::string dir = e2e::fresh_dir("wizard-link");
  const std::string record = dir + "opened.txt";
  const std::string url = "mailto:someone@example.com?subject=hello";
  ScopedShellCommand handler("mailto\\shell\\open\\command", recorder_command(record));
  Fixture fixture = destination_fixture(dir);
  fixture.keys.push_back({"URL", url});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  probe::Window page = wizard.wait_page(1);
  ASSERT_TRUE(page) << wizard.failure;
  EXPECT_EQ("someone@example.com", page.control_text(e2e::kLink));
  ASSERT_TRUE(page.post(WM_LBUTTONDOWN, MK_LBUTTON,
                        point_in(page.control(e2e::kLink).rect_in(page))));
  const std::string opened = recorded(record);
  EXPECT_NE(std::string::npos, opened.find("\"" + url + "\"")) << opened;
  wizard.process.kill();
}

TEST(ProgressPage, OpenFolderAsksTheShellToExploreTheDestination) {
  const std::string dir = e2e::fresh_dir("wizard-open-folder");
  const std::string record = dir + "explored.txt";
  ScopedShellCommand handler("Folder\\shell\\explore\\command", recorder_command(record));
  Fixture fixture = destination_fixture(dir + "out");
  fixture.keys.push_back({"AutoExtract", "1"});
  fixture.keys.push_back({"OpenFolder", "1"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  // The destination as the extraction left it, with its final backslash.
  EXPECT_NE(std::string::npos, recorded(record).find("\"" + dir + "out\\\"")) << recorded(record);
}

}  // namespace

namespace {

TEST(WizardPaint, RepaintsAndPageChangesLeaveNoFontBitmapOrDcBehind) {
  const std::string dir = e2e::fresh_dir("wizard-gdi");
  Fixture fixture = destination_fixture(dir);
  fixture.keys.push_back({"URL", "http://example.com/"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  probe::Window page = wizard.wait_page(1);
  ASSERT_TRUE(page) << wizard.failure;
  std::string failure;
  ASSERT_TRUE(probe::gdi_count_start(wizard.frame, &failure)) << failure;
  probe::StaticStyle title_before;
  ASSERT_TRUE(probe::static_style(page.control(e2e::kWelcomeTitle), &title_before, &failure))
      << failure;

  // The first visit of each page may make its font or picture once; after
  // that, neither painting nor showing a page again may leave anything.
  const int kRepaints = 40;
  const int pages[] = {1, 2, 1, 2, 1, 2};
  long live_after_first_visits = 0;
  for (size_t visit = 0; visit < sizeof pages / sizeof pages[0]; ++visit) {
    const int page_number = pages[visit];
    SCOPED_TRACE(visit);
    ASSERT_TRUE(wizard.wait_page(page_number)) << wizard.failure;
    probe::GdiCount before;
    probe::GdiCount after;
    ASSERT_TRUE(probe::gdi_repaint(wizard.frame, 1, &before, &failure)) << failure;
    if (visit >= 2) {
      EXPECT_EQ(live_after_first_visits, before.live);
    }
    ASSERT_TRUE(probe::gdi_repaint(wizard.frame, kRepaints, &after, &failure)) << failure;
    // Every paint of the welcome page or the header band copies its picture
    // through a memory DC of its own...
    EXPECT_GE(after.dcs_made - before.dcs_made, kRepaints);
    // ...which is deleted, and no font or bitmap is made per paint.
    EXPECT_EQ(before.live, after.live);
    if (visit == 1) live_after_first_visits = after.live;
    ASSERT_TRUE(page_number == 1 ? wizard.next() : wizard.back());
  }
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  probe::StaticStyle title_after;
  ASSERT_TRUE(probe::static_style(wizard.page().control(e2e::kWelcomeTitle), &title_after,
                                  &failure))
      << failure;
  EXPECT_EQ(title_before.font, title_after.font) << "the title's font was made again";
  wizard.process.kill();
}

TEST(DestinationPage, BrowseOpensAtTheTypedFolderAndAChoiceReplacesTheEdit) {
  const std::string dir = e2e::fresh_dir("wizard-browse");
  const std::string folder = dir + "picked";
  ASSERT_TRUE(e2e::make_dir(folder));
  struct Case {
    int press;
    std::string shown_after;
  };
  // Typed with a final backslash: a choice comes back without it.
  const Case cases[] = {{probe::kCancel, folder + "\\"}, {probe::kOk, folder}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.press);
    Wizard wizard;
    probe::Window page = start_on_page_2(&wizard, dir, destination_fixture(dir + "unused"));
    ASSERT_TRUE(page) << wizard.failure;
    ASSERT_TRUE(page.control(e2e::kPathEdit).set_text(folder + "\\"));
    ASSERT_TRUE(page.click(e2e::kBrowse));
    probe::Window browse;
    const DWORD start = GetTickCount();
    while (!browse && GetTickCount() - start < e2e::kWizardWaitMs) {
      for (const probe::Window& w : wizard.process.windows({"", probe::kDialogClass, true})) {
        if (w.handle() != wizard.frame.handle()) browse = w;
      }
      Sleep(20);
    }
    ASSERT_TRUE(browse) << "no browse dialog";
    bool has_title = false;
    for (const probe::Window& child : browse.children()) {
      has_title |= child.text() == "请选择目的文件夹:";
    }
    EXPECT_TRUE(has_title);
    ASSERT_TRUE(browse.click(c.press));
    const DWORD closing = GetTickCount();
    while (browse.exists() && GetTickCount() - closing < e2e::kWizardWaitMs) Sleep(20);
    EXPECT_EQ(c.shown_after, page.control_text(e2e::kPathEdit));
    wizard.process.kill();
  }
}

}  // namespace

namespace {

TEST(ProgressPage, ExecHidesTheFrameAndDeleteCleansUpOnPage3) {
  const std::string dir = e2e::fresh_dir("wizard-exec-delete");
  const std::string out = dir + "out\\";
  std::string program;
  ASSERT_TRUE(e2e::read_file(probe::exe_dir() + "probe_target.exe", &program));
  Fixture fixture = destination_fixture(dir + "out");
  // Named hold.exe, the probe's target waits for release.txt in its
  // current directory, which the Exec launch makes the destination.
  fixture.entries = {e2e::file_entry("hold.exe", program)};
  fixture.keys.push_back({"AutoExtract", "1"});
  fixture.keys.push_back({"Exec", "hold.exe"});
  fixture.keys.push_back({"Delete", "1"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  // Hidden while the program runs.
  DWORD start = GetTickCount();
  while (wizard.frame.visible() && GetTickCount() - start < e2e::kWizardWaitMs) Sleep(10);
  EXPECT_FALSE(wizard.frame.visible());
  EXPECT_TRUE(wizard.process.running());
  ASSERT_TRUE(e2e::write_file(out + "release.txt", "go"));
  // Shown again, for the cleanup, on page 3.
  start = GetTickCount();
  while (wizard.frame.control_text(e2e::kTitle) != "文件清理" &&
         GetTickCount() - start < e2e::kWizardWaitMs) {
    Sleep(5);
  }
  EXPECT_TRUE(wizard.frame.visible());
  EXPECT_EQ("文件清理", wizard.frame.control_text(e2e::kTitle));
  EXPECT_EQ("删除临时文件", wizard.frame.control_text(e2e::kSubtitle));
  EXPECT_EQ("正在删除解压缩出来的文件。", wizard.page().control_text(e2e::kPageText));
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  // hold.exe is gone; release.txt, which the archive did not hold, keeps
  // the destination.
  EXPECT_EQ(std::vector<std::string>({"release.txt"}), e2e::list_tree(out));
}

}  // namespace
