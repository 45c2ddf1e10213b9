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

}  // namespace

namespace {

// What a user sees of one control: its text (null: not compared) and
// whether it can be pressed or typed into.
struct Shown {
  int id;
  const char* text;
  bool enabled;
};

// What the frame and the page show on each page.
struct PageState {
  int page;
  const char* title;
  const char* subtitle;
  bool back_enabled;
  bool next_enabled;
  std::vector<Shown> page_controls;
};

// Within a pixel: dialog units round to pixels.
bool inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left - 1 && inner.top >= outer.top - 1 &&
         inner.right <= outer.right + 1 && inner.bottom <= outer.bottom + 1;
}

bool overlap(const RECT& a, const RECT& b) {
  RECT common;
  return IntersectRect(&common, &a, &b) != 0;
}

RECT client_of(const probe::Window& window) {
  RECT r = {0, 0, 0, 0};
  GetClientRect(window.handle(), &r);
  return r;
}

bool is_line(const probe::Window& control) {
  return (GetWindowLongA(control.handle(), GWL_STYLE) & SS_TYPEMASK) == SS_ETCHEDHORZ;
}

// Every visible control of `dialog` lies wholly inside it, and none but a
// line covers another.
void expect_laid_out(const probe::Window& dialog, bool apart = true) {
  const RECT client = client_of(dialog);
  std::vector<probe::Window> shown;
  for (const probe::Window& child : dialog.children()) {
    if (!child.visible() || child.class_name() == probe::kDialogClass) continue;
    const RECT r = child.rect_in(dialog);
    // Placed out of sight is not shown.
    if (!overlap(r, client)) continue;
    // A line's edge may reach a pixel past the window's.
    if (is_line(child)) continue;
    EXPECT_TRUE(inside(r, client)) << child.id() << " sticks out of its window: (" << r.left
                                   << ", " << r.top << ")-(" << r.right << ", " << r.bottom
                                   << ") in " << client.right << " x " << client.bottom;
    if (!apart) continue;
    for (const probe::Window& other : shown) {
      EXPECT_FALSE(overlap(r, other.rect_in(dialog))) << child.id() << " covers " << other.id();
    }
    shown.push_back(child);
  }
}

bool in_sight(const probe::Window& control, const probe::Window& frame) {
  return control.visible() && overlap(control.rect_in(frame), client_of(frame));
}

void expect_page_state(const Wizard& wizard, const probe::Window& page, const PageState& s) {
  SCOPED_TRACE(s.page);
  const probe::Window& frame = wizard.frame;
  const bool header = s.page != 1;
  EXPECT_EQ(s.title, frame.control_text(e2e::kTitle));
  EXPECT_EQ(s.subtitle, frame.control_text(e2e::kSubtitle));
  for (int id : {e2e::kTitle, e2e::kSubtitle, e2e::kHeaderLine, e2e::kProductLabel}) {
    EXPECT_EQ(header, in_sight(frame.control(id), frame)) << id;
  }
  EXPECT_EQ(s.back_enabled, frame.control_enabled(e2e::kBack));
  EXPECT_EQ(s.next_enabled, frame.control_enabled(e2e::kNext));
  EXPECT_TRUE(frame.control_enabled(e2e::kCancel));
  const Shown buttons[] = {{e2e::kBack, "< 上一步", s.back_enabled},
                           {e2e::kNext, nullptr, s.next_enabled},
                           {e2e::kCancel, "取消", true}};
  for (const Shown& b : buttons) {
    if (b.text) {
      EXPECT_EQ(b.text, frame.control_text(b.id));
    }
  }
  // The buttons in one row, Back, Next, Cancel from left to right, below the
  // page and the line above them.
  const RECT back = frame.control_rect(e2e::kBack);
  const RECT next = frame.control_rect(e2e::kNext);
  const RECT cancel = frame.control_rect(e2e::kCancel);
  EXPECT_EQ(back.top, next.top);
  EXPECT_EQ(next.top, cancel.top);
  EXPECT_LT(back.left, next.left);
  EXPECT_LT(next.right, cancel.left);
  EXPECT_LE(frame.control_rect(e2e::kButtonLine).bottom, back.top);
  EXPECT_LT(page.screen_rect().bottom, back.top);
  if (header) {
    // The page sits below the header band, right of the title's start.
    EXPECT_LE(frame.control_rect(e2e::kHeaderLine).bottom, page.screen_rect().top);
    EXPECT_LE(frame.control_rect(e2e::kSubtitle).bottom, frame.control_rect(e2e::kHeaderLine).top);
    EXPECT_LT(frame.control_rect(e2e::kTitle).top, frame.control_rect(e2e::kSubtitle).top);
    EXPECT_LT(frame.control_rect(e2e::kTitle).left, frame.control_rect(e2e::kSubtitle).left);
  } else {
    // The welcome page covers the frame from its top left corner.
    RECT r = page.rect_in(frame);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
  }
  // The header's title and subtitle may share a line of pixels.
  expect_laid_out(frame, false);
  expect_laid_out(page);
  for (const probe::Window& button : {frame.control(e2e::kBack), frame.control(e2e::kNext),
                                      frame.control(e2e::kCancel)}) {
    EXPECT_TRUE(inside(button.rect_in(frame), client_of(frame)));
    EXPECT_FALSE(overlap(button.screen_rect(), page.screen_rect()));
  }
  for (const Shown& c : s.page_controls) {
    SCOPED_TRACE(c.id);
    probe::Window control = page.control(c.id);
    ASSERT_TRUE(control);
    EXPECT_TRUE(in_sight(control, page));
    EXPECT_EQ(c.enabled, control.enabled());
    if (c.text) {
      EXPECT_EQ(c.text, control.text());
    }
  }
}

TEST(WizardSequence, PagesOneTwoThreeShowTheirControls) {
  const std::string dir = e2e::fresh_dir("wizard-sequence");
  const std::string out = dir + "out";
  ASSERT_TRUE(e2e::make_dir(out));
  Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, held_on_page_3(out), "测试程序")) << wizard.failure;

  probe::Window page = wizard.wait_page(1);
  ASSERT_TRUE(page) << wizard.failure;
  expect_page_state(wizard, page,
                    {1, "", "", false, true,
                     {{e2e::kWelcomeTitle, "测试程序", true},
                      {e2e::kWelcomeText, "", true},
                      {e2e::kLink, "", true}}});
  EXPECT_EQ("下一步 >", wizard.frame.control_text(e2e::kNext));
  // The frame has a caption with a close box and keeps its size.
  const LONG frame_style = GetWindowLongA(wizard.frame.handle(), GWL_STYLE);
  EXPECT_EQ(WS_CAPTION | WS_SYSMENU, frame_style & (WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(0, frame_style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
  // The payload's text as the system holds it, whatever the ANSI code page.
  wchar_t title[32] = L"";
  GetWindowTextW(page.control(e2e::kWelcomeTitle).handle(), title, 32);
  EXPECT_STREQ(L"测试程序", title);

  ASSERT_TRUE(wizard.next());
  page = wizard.wait_page(2);
  ASSERT_TRUE(page) << wizard.failure;
  expect_page_state(
      wizard, page,
      {2, "解压缩路径", "选择解压缩的目的目录。", true, true,
       {{e2e::kPageText,
         "请选择你想要解压缩的目的文件夹。如果该文件夹不存在的话，程序还可为你创建。", true},
        {e2e::kPathEdit, out.c_str(), true},
        {e2e::kBrowse, "浏览(&B)", true},
        {e2e::kCreateBox, "如果此目录不存在则创建(&C)", true}}});
  EXPECT_EQ(" Vandrel ", wizard.frame.control_text(e2e::kProductLabel));

  ASSERT_TRUE(wizard.next());
  page = wizard.wait_page(3);
  ASSERT_TRUE(page) << wizard.failure;
  // The second entry cannot be written: the fatal box holds page 3 still.
  probe::Window box;
  probe::MessageBoxInfo info;
  ASSERT_TRUE(wizard.read_box("Vandrel 错误", &box, &info)) << wizard.failure;
  EXPECT_EQ(e2e::fatal_text_prefix(kCannotExtract), info.text.substr(0, e2e::fatal_text_prefix(kCannotExtract).size()));
  expect_page_state(wizard, page,
                    {3, "正在解压缩文件", "本程序正在解压缩此压缩档内的文件。", false, false,
                     {{e2e::kPageText, "请稍候，本程序正在解压缩此压缩包内的文件。", true},
                      {e2e::kProgressBar, nullptr, true},
                      {e2e::kStatusLine, "正在解压缩 blocked/x.txt ...", true}}});
  probe::Progress progress;
  ASSERT_TRUE(page.progress(e2e::kProgressBar, &progress));
  EXPECT_EQ(0, progress.low);
  EXPECT_EQ(2, progress.high);
  EXPECT_EQ(1, progress.pos);
  ASSERT_TRUE(wizard.answer_box(box, probe::kOk)) << wizard.failure;
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
    ASSERT_TRUE(wizard.answer_box(box, probe::kOk)) << wizard.failure;
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

// Ways out of the wizard: none asks a question but Esc.
enum class Quit { cancel_button, close_box, alt_f4, escape_yes, escape_no };

// When the quit comes on page 3.
enum class Stage {
  extracting,       // while big.bin is written
  extraction_ends,  // the question stays open while the extraction ends
  exec_wait,        // while the Exec program runs, the frame hidden
  cleanup,          // while the cleanup deletes, the frame shown again
};

struct QuitCase {
  const char* name;
  Quit way;
  int page;
  Stage stage = Stage::extracting;
  // Makes the program's writes fail or wait (see kProbeWriteFaultEnv).
  const char* write_fault = "";
  // After a No during the extraction's end: Esc and No again while the
  // cleanup runs.
  bool again_in_cleanup = false;
};

// How often the Exec program is started: once when the extraction ends
// before the quit takes effect, never after a Yes that comes first.
int exec_starts(const QuitCase& c) {
  return c.stage == Stage::extraction_ends && c.way == Quit::escape_yes ? 0 : 1;
}

// How often the folder is opened: after the program has ended.
size_t folder_opens(const QuitCase& c) {
  return c.stage == Stage::exec_wait ? 0 : static_cast<size_t>(exec_starts(c));
}

const QuitCase kQuitCases[] = {
    {"CancelOnPage1", Quit::cancel_button, 1}, {"CloseBoxOnPage1", Quit::close_box, 1},
    {"AltF4OnPage1", Quit::alt_f4, 1},         {"EscYesOnPage1", Quit::escape_yes, 1},
    {"CancelOnPage2", Quit::cancel_button, 2}, {"CloseBoxOnPage2", Quit::close_box, 2},
    {"AltF4OnPage2", Quit::alt_f4, 2},         {"EscYesOnPage2", Quit::escape_yes, 2},
    {"CancelOnPage3", Quit::cancel_button, 3}, {"CloseBoxOnPage3", Quit::close_box, 3},
    {"AltF4OnPage3", Quit::alt_f4, 3},
    // The question stays open while the user reads it: a slow write keeps
    // big.bin unfinished until Yes, however busy the machine.
    {"EscYesOnPage3", Quit::escape_yes, 3, Stage::extracting, "4,0,slow"},
    // after.exe's write waits until the question is open.
    {"EscYesAsExtractionEnds", Quit::escape_yes, 3, Stage::extraction_ends, "3,0,slow"},
    {"EscNoAsExtractionEnds", Quit::escape_no, 3, Stage::extraction_ends, "3,0,slow"},
    {"EscNoAsExtractionEndsThenEscNoInCleanup", Quit::escape_no, 3, Stage::extraction_ends,
     "3,0,slow+hold-rmdir", true},
    // The quit comes while big.bin's second block takes longer to write than
    // the quit would wait for it: the file goes all the same.
    {"CancelDuringSlowWrite", Quit::cancel_button, 3, Stage::extracting, "4,0,slow"},
    // A close request from another program while the frame is hidden.
    {"CloseBoxDuringExec", Quit::close_box, 3, Stage::exec_wait},
    {"CancelDuringCleanup", Quit::cancel_button, 3, Stage::cleanup, "hold-rmdir"},
    {"EscYesDuringCleanup", Quit::escape_yes, 3, Stage::cleanup, "hold-rmdir"},
};

// Large enough to be caught while it is written; zeros, so that the archive
// stays small.
const size_t kBigEntrySize = 256u << 20;

// Presses Esc and answers the question that follows.
void escape_and_answer(Wizard* wizard, int answer) {
  ASSERT_TRUE(wizard->press_escape());
  probe::Window box;
  probe::MessageBoxInfo info;
  ASSERT_TRUE(wizard->read_box("确认退出", &box, &info)) << wizard->failure;
  ASSERT_TRUE(wizard->answer_box(box, answer)) << wizard->failure;
}

void quit(Wizard* wizard, Quit way) {
  switch (way) {
    case Quit::cancel_button:
      ASSERT_TRUE(wizard->frame.click(e2e::kCancel));
      break;
    case Quit::close_box:
      ASSERT_TRUE(wizard->frame.post(WM_CLOSE, 0, 0));
      break;
    case Quit::alt_f4:
      ASSERT_TRUE(wizard->frame.post(WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29)));
      break;
    case Quit::escape_yes:
    case Quit::escape_no:
      escape_and_answer(wizard, way == Quit::escape_yes ? probe::kYes : probe::kNo);
      break;
  }
}

class QuitTest : public ::testing::TestWithParam<QuitCase> {};

TEST_P(QuitTest, EndsWithCode1AndLeavesOnlyCompleteEntries) {
  const QuitCase& c = GetParam();
  const std::string dir = e2e::fresh_dir(std::string("wizard-quit-") + c.name);
  const std::string out = dir + "out\\";
  ASSERT_TRUE(e2e::make_dir(out));
  e2e::Markers markers(dir + "markers\\");
  e2e::ScopedEnv marker_env("VANDREL_MARKER_DIR", dir + "markers");
  ASSERT_TRUE(e2e::make_dir(markers.dir));
  e2e::ScopedShellHandlers handlers({}, dir + "shell.log");
  ASSERT_TRUE(handlers.ok());
  const bool big = c.page == 3 && c.stage == Stage::extracting;
  Fixture fixture = wizard_fixture(dir + "out");
  static std::string with_big_entry;
  if (big && with_big_entry.empty()) {
    fixture.entries = {e2e::file_entry("first.txt", "complete"),
                       e2e::file_entry("big.bin", std::string(kBigEntrySize, '\0')),
                       e2e::file_entry("last.txt", "never written")};
    // The destination is the same for every case: "out" beside the file.
    fixture.keys = {{"Name", "测试程序"}, {"DefaultPath", "out"}};
    fixture.level = 1;
    with_big_entry = e2e::sfx_bytes(fixture);
  }
  if (c.page == 3 && !big) {
    // The cleanup goes newest first: the directory is its first removal,
    // and after.exe is still there while that removal is held.
    fixture.entries = {e2e::file_entry("first.txt", "complete"),
                       e2e::file_entry("after.exe", e2e::marker_program_bytes()),
                       e2e::dir_entry("docs/")};
    fixture.keys.push_back({"Exec", "$targetdir$\\after.exe"});
    fixture.keys.push_back({"OpenFolder", "1"});
    if (c.stage == Stage::cleanup || c.again_in_cleanup) fixture.keys.push_back({"Delete", "1"});
    if (c.stage == Stage::exec_wait) {
      ASSERT_TRUE(markers.hold("after.exe"));
    }
  }
  Wizard wizard;
  wizard.write_fault = c.write_fault;
  if (big) {
    ASSERT_TRUE(wizard.start_bytes(dir, with_big_entry, "测试程序")) << wizard.failure;
  } else {
    ASSERT_TRUE(wizard.start(dir, fixture, "测试程序")) << wizard.failure;
  }
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  for (int page = 2; page <= c.page; ++page) {
    ASSERT_TRUE(wizard.next());
    ASSERT_TRUE(wizard.wait_page(page)) << wizard.failure;
  }

  if (c.page != 3) {
    quit(&wizard, c.way);
  } else switch (c.stage) {
    case Stage::extracting:
      if (c.write_fault[0]) {
        // Well into the slow write of big.bin's second block.
        ASSERT_TRUE(wizard.process.wait_slow_write(e2e::kWizardWaitMs)) << "no slow write";
      } else {
        ASSERT_TRUE(wizard.wait_for(
            [&] {
              WIN32_FILE_ATTRIBUTE_DATA data = {};
              return GetFileAttributesExW(probe::to_wide(out + "big.bin").c_str(),
                                          GetFileExInfoStandard, &data) &&
                     data.nFileSizeLow > 0;
            },
            "big.bin growing"))
            << wizard.failure;
      }
      quit(&wizard, c.way);
      break;
    case Stage::extraction_ends: {
      // after.exe's slow write has begun: the extraction's worker runs.
      ASSERT_TRUE(wizard.process.wait_slow_write(e2e::kWizardWaitMs)) << "no slow write";
      const std::vector<DWORD> before_workers = {wizard.process.main_thread_id()};
      ASSERT_TRUE(wizard.press_escape());
      probe::Window box;
      probe::MessageBoxInfo info;
      ASSERT_TRUE(wizard.read_box("确认退出", &box, &info)) << wizard.failure;
      // The worker ends once it has handed its Next to the frame; what the
      // frame was posted before our own message has been handled when ours
      // has.
      ASSERT_TRUE(wizard.process.wait_own_threads_ended(before_workers, e2e::kWizardWaitMs))
          << "the extraction never ended";
      ASSERT_TRUE(wizard.flush_posted()) << wizard.failure;
      // The Exec step hides the frame before it starts the program.
      EXPECT_TRUE(box.visible());
      EXPECT_TRUE(wizard.frame.visible());
      EXPECT_EQ(0, markers.starts("after.exe"));
      ASSERT_TRUE(wizard.answer_box(box, c.way == Quit::escape_yes ? probe::kYes : probe::kNo))
          << wizard.failure;
      if (c.again_in_cleanup) {
        ASSERT_TRUE(wizard.process.wait_held_removal(e2e::kWizardWaitMs)) << "no cleanup";
        escape_and_answer(&wizard, probe::kNo);
        // Whatever the No starts has begun once the frame handles a later
        // message; the cleanup, still held, has deleted nothing yet.
        ASSERT_TRUE(wizard.flush_posted()) << wizard.failure;
        wizard.process.release_held();
      }
      break;
    }
    case Stage::exec_wait:
      ASSERT_TRUE(markers.wait_started("after.exe", e2e::kWizardWaitMs));
      ASSERT_TRUE(wizard.wait_for([&] { return !wizard.frame.visible(); }, "the frame hidden"))
          << wizard.failure;
      quit(&wizard, c.way);
      markers.release("after.exe");
      break;
    case Stage::cleanup:
      ASSERT_TRUE(wizard.process.wait_held_removal(e2e::kWizardWaitMs)) << "no cleanup";
      EXPECT_EQ("文件清理", wizard.frame.control_text(e2e::kTitle));
      quit(&wizard, c.way);
      wizard.process.release_held();
      break;
  }

  // Every box was answered: none is left to see.
  EXPECT_EQ("", e2e::boxes_until_exit(&wizard));
  ASSERT_TRUE(wizard.exit.ended) << wizard.exit.failure;
  EXPECT_EQ(1u, wizard.exit.code);
  if (c.page != 3) {
    EXPECT_EQ(std::vector<std::string>(), e2e::list_tree(out));
  } else if (big) {
    // The file cut short is gone; what was complete stays.
    EXPECT_EQ(std::vector<std::string>({"first.txt"}), e2e::list_tree(out));
  } else {
    // What follows the extraction runs once at most, whatever was pressed;
    // what the wizard started has done its work once it has ended.
    EXPECT_TRUE(e2e::wait_children_ended(wizard.process.pid(), e2e::kRunTimeoutMs));
    EXPECT_EQ(exec_starts(c), markers.starts("after.exe"));
    if (folder_opens(c) > 0) {
      EXPECT_TRUE(handlers.wait_lines(folder_opens(c), e2e::kWizardWaitMs));
    }
    EXPECT_EQ(folder_opens(c), handlers.lines().size());
    if (c.stage == Stage::extraction_ends && !c.again_in_cleanup) {
      EXPECT_EQ(c.way == Quit::escape_no, markers.done("after.exe"));
      EXPECT_EQ(std::vector<std::string>({"after.exe", "docs/", "first.txt"}),
                e2e::list_tree(out));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Wizard, QuitTest, ::testing::ValuesIn(kQuitCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
