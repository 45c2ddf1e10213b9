// The wizard's pages end to end: the destination page's questions and
// errors, the extraction on page 3, the welcome page's styles and link, the
// folder browse, and the GDI objects that painting makes.
#include <gtest/gtest.h>

#include <map>

#include "harness.h"
#include "shell_env.h"
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
    int nexts;   // presses of Next posted at once
  };
  const Case cases[] = {
      {"ExistingChecked", true, true, 0, 1},
      {"ExistingClear", true, false, 0, 1},
      {"MissingChecked", false, true, 0, 1},
      {"MissingClearNo", false, false, probe::kNo, 1},
      {"MissingClearYes", false, false, probe::kYes, 1},
      // The second press waits behind the question: still one question and
      // one extraction.
      {"MissingClearYesTwoNexts", false, false, probe::kYes, 2},
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
    for (int i = 0; i < c.nexts; ++i) ASSERT_TRUE(wizard.next());
    if (c.answer) {
      probe::Window box;
      probe::MessageBoxInfo info;
      ASSERT_TRUE(wizard.read_box("创建目录", &box, &info)) << wizard.failure;
      EXPECT_EQ("目的目录不存在。要创建吗?", info.text);
      EXPECT_EQ(probe::IconStyle::question, info.icon);
      ASSERT_TRUE(wizard.answer_box(box, c.answer)) << wizard.failure;
    }
    if (c.answer == probe::kNo) {
      // The question is gone: still page 2, the text as typed, nothing created.
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
  ASSERT_TRUE(wizard.answer_box(box, probe::kOk)) << wizard.failure;
  EXPECT_TRUE(wizard.process.running());
  EXPECT_EQ(page.handle(), wizard.page().handle());
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
  ASSERT_TRUE(wizard.answer_box(box, probe::kNo)) << wizard.failure;
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
  e2e::Markers markers(dir + "markers\\");
  e2e::ScopedEnv marker_env("VANDREL_MARKER_DIR", dir + "markers");
  ASSERT_TRUE(e2e::make_dir(markers.dir));
  // The Exec program, held, keeps page 3 as the extraction left it.
  ASSERT_TRUE(markers.hold("hold.exe"));
  Fixture fixture = destination_fixture(out);
  fixture.entries.insert(fixture.entries.begin(),
                         e2e::file_entry("hold.exe", e2e::marker_program_bytes()));
  fixture.entries.push_back(e2e::file_entry("docs/最后.txt", "last"));
  fixture.keys.push_back({"Exec", "hold.exe"});
  Wizard wizard;
  probe::Window page = start_on_page_2(&wizard, dir, fixture);
  ASSERT_TRUE(page) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  page = wizard.wait_page(3);
  ASSERT_TRUE(page) << wizard.failure;
  EXPECT_TRUE(wizard.frame.control_enabled(e2e::kCancel));

  // Back and Next stay disabled all through; the bar ends full and the
  // status line names the last entry.
  bool back_ever_enabled = false;
  bool next_ever_enabled = false;
  probe::Progress bar;
  std::string status;
  auto sample_buttons = [&] {
    back_ever_enabled |= wizard.frame.control_enabled(e2e::kBack);
    next_ever_enabled |= wizard.frame.control_enabled(e2e::kNext);
  };
  ASSERT_TRUE(wizard.wait_for(
      [&] {
        sample_buttons();
        return markers.started("hold.exe");
      },
      "the Exec program started"))
      << wizard.failure;
  EXPECT_TRUE(wizard.wait_for(
      [&] {
        sample_buttons();
        status = page.control_text(e2e::kStatusLine);
        return page.progress(e2e::kProgressBar, &bar) && bar.pos == bar.high &&
               status == "正在解压缩 docs/最后.txt ...";
      },
      "the full bar and the last entry's name"))
      << wizard.failure << ": " << bar.pos << " of " << bar.high << ", " << status;
  EXPECT_EQ(0, bar.low);
  EXPECT_EQ(5, bar.high);
  EXPECT_FALSE(back_ever_enabled);
  EXPECT_FALSE(next_ever_enabled);
  markers.release("hold.exe");
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  EXPECT_EQ(std::vector<std::string>({"b.txt", "docs/", "docs/a.txt", "docs/最后.txt", "hold.exe"}),
            e2e::list_tree(out));
}

}  // namespace

namespace {

// What a user sees of the styled texts: on white, in one face; the titles
// bold, the welcome title the largest, the link underlined in the welcome
// title's colour, which differs from the body text's; the page texts left
// to the system's colours.
TEST(WelcomePage, StaticsAreStyledOnWhiteAndPageTextsKeepTheSystemColours) {
  struct StyleCase {
    const char* name;
    int page;
    bool on_frame;  // a static of the frame, else of the page
    int id;
    bool styled;    // false: left to the system's default colours
  };
  const StyleCase cases[] = {
      {"WelcomeTitle", 1, false, e2e::kWelcomeTitle, true},
      {"WelcomeText", 1, false, e2e::kWelcomeText, true},
      {"Link", 1, false, e2e::kLink, true},
      {"Title", 2, true, e2e::kTitle, true},
      {"Subtitle", 2, true, e2e::kSubtitle, true},
      {"PageText", 2, false, e2e::kPageText, false},
  };
  const std::string dir = e2e::fresh_dir("wizard-styles");
  Fixture fixture = destination_fixture(dir);
  fixture.keys.push_back({"URL", "http://example.com/"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  std::map<std::string, probe::StaticStyle> styles;
  int shown = 1;
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.name);
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
    EXPECT_EQ(OPAQUE, style.background_mode);
    EXPECT_TRUE(style.white_brush);
    styles[c.name] = style;
  }
  const probe::StaticStyle& title = styles["WelcomeTitle"];
  const probe::StaticStyle& text = styles["WelcomeText"];
  const probe::StaticStyle& link = styles["Link"];
  for (const auto& named : styles) {
    SCOPED_TRACE(named.first);
    EXPECT_EQ(text.face, named.second.face);
    EXPECT_EQ(named.first == "Link", named.second.underline);
    EXPECT_LE(named.second.height, title.height);
  }
  EXPECT_GE(title.weight, FW_BOLD);
  EXPECT_GE(styles["Title"].weight, FW_BOLD);
  EXPECT_LT(text.weight, FW_BOLD);
  EXPECT_LT(styles["Subtitle"].weight, FW_BOLD);
  EXPECT_LT(text.height, title.height);
  EXPECT_EQ(title.colour, link.colour);
  EXPECT_NE(text.colour, link.colour);
  wizard.process.kill();
}

LPARAM point_in(const RECT& r) {
  return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

TEST(WelcomePage, HandCursorOverTheLinkOnlyWhenThereIsAUrl) {
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
    ASSERT_TRUE(probe::cursor_is(page, e2e::kHandCursor, &hand, &failure)) << failure;
    EXPECT_FALSE(hand);
    ASSERT_TRUE(page.send(WM_MOUSEMOVE, 0, point_in(page.control(e2e::kLink).rect_in(page))));
    ASSERT_TRUE(probe::cursor_is(page, e2e::kHandCursor, &hand, &failure)) << failure;
    EXPECT_EQ(url[0] != 0, hand);
    wizard.process.kill();
  }
}

TEST(WelcomePage, PressOnTheLinkOpensTheWholeUrl) {
  const std::string dir = e2e::fresh_dir("wizard-link");
  const std::string url = "mailto:someone@example.com?subject=hello";
  e2e::ScopedShellHandlers handlers({"mailto"}, dir + "shell.log");
  ASSERT_TRUE(handlers.ok());
  Fixture fixture = destination_fixture(dir);
  fixture.keys.push_back({"URL", url});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  probe::Window page = wizard.wait_page(1);
  ASSERT_TRUE(page) << wizard.failure;
  EXPECT_EQ("someone@example.com", page.control_text(e2e::kLink));
  ASSERT_TRUE(page.post(WM_LBUTTONDOWN, MK_LBUTTON,
                        point_in(page.control(e2e::kLink).rect_in(page))));
  ASSERT_TRUE(handlers.wait_lines(1, e2e::kWizardWaitMs));
  EXPECT_EQ(0u, handlers.lines()[0].find("open|" + url + "|")) << handlers.lines()[0];
  wizard.process.kill();
}

TEST(ProgressPage, OpenFolderAsksTheShellToExploreTheDestination) {
  const std::string dir = e2e::fresh_dir("wizard-open-folder");
  e2e::ScopedShellHandlers handlers({}, dir + "shell.log");
  ASSERT_TRUE(handlers.ok());
  Fixture fixture = destination_fixture(dir + "out");
  fixture.keys.push_back({"AutoExtract", "1"});
  fixture.keys.push_back({"OpenFolder", "1"});
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  // The destination as the extraction left it, with its final backslash.
  ASSERT_TRUE(handlers.wait_lines(1, e2e::kWizardWaitMs));
  const std::vector<std::string> lines = handlers.lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(0u, lines[0].find("explore|" + dir + "out\\|")) << lines[0];
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
    // Nothing a paint makes (font, bitmap, memory DC) outlives it.
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

// The browse dialog walks the shell's namespace before it shows, which
// takes Wine under qemu-i386 on a busy machine longer than the wizard's own
// steps.
const unsigned kBrowseWaitMs = 60000;

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
    ASSERT_TRUE(wizard.wait_for(
        [&] {
          for (const probe::Window& w : wizard.process.windows({"", probe::kDialogClass, true})) {
            if (w.handle() != wizard.frame.handle()) browse = w;
          }
          return static_cast<bool>(browse);
        },
        "the browse dialog", kBrowseWaitMs))
        << wizard.failure;
    bool has_title = false;
    for (const probe::Window& child : browse.children()) {
      has_title |= child.text() == "请选择目的文件夹:";
    }
    EXPECT_TRUE(has_title);
    ASSERT_TRUE(wizard.answer_box(browse, c.press)) << wizard.failure;
    EXPECT_EQ(c.shown_after, page.control_text(e2e::kPathEdit));
    wizard.process.kill();
  }
}

}  // namespace

namespace {

TEST(ProgressPage, ExecHidesTheFrameAndDeleteCleansUpOnPage3) {
  const std::string dir = e2e::fresh_dir("wizard-exec-delete");
  const std::string out = dir + "out\\";
  e2e::Markers markers(dir + "markers\\");
  e2e::ScopedEnv marker_env("VANDREL_MARKER_DIR", dir + "markers");
  ASSERT_TRUE(e2e::make_dir(markers.dir));
  ASSERT_TRUE(markers.hold("hold.exe"));
  Fixture fixture = destination_fixture(dir + "out");
  fixture.entries = {e2e::file_entry("hold.exe", e2e::marker_program_bytes())};
  fixture.keys.push_back({"AutoExtract", "1"});
  fixture.keys.push_back({"Exec", "hold.exe"});
  fixture.keys.push_back({"Delete", "1"});
  // The cleanup's one removal waits until the page has been read.
  Wizard wizard;
  wizard.write_fault = "hold-rmdir";
  ASSERT_TRUE(wizard.start(dir, fixture, "目的测试")) << wizard.failure;
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  // Hidden while the program runs.
  ASSERT_TRUE(markers.wait_started("hold.exe", e2e::kWizardWaitMs));
  EXPECT_TRUE(wizard.wait_for([&] { return !wizard.frame.visible(); }, "the frame hidden"))
      << wizard.failure;
  EXPECT_TRUE(wizard.process.running());
  markers.release("hold.exe");
  // Shown again, for the cleanup, on page 3.
  ASSERT_TRUE(wizard.process.wait_held_removal(e2e::kWizardWaitMs)) << "no cleanup";
  EXPECT_TRUE(wizard.frame.visible());
  EXPECT_EQ("文件清理", wizard.frame.control_text(e2e::kTitle));
  EXPECT_EQ("删除临时文件", wizard.frame.control_text(e2e::kSubtitle));
  EXPECT_EQ("正在删除解压缩出来的文件。", wizard.page().control_text(e2e::kPageText));
  wizard.process.release_held();
  ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
  EXPECT_EQ(1, markers.starts("hold.exe"));
  EXPECT_FALSE(e2e::dir_exists(out));
}

}  // namespace
