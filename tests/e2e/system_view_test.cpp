// A 32-bit stub on 64-bit Windows sees the system through WoW64: its own
// program-files folder and its own registry view. Each tree runs the stub
// of its own kind, so the same tests state what each kind must see. A canary
// of the prefix the tests run in (suite Canary*).
#include <gtest/gtest.h>

#include "harness.h"
#include "scoped_registry.h"

namespace {

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const bool kStubIs32Bit = sizeof(void*) == 4;

using probe::ScopedRegistryValue;

std::string run_into(const std::string& dir, const std::string& destination) {
  e2e::Fixture fixture;
  fixture.keys = {{"NoGUI", "1"}, {"DefaultPath", destination}};
  fixture.entries = {e2e::file_entry("marker.txt", "view")};
  const std::string exe = dir + "setup.exe";
  if (!e2e::write_file(exe, e2e::sfx_bytes(fixture))) return "cannot write " + exe;
  e2e::SilentRun run = e2e::run_silent(exe, dir);
  if (!run.exit.ended) return "no end: " + run.exit.failure;
  return run.visible_windows();
}

TEST(CanarySystemView, ProgramFilesIsTheFolderOfTheStubsKind) {
  const std::string dir = e2e::fresh_dir("view-programfiles");
  const std::string expected = kStubIs32Bit ? "C:\\Program Files (x86)\\vandrel-e2e-view\\"
                                            : "C:\\Program Files\\vandrel-e2e-view\\";
  e2e::remove_tree(expected);
  EXPECT_EQ("", run_into(dir, "$programfiles$\\vandrel-e2e-view"));
  EXPECT_TRUE(e2e::file_exists(expected + "marker.txt")) << expected;
  e2e::remove_tree(expected);
}

TEST(CanarySystemView, ProgramFilesDirComesFromTheStubsOwnRegistryView) {
  const std::string dir = e2e::fresh_dir("view-registry");
  // Without the environment's ProgramFiles the registry decides. Wine gives
  // a new process ProgramFiles again from these two when the parent has them.
  e2e::ScopedEnv no_env("ProgramFiles", nullptr);
  e2e::ScopedEnv no_env_64("ProgramW6432", nullptr);
  e2e::ScopedEnv no_env_32("ProgramFiles(x86)", nullptr);
  ScopedRegistryValue own(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir",
                          kStubIs32Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
  ScopedRegistryValue other(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir",
                            kStubIs32Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
  ASSERT_TRUE(own.ok() && other.ok());
  ASSERT_TRUE(own.set(dir + "own"));
  ASSERT_TRUE(other.set(dir + "other"));
  EXPECT_EQ("", run_into(dir, "$programfiles$\\app"));
  EXPECT_TRUE(e2e::file_exists(dir + "own\\app\\marker.txt"));
  EXPECT_FALSE(e2e::dir_exists(dir + "other"));
}

// The run's prefix has the ANSI code page the run asks for (VANDREL_ACP, from
// scripts/wine-env.sh): the suite runs under several.
TEST(CanarySystemView, AnsiCodePageIsTheOneOfTheRun) {
  char wanted[16] = "";
  ASSERT_NE(0u, GetEnvironmentVariableA("VANDREL_ACP", wanted, sizeof wanted));
  EXPECT_EQ(wanted, std::to_string(GetACP()));
}

}  // namespace
