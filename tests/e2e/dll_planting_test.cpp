// A self-extracting file runs from a download folder that may hold DLLs of
// any name. The stub must load none of them: each run here has a DLL planted
// beside it under every name it or a system DLL it uses would look for, and
// Wine told to prefer such a DLL wherever the search order allows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "shell_env.h"
#include "wizard_harness.h"

namespace {

// The names, and Wine's preference for a native DLL of each, come from the
// test's entry in CMake: Wine reads the preference when a process starts.
std::vector<std::string> planted_names() {
  std::vector<std::string> names;
  std::string list = VANDREL_PLANTED_NAMES;
  for (size_t start = 0; start <= list.size();) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    names.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return names;
}

bool native_preferred() {
  char value[4096];
  DWORD n = GetEnvironmentVariableA("WINEDLLOVERRIDES", value, sizeof value);
  // The Wine scripts may add settings of their own after ours.
  const std::string ours = std::string(VANDREL_PLANTED_NAMES) + "=n,b";
  return n > 0 && n < sizeof value && std::string(value).compare(0, ours.size(), ours) == 0;
}

// Copies the planted DLL under every name into `dir`.
void plant(const std::string& dir) {
  ASSERT_TRUE(native_preferred()) << "run through the e2e_dll_planting test entry";
  for (const std::string& name : planted_names()) {
    ASSERT_TRUE(CopyFileA(VANDREL_PLANTED_DLL, (dir + name + ".dll").c_str(), FALSE)) << name;
  }
}

std::vector<std::string> markers(const std::string& dir) {
  std::vector<std::string> found;
  for (std::string name : e2e::list_tree(dir)) {
    if (name.size() <= 8 || name.substr(name.size() - 8) != ".planted") continue;
    // Named as the loader spelt the module (VERSION.dll).
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    found.push_back(name);
  }
  return found;
}

TEST(DllPlanting, AProgramWithoutRestrictedSearchLoadsThePlantedDll) {
  const std::string dir = e2e::fresh_dir("plant-control");
  plant(dir);
  ASSERT_TRUE(CopyFileA(VANDREL_PLANT_CONTROL, (dir + "control.exe").c_str(), FALSE));
  e2e::SilentRun run = e2e::run_silent(dir + "control.exe", dir);
  ASSERT_TRUE(run.exit.ended) << run.exit.failure;
  EXPECT_EQ(2u, run.exit.code);  // the planted GetFileVersionInfoSizeA answered
  EXPECT_EQ(std::vector<std::string>({"version.dll.planted"}), markers(dir));
}

TEST(DllPlanting, TheStubLoadsNoDllFromItsFolder) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> keys;  // besides DefaultPath
    bool fatal;
  };
  const Case cases[] = {
      {"silent", {{"NoGUI", "1"}}, false},
      // The destination lies below a file: the fatal-error box.
      {"fatal", {{"NoGUI", "1"}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = e2e::fresh_dir(std::string("plant-") + c.name);
    plant(dir);
    e2e::Fixture fixture;
    for (const auto& key : c.keys) fixture.keys.push_back({key.first, key.second});
    ASSERT_TRUE(e2e::write_file(dir + "blocker", "a file"));
    fixture.keys.push_back({"DefaultPath", c.fatal ? dir + "blocker\\out" : dir + "out"});
    fixture.entries = {e2e::file_entry("a.txt", "extracted")};
    ASSERT_TRUE(e2e::write_file(dir + "setup.exe", e2e::sfx_bytes(fixture)));
    if (c.fatal) {
      e2e::FatalRun run = e2e::run_expecting_box(dir + "setup.exe", dir);
      EXPECT_TRUE(run.box_seen) << run.failure;
      EXPECT_TRUE(run.exit.ended) << run.exit.failure;
      EXPECT_EQ(1u, run.exit.code);
    } else {
      e2e::SilentRun run = e2e::run_silent(dir + "setup.exe", dir);
      ASSERT_TRUE(run.exit.ended) << run.exit.failure;
      EXPECT_EQ(1u, run.exit.code);
      EXPECT_TRUE(e2e::file_exists(dir + "out\\a.txt"));
    }
    EXPECT_EQ(std::vector<std::string>(), markers(dir));
  }
}

// Shortcuts (COM) and a program started and waited for: every DLL those
// load comes from the system.
TEST(DllPlanting, ShortcutsAndExecLoadNoDllFromTheStubsFolder) {
  const std::string dir = e2e::fresh_dir("plant-actions");
  plant(dir);
  e2e::ScopedShellFolders folders(dir);
  ASSERT_TRUE(folders.ok());
  e2e::ScopedEnv marker_dir("VANDREL_MARKER_DIR", dir);
  e2e::Fixture fixture;
  fixture.keys = {{"NoGUI", "1"},
                  {"DefaultPath", dir + "out"},
                  {"Exec", "$targetdir$\\run.exe"},
                  {"Shortcut0", "$desktop$\\run.lnk|$targetdir$\\run.exe|"}};
  fixture.entries = {e2e::file_entry("run.exe", e2e::marker_program_bytes())};
  ASSERT_TRUE(e2e::write_file(dir + "setup.exe", e2e::sfx_bytes(fixture)));
  e2e::SilentRun run = e2e::run_silent(dir + "setup.exe", dir);
  ASSERT_TRUE(run.exit.ended) << run.exit.failure;
  EXPECT_EQ(1u, run.exit.code);
  EXPECT_TRUE(e2e::file_exists(folders.folder("Desktop") + "run.lnk"));
  EXPECT_TRUE(e2e::Markers(dir).done("run.exe"));
  EXPECT_EQ(std::vector<std::string>(), markers(dir));
}

// The wizard to its end: common controls, fonts, bitmaps, the input
// method, every DLL a window brings.
TEST(DllPlanting, AWizardRunToTheEndLoadsNoDllFromItsFolder) {
  const std::string dir = e2e::fresh_dir("plant-wizard");
  plant(dir);
  e2e::Fixture fixture;
  fixture.keys = {{"Name", "Planted"}, {"DefaultPath", dir + "out"}};
  fixture.entries = {e2e::file_entry("a.txt", "extracted")};
  e2e::Wizard wizard;
  ASSERT_TRUE(wizard.start(dir, fixture, "Planted")) << wizard.failure;
  ASSERT_TRUE(wizard.wait_page(1)) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  ASSERT_TRUE(wizard.wait_page(2)) << wizard.failure;
  ASSERT_TRUE(wizard.next());
  EXPECT_TRUE(wizard.ended_with_1()) << wizard.failure;
  EXPECT_TRUE(e2e::file_exists(dir + "out\\a.txt"));
  EXPECT_EQ(std::vector<std::string>(), markers(dir));
}

}  // namespace
