// Start-up of a self-extracting file: finding the payload, reading the
// configuration, creating the destination, and the fatal-error box.
#include <gtest/gtest.h>

#include "harness.h"
#include "shell_env.h"
#include "pack/layout.h"

namespace {

using e2e::Fixture;

const char kDamaged[] = "不能读取文件信息。此文件可能已经损坏。";
const char kCannotCreate[] = "不能创建输出目录。";
const uint32_t kMarkerLast = 500000;

std::string write_sfx(const std::string& dir, const Fixture& fixture) {
  std::string exe = dir + "setup.exe";
  EXPECT_TRUE(e2e::write_file(exe, e2e::sfx_bytes(fixture)));
  return exe;
}

// One entry: the payload scan needs a local header to find the archive.
Fixture silent_fixture(const std::string& destination) {
  Fixture fixture;
  fixture.keys = {{"NoGUI", "1"}, {"DefaultPath", destination}};
  fixture.entries = {e2e::dir_entry("a/")};
  return fixture;
}

using e2e::expect_fatal;

std::vector<std::string> temporary_files(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : e2e::list_tree(dir)) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".tmp") found.push_back(name);
  }
  return found;
}

TEST(Startup, SilentRunCreatesTheDestinationChainAndShowsNothing) {
  const std::string dir = e2e::fresh_dir("startup-create");
  const std::string temp = e2e::fresh_dir("startup-create-temp");
  e2e::ScopedEnv temp_env("TEMP", temp);
  e2e::ScopedEnv tmp_env("TMP", temp);
  const std::string exe = write_sfx(dir, silent_fixture(dir + "out\\a\\b\\c"));

  // Arguments change nothing: the stub has no options.
  for (const char* args : {"", "/S /D=C:\\elsewhere --help"}) {
    e2e::remove_tree(dir + "out");
    e2e::SilentRun run = e2e::run_silent(exe, dir, args);
    e2e::expect_silent_end(run);
    EXPECT_TRUE(e2e::dir_exists(dir + "out\\a\\b\\c")) << args;
    EXPECT_EQ(std::vector<std::string>(
                  {"out/", "out/a/", "out/a/b/", "out/a/b/c/", "out/a/b/c/a/", "setup.exe"}),
              e2e::list_tree(dir));
    // The configuration's temporary file does not remain.
    EXPECT_EQ(std::vector<std::string>(), temporary_files(temp)) << args;
  }
}

TEST(Startup, UncreatableDestinationEndsWithTheFatalBox) {
  const std::string dir = e2e::fresh_dir("startup-uncreatable");
  const std::string temp = e2e::fresh_dir("startup-uncreatable-temp");
  e2e::ScopedEnv temp_env("TEMP", temp);
  e2e::ScopedEnv tmp_env("TMP", temp);
  ASSERT_TRUE(e2e::write_file(dir + "blocker", "a file, not a directory"));
  // A folder needs room for the separator its files add: 259 characters do
  // not make one.
  const std::string full_length = dir + std::string(259 - dir.size(), 'n');
  const struct {
    const char* name;
    std::string destination;
    DWORD code;  // the system's text for the failed creation follows the message
  } cases[] = {
      {"FileInTheWay", dir + "blocker\\sub\\deeper", ERROR_PATH_NOT_FOUND},
      {"PathOfFullLength", full_length, ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string exe = write_sfx(dir, silent_fixture(c.destination));
    expect_fatal(e2e::run_expecting_box(exe, dir), kCannotCreate, c.code);
    EXPECT_TRUE(e2e::file_exists(dir + "blocker"));
    EXPECT_FALSE(e2e::dir_exists(full_length));
    EXPECT_EQ(std::vector<std::string>(), temporary_files(temp));
  }
}

TEST(Startup, PayloadIsFoundOnlyWithinTheScanLimits) {
  const std::string dir = e2e::fresh_dir("startup-limits");
  const size_t stub_size = e2e::stub_bytes().size();
  ASSERT_LT(stub_size, kMarkerLast);

  // The limits themselves are rows of the scan's own table; here one found
  // and one not found, end to end.
  struct Case {
    const char* name;
    size_t marker_at;
    bool found;
  };
  const Case cases[] = {
      {"MarkerAtLastOffset", kMarkerLast, true},
      {"MarkerPastLastOffset", kMarkerLast + 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir + c.name + "\\";
    Fixture fixture = silent_fixture(out);
    fixture.entries = {e2e::file_entry("ok.txt", "found")};
    fixture.padding = c.marker_at - stub_size;
    const std::string bytes = e2e::sfx_bytes(fixture);
    ASSERT_EQ(bytes.substr(c.marker_at, 4), "[QV" "]");
    const std::string exe = dir + c.name + ".exe";
    ASSERT_TRUE(e2e::write_file(exe, bytes));
    if (c.found) {
      e2e::expect_silent_end(e2e::run_silent(exe, dir));
      std::string data;
      EXPECT_TRUE(e2e::read_file(out + "ok.txt", &data));
      EXPECT_EQ("found", data);
    } else {
      expect_fatal(e2e::run_expecting_box(exe, dir), kDamaged, 0);
      EXPECT_FALSE(e2e::dir_exists(out));
    }
  }
}

TEST(Startup, DefaultDestinationFollowsAutoExtract) {
  const std::string dir = e2e::fresh_dir("startup-default");
  const std::string temp = e2e::fresh_dir("startup-default-temp");
  const std::string work = e2e::fresh_dir("startup-default-work");
  e2e::ScopedEnv temp_env("TEMP", temp);
  e2e::ScopedEnv tmp_env("TMP", temp);

  const struct {
    const char* auto_extract;  // null: key absent
    bool into_temp;
  } cases[] = {{"1", true}, {"FALSE", false}, {"TRUE", false}, {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.auto_extract ? c.auto_extract : "(absent)");
    e2e::remove_tree(temp + "marker.txt");
    e2e::remove_tree(work + "marker.txt");
    Fixture fixture;
    fixture.keys = {{"NoGUI", "1"}};
    if (c.auto_extract) fixture.keys.push_back({"AutoExtract", c.auto_extract});
    fixture.entries = {e2e::file_entry("marker.txt", "here")};
    const std::string exe = write_sfx(dir, fixture);
    e2e::expect_silent_end(e2e::run_silent(exe, work));
    EXPECT_EQ(c.into_temp, e2e::file_exists(temp + "marker.txt"));
    EXPECT_EQ(!c.into_temp, e2e::file_exists(work + "marker.txt"));
    EXPECT_EQ(std::vector<std::string>(), temporary_files(temp));
  }
}

// A destination or a %temp% that the machine's ANSI code page, or code page
// 936 itself, cannot name is reached all the same, and a program extracted
// there runs: Ω is not in 1252, é not in 932, ő and 한 not in 936.
TEST(Startup, FoldersOutsideTheAnsiCodePageAreReached) {
  const std::string dir = e2e::fresh_dir("startup-wide");
  const std::wstring wide_dir = probe::to_wide(dir);
  const struct {
    const wchar_t* temp;      // below dir
    const char* destination;  // DefaultPath; below dir unless it starts with "$"
    const wchar_t* lands_in;  // below dir
    bool runs_exec;           // Exec names an extracted program
  } cases[] = {
      {L"temp", "Ωé 目录", L"Ωé 目录", false},
      {L"临时 Ωé", "$temp$\\解压", L"临时 Ωé\\解压", false},
      {L"temp \x0151\xD55C", "$temp$\\解压", L"temp \x0151\xD55C\\解压", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.destination);
    const std::wstring temp = wide_dir + c.temp;
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    e2e::ScopedEnv temp_env("TEMP", temp);
    e2e::ScopedEnv tmp_env("TMP", temp);
    Fixture fixture;
    const std::string destination = c.destination;
    fixture.keys = {{"NoGUI", "1"},
                    {"DefaultPath", destination[0] == '$' ? destination : dir + destination}};
    fixture.entries = {e2e::file_entry("说明.txt", "here")};
    e2e::ScopedEnv marker_env("VANDREL_MARKER_DIR", dir);
    std::vector<std::string> landed = {"说明.txt"};
    if (c.runs_exec) {
      fixture.keys.push_back({"Exec", "$targetdir$\\setup.exe"});
      fixture.entries.push_back(e2e::file_entry("setup.exe", e2e::marker_program_bytes()));
      landed.insert(landed.begin(), "setup.exe");  // sorted by bytes
    }
    e2e::expect_silent_end(e2e::run_silent(write_sfx(dir, fixture), dir));
    EXPECT_EQ(landed, e2e::list_tree(wide_dir + c.lands_in));
    EXPECT_EQ(c.runs_exec, e2e::Markers(dir).started("setup.exe"));
    e2e::remove_tree(temp);
  }
}

}  // namespace
