// A 32-bit stub on 64-bit Windows sees the system through WoW64: its own
// program-files folder and its own registry view. Each tree runs the stub
// of its own kind, so the same tests state what each kind must see.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const bool kStubIs32Bit = sizeof(void*) == 4;

// One value of HKLM\...\CurrentVersion in one registry view, put back as it
// was when the object ends.
class MachineValue {
 public:
  MachineValue(REGSAM view, const char* name) : name_(name) {
    ok_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, nullptr, 0,
                          KEY_READ | KEY_WRITE | view, nullptr, &key_, nullptr) == ERROR_SUCCESS;
    if (!ok_) return;
    char old[1024];
    DWORD size = sizeof old;
    had_old_ = RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                &size) == ERROR_SUCCESS;
    if (had_old_) old_.assign(old, strnlen(old, size));
  }
  ~MachineValue() {
    if (!ok_) return;
    if (had_old_) {
      set(old_);
    } else {
      RegDeleteValueA(key_, name_.c_str());
    }
    RegCloseKey(key_);
  }
  MachineValue(const MachineValue&) = delete;
  MachineValue& operator=(const MachineValue&) = delete;
  bool ok() const { return ok_; }
  bool set(const std::string& value) {
    return RegSetValueExA(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }

 private:
  std::string name_;
  HKEY key_ = nullptr;
  bool ok_ = false;
  bool had_old_ = false;
  std::string old_;
};

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

TEST(SystemView, ProgramFilesIsTheFolderOfTheStubsKind) {
  const std::string dir = e2e::fresh_dir("view-programfiles");
  const std::string expected = kStubIs32Bit ? "C:\\Program Files (x86)\\vandrel-e2e-view\\"
                                            : "C:\\Program Files\\vandrel-e2e-view\\";
  e2e::remove_tree(expected);
  EXPECT_EQ("", run_into(dir, "$programfiles$\\vandrel-e2e-view"));
  EXPECT_TRUE(e2e::file_exists(expected + "marker.txt")) << expected;
  e2e::remove_tree(expected);
}

TEST(SystemView, ProgramFilesDirComesFromTheStubsOwnRegistryView) {
  const std::string dir = e2e::fresh_dir("view-registry");
  // Without the environment's ProgramFiles the registry decides. Wine gives
  // a new process ProgramFiles again from these two when the parent has them.
  e2e::ScopedEnv no_env("ProgramFiles", nullptr);
  e2e::ScopedEnv no_env_64("ProgramW6432", nullptr);
  e2e::ScopedEnv no_env_32("ProgramFiles(x86)", nullptr);
  MachineValue own(kStubIs32Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, "ProgramFilesDir");
  MachineValue other(kStubIs32Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, "ProgramFilesDir");
  ASSERT_TRUE(own.ok() && other.ok());
  ASSERT_TRUE(own.set(dir + "own"));
  ASSERT_TRUE(other.set(dir + "other"));
  EXPECT_EQ("", run_into(dir, "$programfiles$\\app"));
  EXPECT_TRUE(e2e::file_exists(dir + "own\\app\\marker.txt"));
  EXPECT_FALSE(e2e::dir_exists(dir + "other"));
}

// The run's prefix has the ANSI code page the run asks for (VANDREL_ACP, from
// scripts/wine-env.sh): the suite runs under several.
TEST(SystemView, AnsiCodePageIsTheOneOfTheRun) {
  char wanted[16] = "";
  ASSERT_NE(0u, GetEnvironmentVariableA("VANDREL_ACP", wanted, sizeof wanted));
  EXPECT_EQ(wanted, std::to_string(GetACP()));
}

}  // namespace
