#include "config/folder_vars.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "core/state.h"
#include "gbk_text.h"
#include "../probe/scoped_registry.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

using probe::ScopedRegistryValue;

// Sets an environment variable for the length of a test.
class EnvironmentOverride {
 public:
  explicit EnvironmentOverride(const char* name) : name_(name) {
    char value[32768];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    existed_ = n > 0 && n < sizeof value;
    if (existed_) saved_ = value;
  }
  ~EnvironmentOverride() {
    SetEnvironmentVariableA(name_.c_str(), existed_ ? saved_.c_str() : nullptr);
  }
  bool set(const char* value) { return SetEnvironmentVariableA(name_.c_str(), value) != 0; }
  bool remove() { return SetEnvironmentVariableA(name_.c_str(), nullptr) != 0; }

 private:
  std::string name_;
  std::string saved_;
  bool existed_ = false;
};

// Keeps the process-wide target directory as it was.
class TargetDirOverride {
 public:
  TargetDirOverride() { memcpy(saved_, g_state.target_dir, sizeof saved_); }
  ~TargetDirOverride() { memcpy(g_state.target_dir, saved_, sizeof saved_); }

 private:
  PathBuffer saved_;
};

std::string expand(const std::string& path) {
  std::wstring text = wide(path);
  std::vector<wchar_t> buffer(1024, L'\0');
  if (text.size() >= buffer.size()) return "<too long for the test>";
  wmemcpy(buffer.data(), text.c_str(), text.size() + 1);
  return gbk(expand_path_variables(buffer.data()));
}

TEST(FolderVariables, ShellFoldersComeFromTheRegistryInEitherSpelling) {
  struct Case {
    const char* variable;
    const char* value_name;
  };
  const Case cases[] = {
      {"startmenu", "Programs"}, {"desktop", "Desktop"},   {"sendto", "SendTo"},
      {"favorites", "Favorites"}, {"startup", "Startup"},
  };
  for (const Case& c : cases) {
    ScopedRegistryValue value(HKEY_CURRENT_USER, kShellFolders, c.value_name);
    ASSERT_TRUE(value.ok()) << c.value_name;
    std::string folder = std::string("C:\\vandrel test\\") + c.value_name;
    ASSERT_TRUE(value.set(folder));
    std::string upper = c.variable;
    for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));

    EXPECT_EQ(expand(std::string("$") + c.variable + "$\\App\\Setup.exe"), folder + "\\App\\Setup.exe");
    EXPECT_EQ(expand("%" + upper + "%\\App"), folder + "\\App");
    EXPECT_EQ(expand(std::string("$") + c.variable + "$"), folder);
    // A variable discards the components before it.
    EXPECT_EQ(expand(std::string("D:\\a\\$") + c.variable + "$\\b"), folder + "\\b");

    // A missing or empty value leaves the folder empty.
    ASSERT_TRUE(value.set(""));
    EXPECT_EQ(expand(std::string("$") + c.variable + "$\\Setup"), "\\Setup");
    ASSERT_TRUE(value.remove());
    EXPECT_EQ(expand(std::string("$") + c.variable + "$\\Setup"), "\\Setup");
  }
}

TEST(FolderVariables, ProgramFilesFromTheMachineKeyWithDefault) {
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  ASSERT_TRUE(value.ok());
  ASSERT_TRUE(value.set("E:\\Programs"));
  // The environment's ProgramFiles is expanded first and so takes precedence.
  EnvironmentOverride environment("ProgramFiles");
  ASSERT_TRUE(environment.set("F:\\Env Programs"));
  EXPECT_EQ(expand("$programfiles$\\App"), "F:\\Env Programs\\App");
  ASSERT_TRUE(environment.remove());
  EXPECT_EQ(expand("$programfiles$\\App\\Data"), "E:\\Programs\\App\\Data");
  ASSERT_TRUE(value.remove());
  EXPECT_EQ(expand("$programfiles$\\App\\Data"), "C:\\Program Files\\App\\Data");
}

TEST(FolderVariables, TargetDirIsReadAtTheTimeOfTheCall) {
  TargetDirOverride keep;
  g_state.target_dir[0] = '\0';
  EXPECT_EQ(expand("%targetdir%"), "");
  EXPECT_EQ(expand("$targetdir$\\x"), "\\x");
  lstrcpyW(g_state.target_dir, L"E:\\out\\");
  // The doubled backslash is left to the callers.
  EXPECT_EQ(expand("$targetdir$\\bin\\run.exe"), "E:\\out\\\\bin\\run.exe");
}

TEST(FolderVariables, ProcessAndSystemDirectories) {
  char current[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, current), 0u);
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
  EXPECT_EQ(expand("$curdir$\\x"), std::string(current) + "\\x");
  EXPECT_EQ(expand("%SysDir%\\x"), std::string(system) + "\\x");
}

TEST(FolderVariables, QuickLaunchFallsBackToTheTemporaryDirectory) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  std::string root = std::string(temp) + "vandrel-ql-" + std::to_string(GetCurrentProcessId());
  const std::string levels[] = {root, root + "\\Microsoft", root + "\\Microsoft\\Internet Explorer",
                                root + "\\Microsoft\\Internet Explorer\\Quick Launch"};
  for (const std::string& level : levels) ASSERT_TRUE(CreateDirectoryA(level.c_str(), nullptr));

  {
    ScopedRegistryValue value(HKEY_CURRENT_USER, kShellFolders, "AppData");
    ASSERT_TRUE(value.ok());
    ASSERT_TRUE(value.set(root));
    EXPECT_EQ(expand("$quicklaunch$\\x.lnk"), levels[3] + "\\x.lnk");
    // The folder is missing: the temporary directory, with its own backslash.
    ASSERT_TRUE(value.set(root + "\\none"));
    EXPECT_EQ(expand("$quicklaunch$\\x.lnk"), std::string(temp) + "\\x.lnk");
    ASSERT_TRUE(value.set(""));
    EXPECT_EQ(expand("$quicklaunch$\\x.lnk"), std::string(temp) + "\\x.lnk");
  }
  for (int i = 3; i >= 0; --i) EXPECT_TRUE(RemoveDirectoryA(levels[i].c_str()));
}

TEST(FolderVariables, EnvironmentIsExpandedBeforeTheTable) {
  EnvironmentOverride temp("TEMP");
  EnvironmentOverride desktop_alias("VANDREL_TEST_ALIAS");
  struct Case {
    const char* temp_value;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\tmp dir", "$temp$", "C:\\tmp dir"},
      {"C:\\tmp dir\\", "$temp$", "C:\\tmp dir"},
      {"C:\\tmp dir", "%TEMP%\\a\\b", "C:\\tmp dir\\a\\b"},
      // A value ending with a backslash must not repeat the next component.
      {"C:\\tmp dir\\", "$temp$\\setup.exe", "C:\\tmp dir\\setup.exe"},
      {"C:\\tmp dir\\", "%TEMP%\\a\\b", "C:\\tmp dir\\a\\b"},
      {"C:\\tmp dir", "D:\\x\\\\y", "D:\\x\\y"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(temp.set(c.temp_value));
    EXPECT_EQ(expand(c.path), c.expected) << c.path << " with TEMP " << c.temp_value;
  }
  // An environment value may itself name a variable of the table.
  ScopedRegistryValue value(HKEY_CURRENT_USER, kShellFolders, "Desktop");
  ASSERT_TRUE(value.ok());
  ASSERT_TRUE(value.set("C:\\Desk"));
  ASSERT_TRUE(desktop_alias.set("%desktop%"));
  EXPECT_EQ(expand("$vandrel_test_alias$\\x"), "C:\\Desk\\x");
  EXPECT_EQ(expand("$vandrel_undefined_name$\\x"), "%vandrel_undefined_name%\\x");
}

TEST(FolderVariables, PlainPathsAndLiteralDollars) {
  struct Case {
    const char* path;
    const char* expected;
    const char* path_after;
  };
  const Case cases[] = {
      {"D:\\Games\\X", "D:\\Games\\X", "D:\\Games\\X\\"},
      {"D:\\price$5\\x", "D:\\price%5\\x", "D:\\price%5\\x\\"},
      {"a$b$c", "a%b%c", "a%b%c\\"},
      {"relative\\dir", "relative\\dir", "relative\\dir\\"},
      {"", "", "\\"},
  };
  for (const Case& c : cases) {
    wchar_t path[MAX_PATH + 1];
    lstrcpyW(path, wide(c.path).c_str());
    EXPECT_EQ(gbk(expand_path_variables(path)), c.expected) << c.path;
    EXPECT_EQ(gbk(path), c.path_after) << c.path;
  }
}

// A plain path of `length` characters: 9-character components.
std::string long_plain_path(size_t length) {
  std::string path = "D:";
  while (path.size() < length) path += path.size() % 10 == 2 ? '\\' : 'p';
  return path;
}

TEST(FolderVariables, LongPathsStayInsideTheirBuffers) {
  struct Case {
    size_t length;
    size_t buffer_size;
    bool whole;  // comes back unchanged
  };
  const Case cases[] = {
      {258, 261, true}, {259, 261, true}, {260, 261, false}, {1000, 1200, false},
  };
  for (const Case& c : cases) {
    std::string input = long_plain_path(c.length);
    ASSERT_EQ(input.size(), c.length);
    ASSERT_NE(input.back(), '\\');
    std::vector<wchar_t> buffer(c.buffer_size + 16, L'G');
    std::wstring wide_input = wide(input);
    wmemcpy(buffer.data(), wide_input.c_str(), wide_input.size() + 1);
    std::string result = gbk(expand_path_variables(buffer.data()));
    // Nothing is written past the 261 bytes the path may use.
    for (size_t i = 261; i < buffer.size(); ++i) {
      char expected = i < c.length ? input[i] : i == c.length ? '\0' : 'G';
      ASSERT_EQ(buffer[i], expected) << c.length << " wrote at " << i;
    }
    EXPECT_LE(result.size(), 259u) << c.length;
    if (c.whole) {
      EXPECT_EQ(result, input);
    } else {
      // Cut to whole components: the last one lacks its separator.
      ASSERT_LT(result.size(), input.size());
      EXPECT_EQ(input.compare(0, result.size(), result), 0) << c.length;
      EXPECT_EQ(input[result.size()], '\\') << c.length;
    }
  }
}

TEST(FolderVariables, LongFolderValuesAreCutToThePathLimit) {
  ScopedRegistryValue value(HKEY_CURRENT_USER, kShellFolders, "Desktop");
  ASSERT_TRUE(value.ok());
  std::string folder = "C:\\" + std::string(250, 'd');
  ASSERT_TRUE(value.set(folder));
  std::string full = folder + "\\" + std::string(40, 's') + "\\x";
  EXPECT_EQ(expand("$desktop$\\" + std::string(40, 's') + "\\x"), full.substr(0, 259));

  // A value that does not fit a path buffer cannot be read.
  ASSERT_TRUE(value.set("C:\\" + std::string(400, 'd')));
  EXPECT_EQ(expand("$desktop$\\Setup"), "\\Setup");

  // $ replacement still works for a 259-character path.
  std::string path = "$desktop$\\" + std::string(249, 'q');
  ASSERT_EQ(path.size(), 259u);
  ASSERT_TRUE(value.set("C:\\D"));
  EXPECT_EQ(expand(path), "C:\\D\\" + std::string(249, 'q'));
}

}  // namespace
