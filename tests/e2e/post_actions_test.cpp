// What a silent run does after extraction, end to end under Wine: shortcuts
// read back through the shell's link object, the Exec launch observed by the
// programs and handlers it starts, the cleanup and the folder request.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "../host/forge.h"
#include "harness.h"
#include "shell_env.h"
#include "wizard_harness.h"

namespace {

using e2e::file_entry;

const unsigned kAsyncTimeoutMs = 10000;

using e2e::Site;
using e2e::expect_silent_end;
using e2e::parent_of;

std::string without_trailing_backslash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

bool same_path(const std::string& a, const std::string& b) {
  return lstrcmpiW(probe::to_wide(without_trailing_backslash(a)).c_str(),
                   probe::to_wide(without_trailing_backslash(b)).c_str()) == 0;
}

// The names of `tree` (as list_tree gives them) that lie directly in its folder.
std::vector<std::string> top_level(const std::vector<std::string>& tree) {
  std::vector<std::string> top;
  for (const std::string& name : tree) {
    size_t slash = name.find('/');
    if (slash == std::string::npos || slash == name.size() - 1) top.push_back(name);
  }
  return top;
}

// --- Shortcuts ---------------------------------------------------------------

TEST(Shortcuts, ValuesBecomeLinksFromTheHighestKeyDown) {
  Site site("shortcuts-links");
  e2e::ScopedShellFolders folders(site.dir);
  ASSERT_TRUE(folders.ok());
  const std::string desktop = folders.folder("Desktop");
  const std::string programs = folders.folder("Programs");

  struct Case {
    const char* value;
    std::string link;    // empty: no link may be written for it
    std::string target;  // expected target; its folder is the working directory
  };
  const std::vector<Case> cases = {
      // Written last, over the link of the highest key: its target stays.
      {"$desktop$\\Same.lnk|$targetdir$\\zero.exe|", desktop + "Same.lnk", site.out + "zero.exe"},
      {"$desktop$\\App.lnk|$targetdir$\\bin\\app.exe|", desktop + "App.lnk",
       site.out + "bin\\app.exe"},
      {"$startmenu$\\新的组\\工具.lnk|$targetdir$\\tool.exe|extra|bars|",
       programs + "新的组\\工具.lnk", site.out + "tool.exe"},
      {"$desktop$\\Later.lnk|$targetdir$\\not\\yet\\later.exe|", desktop + "Later.lnk",
       site.out + "not\\yet\\later.exe"},
      {"$curdir$\\Here.lnk|%targetdir%\\zero.exe|", site.dir + "Here.lnk", site.out + "zero.exe"},
      {"|$targetdir$\\zero.exe|", "", ""},
      {"$desktop$\\NoTarget.lnk||", "", ""},
      {"$desktop$\\NoTarget2.lnk||$targetdir$\\zero.exe|", "", ""},
      {"$desktop$\\NoClosingBar.lnk|$targetdir$\\zero.exe", "", ""},
      {"NoBackslash.lnk|$targetdir$\\zero.exe|", "", ""},
      // The trail byte of 奬 is a backslash's byte, not a separator.
      {"$desktop$\\一等奬.lnk|$targetdir$\\zero.exe|", desktop + "一等奬.lnk",
       site.out + "zero.exe"},
      {"一等奬.lnk|$targetdir$\\zero.exe|", "", ""},
      // Targets whose last character ends in a backslash's byte (乗) or a
      // bar's (億): the working directory is the folder before it.
      {"$desktop$\\乗.lnk|$targetdir$\\嘰\\乗|", desktop + "乗.lnk", site.out + "嘰\\乗"},
      {"$desktop$\\億.lnk|$targetdir$\\億|", desktop + "億.lnk", site.out + "億"},
      // Folders and names outside the ANSI code pages 1252 (Ω) and 932 (é).
      {"$desktop$\\Ωé 目录\\快捷 é.lnk|$targetdir$\\Ωé 目录\\zero.exe|",
       desktop + "Ωé 目录\\快捷 é.lnk", site.out + "Ωé 目录\\zero.exe"},
      {"$desktop$\\Same.lnk|$targetdir$\\highest.exe|", desktop + "Same.lnk",
       site.out + "zero.exe"},
  };
  // An Exec value makes target_dir the current directory, but only after the
  // shortcuts: $curdir$ in them is still the folder the file was started from.
  // It ends in no launch group, so nothing is launched.
  vpack::KeyList keys = {{"Exec", "zero.dat"}};
  for (size_t i = 0; i < cases.size(); ++i) {
    keys.push_back({"Shortcut" + std::to_string(i), cases[i].value});
  }
  ASSERT_TRUE(site.write(keys, {file_entry("zero.exe", "z"), file_entry("bin/app.exe", "a"),
                                file_entry("tool.exe", "t")}));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));

  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    if (c.link.empty()) continue;
    probe::ShellLinkInfo link;
    std::string failure;
    ASSERT_TRUE(probe::read_shell_link(c.link, &link, &failure)) << failure;
    EXPECT_EQ(c.target, link.target);
    EXPECT_EQ(parent_of(c.target), link.working_directory);
    EXPECT_EQ("", link.arguments);
    EXPECT_EQ("", link.description);
    EXPECT_EQ("", link.icon_path);
    EXPECT_EQ(0, link.hotkey);
    EXPECT_EQ(SW_SHOWNORMAL, link.show_command);
  }
  // Exactly the expected links: the skipped values wrote nothing anywhere.
  EXPECT_EQ(std::vector<std::string>(
                {"App.lnk", "Later.lnk", "Same.lnk", "乗.lnk", "億.lnk", "Ωé 目录/",
                 "Ωé 目录/快捷 é.lnk", "一等奬.lnk"}),
            e2e::list_tree(desktop));
  EXPECT_EQ(std::vector<std::string>({"新的组/", "新的组/工具.lnk"}), e2e::list_tree(programs));
  EXPECT_EQ(std::vector<std::string>({"Here.lnk", "markers/", "out/", "profile/", "t.exe"}),
            top_level(e2e::list_tree(site.dir)));
  // The missing target folder was made, and stays although nothing fills it.
  EXPECT_TRUE(e2e::dir_exists(site.out + "not\\yet"));
  EXPECT_EQ(std::vector<std::string>(), e2e::list_tree(site.out + "not\\yet"));
}

TEST(Shortcuts, NoKeysTouchNeitherComNorTheDisk) {
  Site site("shortcuts-none");
  e2e::ScopedShellFolders folders(site.dir);
  ASSERT_TRUE(folders.ok());
  ASSERT_TRUE(site.write({{"Exec", "setup.exe"}},
                         {file_entry("setup.exe", e2e::marker_program_bytes())}));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  ASSERT_TRUE(site.markers.started("setup.exe"));
  // The launched program looked at the stub while it waited.
  EXPECT_EQ("0", site.markers.value("setup.exe", "parent_ole32"));
  for (const char* name : {"Desktop", "Programs", "Start Menu", "Startup", "SendTo"}) {
    EXPECT_EQ(std::vector<std::string>(), e2e::list_tree(folders.folder(name))) << name;
  }
}

// --- Exec --------------------------------------------------------------------

// A program the system refuses to start: the marker program made for
// another processor (IA-64).
std::string foreign_program_bytes() {
  return forge::with_machine(e2e::marker_program_bytes(), 0x0200);
}

TEST(Exec, PeProgramRunsInTargetDirAndIsWaitedFor) {
  const struct {
    const char* name;
    const char* exec;
    bool delete_after;
    const char* program = "setup.exe";
    bool wizard = false;  // through the wizard's pages rather than silently
  } cases[] = {
      {"Relative", "setup.exe", false},
      {"TargetdirCapitals", "$targetdir$\\SETUP.EXE", false},
      {"Curdir", "$curdir$\\setup.exe", false},
      {"ThenCleanup", "setup.exe", true},
      // The program's broadcast waits for the stub's windows while the stub
      // waits for the program.
      {"BroadcastingProgram", "broadcast.exe", false, "broadcast.exe"},
      {"BroadcastingProgramInWizard", "broadcast.exe", false, "broadcast.exe", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Site site(std::string("exec-pe-") + c.name);
    vpack::KeyList keys = {{"Exec", c.exec}, {"Delete", c.delete_after ? "1" : "0"}};
    std::vector<vpack::Entry> entries = {file_entry(c.program, e2e::marker_program_bytes()),
                                         file_entry("data.txt", "d")};
    if (c.wizard) {
      e2e::Fixture fixture;
      fixture.keys = {{"Name", "执行测试"}, {"DefaultPath", site.dir + "out"}, {"AutoExtract", "1"}};
      fixture.keys.insert(fixture.keys.end(), keys.begin(), keys.end());
      fixture.entries = entries;
      e2e::Wizard wizard;
      ASSERT_TRUE(wizard.start(site.dir, fixture, "执行测试")) << wizard.failure;
      ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
      ASSERT_TRUE(wizard.next());
      ASSERT_TRUE(wizard.ended_with_1()) << wizard.failure;
    } else {
      ASSERT_TRUE(site.write(keys, entries));
      expect_silent_end(e2e::run_silent(site.exe, site.dir));
    }
    // Written a second after the start: the stub waited for the program.
    EXPECT_TRUE(site.markers.done(c.program));
    EXPECT_TRUE(same_path(site.out, site.markers.value(c.program, "cwd")))
        << site.markers.value(c.program, "cwd");
    EXPECT_TRUE(same_path(site.out + c.program, site.markers.value(c.program, "self")))
        << site.markers.value(c.program, "self");
    EXPECT_EQ(!c.delete_after, e2e::file_exists(site.out + "data.txt"));
    EXPECT_EQ(!c.delete_after, e2e::dir_exists(site.out));
  }
}

TEST(Exec, ProgramNamedByTheCommandRunsNotOneAtAShorterPath) {
  // A relative name is looked for beside the stub before target_dir, and a
  // path with a blank is tried cut at the blank first.
  const struct {
    const char* name;
    const char* site;
    const char* exec;
    const char* decoy;  // relative to the site's parent folder
    const char* real;   // the program that must run, as its marker names it
  } cases[] = {
      {"RelativeName", "exec-relative", "setup.exe", "exec-relative\\setup.exe", "setup.exe"},
      {"BlankInPath", "exec decoy", "$targetdir$\\setup.exe", "exec.exe", "setup.exe"},
      {"BatchWithBlankInPath", "batch decoy", "$targetdir$\\install.bat", "batch.exe",
       "install.bat"},
      // A folder outside the ANSI code pages 1252 (Ω) and 932 (é).
      {"OutsideAnsiCodePage", "exec Ωé 目录", "$targetdir$\\setup.exe", "exec.exe", "setup.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Site site(c.site);
    const std::string parent = site.dir.substr(0, site.dir.rfind('\\', site.dir.size() - 2) + 1);
    const std::string decoy = parent + c.decoy;
    ASSERT_TRUE(e2e::write_file(decoy, e2e::marker_program_bytes()));
    ASSERT_TRUE(site.write(
        {{"Exec", c.exec}},
        {file_entry("setup.exe", e2e::marker_program_bytes()),
         file_entry("install.bat",
                    "@echo cwd=%CD%> \"%VANDREL_MARKER_DIR%\\install.bat.started\"\r\n")}));
    expect_silent_end(e2e::run_silent(site.exe, site.dir));
    EXPECT_TRUE(site.markers.wait_started(c.real, kAsyncTimeoutMs));
    const std::string decoy_name = decoy.substr(decoy.rfind('\\') + 1);
    // The program that ran is the extracted one, in the folder as named.
    if (std::string(c.real) == "setup.exe") {
      EXPECT_TRUE(same_path(site.out + c.real, site.markers.value(c.real, "self")))
          << site.markers.value(c.real, "self");
    }
    if (decoy_name != c.real) {
      EXPECT_FALSE(site.markers.started(decoy_name));
    }
    e2e::remove_tree(decoy);
  }
}

TEST(Exec, FallbackLauncherKeepsTheCleanupFromStarting) {
  const struct {
    const char* name;
    const char* exec;
    bool runs;
  } cases[] = {
      {"BatchFile", "install.bat", true},
      {"MissingProgram", "setup.exe", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Site site(std::string("exec-fallback-") + c.name);
    ASSERT_TRUE(site.write(
        {{"Exec", c.exec}, {"Delete", "1"}},
        {file_entry("install.bat",
                    "@echo cwd=%CD%> \"%VANDREL_MARKER_DIR%\\install.bat.started\"\r\n"),
         file_entry("data.txt", "d")}));
    expect_silent_end(e2e::run_silent(site.exe, site.dir));
    if (c.runs) {
      EXPECT_TRUE(site.markers.wait_started("install.bat", kAsyncTimeoutMs));
      EXPECT_TRUE(same_path(site.out, site.markers.value("install.bat", "cwd")))
          << site.markers.value("install.bat", "cwd");
    }
    // A cleanup started keeps the process until it has ended: the files it
    // would delete are there once the process has ended.
    EXPECT_EQ(std::vector<std::string>({"data.txt", "install.bat"}), e2e::list_tree(site.out));
  }
}

TEST(Exec, DocumentsOpenThroughTheShellAndOtherEndingsLaunchNothing) {
  const struct {
    const char* exec;
    const char* opened;  // null: nothing may be launched
  } cases[] = {
      {"readme.txt", "readme.txt"},   {"index.html", "index.html"},
      {"help.chm", "help.chm"},       {"$targetdir$\\README.TXT", "README.TXT"},
      {"notes.docx", nullptr},        {"picture.png", nullptr},
      // The INI reader takes one pair of enclosing quotes off: the stub
      // reads "app.exe" with its quotes.
      {"app.exe /x", nullptr},        {"\"\"app.exe\"\"", nullptr},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exec);
    Site site("exec-document-" + std::to_string(index++));
    e2e::ScopedShellHandlers handlers({".txt", ".html", ".chm", ".docx", ".png"},
                                      site.dir + "shell.log");
    ASSERT_TRUE(handlers.ok());
    ASSERT_TRUE(site.write({{"Exec", c.exec}},
                           {file_entry("readme.txt", "r"), file_entry("index.html", "i"),
                            file_entry("help.chm", "h"), file_entry("notes.docx", "n"),
                            file_entry("picture.png", "p"),
                            file_entry("app.exe", e2e::marker_program_bytes())}));
    const e2e::SilentRun run = e2e::run_silent(site.exe, site.dir);
    expect_silent_end(run);
    if (c.opened) {
      ASSERT_TRUE(handlers.wait_lines(1, kAsyncTimeoutMs));
      std::vector<std::string> lines = handlers.lines();
      ASSERT_EQ(1u, lines.size());
      const std::string& line = lines[0];
      EXPECT_EQ(0u, line.find("open|")) << line;
      const std::string file = line.substr(5, line.find('|', 5) - 5);
      EXPECT_TRUE(same_path(site.out + c.opened, file)) << line;
      EXPECT_TRUE(same_path(site.out, line.substr(line.find("|cwd=") + 5))) << line;
    } else {
      // Anything launched has done its work once it has ended.
      EXPECT_TRUE(e2e::wait_children_ended(run.pid, e2e::kRunTimeoutMs));
      EXPECT_EQ(std::vector<std::string>(), handlers.lines());
      EXPECT_FALSE(site.markers.started("app.exe"));
    }
  }
}

TEST(Exec, ProgramTheSystemRefusesShowsTheMessageThenTheCleanupRuns) {
  const std::string plain_dir = e2e::fresh_dir("exec-refused");
  // The command runs to 257 bytes, 253 characters: the message is cut.
  const std::string long_root = e2e::fresh_dir("exec-refused-long");
  const std::string long_out =
      long_root + std::string(239 - long_root.size(), 'a') + "长路径名\\";
  ASSERT_EQ(257u, (long_out + "setup.exe").size());
  const std::string cases[] = {plain_dir + "out\\", long_out};
  for (const std::string& out : cases) {
    SCOPED_TRACE(out);
    const std::string dir = out == long_out ? long_root : plain_dir;
    const std::string exe = dir + "t.exe";
    e2e::Fixture fixture;
    fixture.keys = {{"NoGUI", "1"}, {"DefaultPath", out.substr(0, out.size() - 1)},
                    {"Exec", "$targetdir$\\setup.exe"}, {"Delete", "1"}};
    fixture.entries = {file_entry("setup.exe", foreign_program_bytes())};
    ASSERT_TRUE(e2e::write_file(exe, e2e::sfx_bytes(fixture)));

    e2e::FatalRun run = e2e::run_expecting_box(exe, dir);
    ASSERT_TRUE(run.box_seen) << run.failure;
    EXPECT_EQ("错误", run.box.caption);
    EXPECT_EQ(probe::IconStyle::error, run.box.icon) << probe::icon_style_name(run.box.icon);
    // The message names the command; a long one is cut short, after the
    // folder.
    const std::string whole = "不能执行 " + out + "setup.exe。";
    if (out == long_out) {
      EXPECT_LT(run.box.text.size(), whole.size());
      EXPECT_EQ(0u, whole.find(run.box.text)) << run.box.text;
      EXPECT_EQ(0u, run.box.text.find("不能执行 " + long_out)) << run.box.text;
    } else {
      EXPECT_EQ(whole, run.box.text);
    }
    ASSERT_TRUE(run.exit.ended) << run.exit.failure;
    EXPECT_EQ(1u, run.exit.code);
    // The cleanup ran once the box was closed.
    EXPECT_FALSE(e2e::dir_exists(out));
  }
}

// --- Cleanup -----------------------------------------------------------------

TEST(Cleanup, DeletesWhatWasExtractedBeforeTheProcessEnds) {
  const struct {
    const char* name;
    std::vector<vpack::Entry> entries;
    const char* held;  // a file another process holds open, or null
    std::vector<std::string> remains;  // below target_dir; empty: target_dir gone
  } cases[] = {
      {"ListedDirectories",
       {e2e::dir_entry("docs/"), file_entry("docs/a.txt", "a"), e2e::dir_entry("docs/sub/"),
        file_entry("docs/sub/b.txt", "b"), file_entry("c.txt", "c"),
        file_entry("setup.exe", e2e::marker_program_bytes())},
       nullptr,
       {}},
      {"UnlistedDirectory",
       {file_entry("docs/a.txt", "a"), file_entry("c.txt", "c"),
        file_entry("setup.exe", e2e::marker_program_bytes())},
       nullptr,
       {"docs/"}},
      {"FileHeldOpen",
       {file_entry("x.txt", "x"), file_entry("y.txt", "y"),
        file_entry("setup.exe", e2e::marker_program_bytes())},
       "y.txt",
       {"y.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Site site(std::string("cleanup-") + c.name);
    ASSERT_TRUE(site.write({{"Exec", "setup.exe"}, {"Delete", "1"}}, c.entries));

    probe::ProbeProcess process;
    std::string failure;
    const DWORD start = GetTickCount();
    ASSERT_TRUE(process.start(site.exe, "", site.dir, &failure)) << failure;
    // While the program runs, every file is extracted and none deleted yet.
    ASSERT_TRUE(site.markers.wait_started("setup.exe", kAsyncTimeoutMs));
    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.held) {
      held = CreateFileW(probe::to_wide(site.out + c.held).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, held);
    }
    probe::ExitResult exit = process.wait_exit(e2e::kRunTimeoutMs);
    const DWORD elapsed = GetTickCount() - start;
    // Checked before the handle is closed, the moment the process has ended.
    std::vector<std::string> left = e2e::list_tree(site.out);
    const bool out_left = e2e::dir_exists(site.out);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

    ASSERT_TRUE(exit.ended) << exit.failure;
    EXPECT_EQ(1u, exit.code);
    // The program's second, the cleanup's two pauses of 500 ms.
    EXPECT_GE(elapsed, 2000u);
    EXPECT_EQ(c.remains, left);
    EXPECT_EQ(!c.remains.empty(), out_left);
  }
}

// --- OpenFolder --------------------------------------------------------------

TEST(OpenFolder, ExploreRequestForTargetDirReachesTheShell) {
  const struct {
    const char* name;
    bool delete_after;
  } cases[] = {{"Alone", false}, {"WithCleanup", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Site site(std::string("open-folder-") + c.name);
    e2e::ScopedShellHandlers handlers({}, site.dir + "shell.log");
    ASSERT_TRUE(handlers.ok());
    ASSERT_TRUE(site.write({{"OpenFolder", "1"}, {"Delete", c.delete_after ? "1" : "0"}},
                           {file_entry("f.txt", "f")}));
    expect_silent_end(e2e::run_silent(site.exe, site.dir));
    ASSERT_TRUE(handlers.wait_lines(1, kAsyncTimeoutMs));
    std::vector<std::string> lines = handlers.lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("explore|")) << lines[0];
    const std::string folder = lines[0].substr(8, lines[0].find('|', 8) - 8);
    EXPECT_TRUE(same_path(site.out, folder)) << lines[0];
    // With Delete the cleanup ran to its end as well.
    EXPECT_EQ(!c.delete_after, e2e::file_exists(site.out + "f.txt"));
  }
}

}  // namespace

namespace {

// --- Paths longer than a path once expanded -----------------------------------

// Settings within their keys' limits whose expansion outgrows a path: with
// %TEMP% a long folder they once overwrote the stack. Each field behaves as
// it does for a path that cannot be used, and nothing is made at a cut or
// unexpanded path.
TEST(PathExpansion, LongerThanAPathIsNeitherWrittenPastItsBufferNorUsedCut) {
  const std::string folders = std::string(45, 'a') + "\\" + std::string(45, 'b') + "\\" +
                              std::string(45, 'c') + "\\" + std::string(45, 'd') + "\\" +
                              std::string(45, 'e');
  const std::string long_component(200, 'x');
  const struct {
    const char* name;
    const char* key;
    std::string value;
    // The box's caption and text; none for a skipped shortcut.
    const char* caption;
    const char* message;
  } cases[] = {
      // The path stays unexpanded, too long for a folder of the work directory.
      {"DefaultPath", "DefaultPath", "$temp$\\" + folders, "Vandrel 错误", "不能创建输出目录。"},
      // The environment's value does not fit.
      {"Exec", "Exec", "$temp$\\" + long_component + "\\setup.exe", "错误", nullptr},
      // The folder variable's value and the rest are cut to a path.
      {"ExecCutAfterAVariable", "Exec", "$targetdir$\\" + long_component + "\\setup.exe", "错误",
       nullptr},
      {"Shortcut", "Shortcut0", "$temp$\\" + long_component + "\\x.lnk|$targetdir$\\data.txt|",
       nullptr, nullptr},
      {"ShortcutTarget", "Shortcut0", "$targetdir$\\x.lnk|$temp$\\" + long_component + "\\y.txt|",
       nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Site site(std::string("expand-long-") + c.name);
    // The unexpanded path does not fit a folder of the work directory.
    ASSERT_GT(site.dir.size() + 236, 259u);
    // A real folder for the stub's temporary file, long enough that the
    // settings' expansions run past a path by a hundred characters or more.
    std::string temp = site.dir + std::string(100, 't');
    ASSERT_TRUE(e2e::make_dir(temp));
    e2e::ScopedEnv temp_env("TEMP", temp);
    e2e::ScopedEnv tmp_env("TMP", temp);
    e2e::Fixture fixture;
    fixture.keys = {{"NoGUI", "1"}, {c.key, c.value}};
    // The first of two keys of a name counts: the destination is the row's
    // own where it gives one.
    fixture.keys.push_back({"DefaultPath", site.dir + "out"});
    fixture.entries = {file_entry("setup.exe", e2e::marker_program_bytes()),
                       file_entry("data.txt", "d")};
    ASSERT_TRUE(e2e::write_file(site.exe, e2e::sfx_bytes(fixture)));
    if (c.caption) {
      e2e::FatalRun run = e2e::run_expecting_box(site.exe, site.dir);
      ASSERT_TRUE(run.box_seen) << run.failure;
      EXPECT_EQ(c.caption, run.box.caption);
      if (c.message) {
        EXPECT_EQ(0u, run.box.text.find(e2e::fatal_text_prefix(c.message))) << run.box.text;
      } else {
        EXPECT_EQ(0u, run.box.text.find("不能执行 ")) << run.box.text;
      }
      ASSERT_TRUE(run.exit.ended) << run.exit.failure;
      EXPECT_EQ(1u, run.exit.code);
    } else {
      expect_silent_end(e2e::run_silent(site.exe, site.dir));
    }
    EXPECT_FALSE(site.markers.started("setup.exe"));
    // Nothing at the unexpanded path, below the work directory or the
    // destination, and no link anywhere.
    for (const std::string& folder : {site.dir, site.out, temp + "\\"}) {
      for (const std::string& name : e2e::list_tree(folder)) {
        EXPECT_NE(0u, name.find("%temp%")) << folder << name;
        EXPECT_EQ(std::string::npos, name.find(".lnk")) << folder << name;
      }
    }
  }
}

// Windows does not create a program whose own manifest asks for
// administrator rights for a process that runs as the user; Wine never
// refuses, so the probe fails the creation as Windows does.
TEST(Exec, ProgramThatAsksForAdministratorRightsStartsThroughTheShellAndIsWaitedFor) {
  Site site("exec-elevation");
  ASSERT_TRUE(site.write({{"Exec", "setup.exe"}, {"Delete", "1"}},
                         {file_entry("setup.exe", e2e::marker_program_bytes())}));
  probe::ProbeProcess process;
  std::string failure;
  ASSERT_TRUE(process.start_hooked(site.exe, "", site.dir, "", &failure, "740")) << failure;
  std::vector<probe::SeenWindow> windows;
  probe::ExitResult exit = process.wait_exit_collecting(e2e::kRunTimeoutMs, &windows);
  ASSERT_TRUE(exit.ended) << exit.failure;
  EXPECT_EQ(1u, exit.code);
  for (const probe::SeenWindow& w : windows) EXPECT_FALSE(w.visible) << w.caption;
  // Started once, waited for: the cleanup ran only after it was done.
  EXPECT_TRUE(site.markers.done("setup.exe"));
  EXPECT_FALSE(e2e::dir_exists(site.out));
}

}  // namespace
