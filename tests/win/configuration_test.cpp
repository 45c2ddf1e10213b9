#include <gtest/gtest.h>

#include <string>

#include "core/state.h"
#include "config/load_configuration.h"
#include "gbk_text.h"

namespace {

// Writes a configuration block (code page 936, line feeds only, as the
// builder writes it) as the stub does, applies it to a cleared state and
// removes it again.
class ConfigurationFile {
 public:
  explicit ConfigurationFile(const std::string& block) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"VT", 0, path_);
    EXPECT_TRUE(write_configuration_file(block.data(), static_cast<uint32_t>(block.size()), path_));
  }
  ~ConfigurationFile() { DeleteFileW(path_); }
  void apply() {
    while (item_list_count(&g_state.shortcut_list)) item_list_pop(&g_state.shortcut_list);
    g_state.config = SfxConfig();
    g_state.typed_path[0] = 0;
    g_state.target_dir[0] = 0;
    apply_configuration_file(path_);
  }

 private:
  wchar_t path_[MAX_PATH];
};

std::vector<std::string> pop_all_shortcuts() {
  std::vector<std::string> values;
  while (item_list_count(&g_state.shortcut_list)) {
    values.push_back(gbk(item_list_top(&g_state.shortcut_list)));
    item_list_pop(&g_state.shortcut_list);
  }
  return values;
}

TEST(Configuration, ShortcutsStopAtTheFirstEmptyKeyAndComeOffNewestFirst) {
  const std::string long_value = std::string(1000, 'L') + "|" + std::string(21, 'T') + "|";
  ASSERT_EQ(1023u, long_value.size());
  struct Case {
    const char* name;
    std::string block;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"ThreeKeys", "[QV]\nShortcut0=a|b|\nShortcut1=c|d|\nShortcut2=e|f|\n",
       {"e|f|", "c|d|", "a|b|"}},
      {"EmptyFirstKey", "[QV]\nShortcut0=\nShortcut1=c|d|\n", {}},
      {"GapStopsReading", "[QV]\nShortcut0=a|b|\nShortcut2=e|f|\n", {"a|b|"}},
      {"LongestValueKeptWhole", "[QV]\nShortcut0=" + long_value + "\n", {long_value}},
      // 1,023 characters are kept; the system's reader cuts the rest.
      {"LongerValueCutToBuffer", "[QV]\nShortcut0=" + long_value + "XY\n", {long_value}},
  };
  for (const Case& c : cases) {
    ConfigurationFile file(c.block);
    file.apply();
    EXPECT_EQ(c.expected, pop_all_shortcuts()) << c.name;
  }
}

TEST(Configuration, KeysDefaultsAndLimits) {
  {
    ConfigurationFile file("[QV]\n");
    file.apply();
    EXPECT_STREQ(L"Unnamed Archive", g_state.config.archive_name);
    EXPECT_STREQ(L"", g_state.config.exec_command);
    EXPECT_EQ(0, g_state.config.zip_size);
    EXPECT_EQ(0, g_state.config.no_gui);
    EXPECT_EQ(0, g_state.config.auto_extract);
    EXPECT_EQ(0, g_state.config.open_folder);
  }
  {
    // Names match without regard to case; blanks around values are dropped;
    // integers come from their leading digits.
    ConfigurationFile file(
        "[qv]\nzipsize=1234abc\nDELETE=2\nNoGui = 1\nName =  Setup  \nURL=http://x/\n"
        "Exec=a.exe\nAutoExtract=1\nOpenFolder=true\nAuthor=nobody\n");
    file.apply();
    EXPECT_EQ(1234, g_state.config.zip_size);
    EXPECT_EQ(2, g_state.config.delete_after);
    EXPECT_EQ(1, g_state.config.no_gui);
    EXPECT_STREQ(L"Setup", g_state.config.archive_name);
    EXPECT_STREQ(L"http://x/", g_state.config.url);
    EXPECT_STREQ(L"a.exe", g_state.config.exec_command);
    EXPECT_EQ(1, g_state.config.auto_extract);
    EXPECT_EQ(0, g_state.config.open_folder);  // only "1" opens the folder
  }
  {
    ConfigurationFile file("[QV]\nName=" + std::string(300, 'n') + "\nURL=" +
                           std::string(200, 'u') + "\n");
    file.apply();
    EXPECT_EQ(std::wstring(254, L'n'), g_state.config.archive_name);
    EXPECT_EQ(std::wstring(127, L'u'), g_state.config.url);
  }
}

TEST(Configuration, IntroBackslashNBecomesSpaceAndLineBreak) {
  const struct {
    const char* written;
    const char* shown;
  } cases[] = {
      {"one\\ntwo", "one \ntwo"},
      {"\\n\\n", " \n \n"},
      {"a\\\\nb", "a\\ \nb"},  // the scan goes on after each replaced backslash
      {"no breaks", "no breaks"},
      {"ends\\", "ends\\"},
      {"乗n嘰\\n", "乗n嘰 \n"},  // trail bytes 0x5C followed by n
  };
  for (const auto& c : cases) {
    ConfigurationFile file(std::string("[QV]\nIntro=") + c.written + "\n");
    file.apply();
    EXPECT_EQ(c.shown, gbk(g_state.config.intro_text)) << c.written;
  }
}

TEST(Configuration, DefaultDestinationDependsOnAutoExtract) {
  wchar_t temp_dir[MAX_PATH];
  GetTempPathW(MAX_PATH, temp_dir);
  std::wstring temp(temp_dir);
  if (!temp.empty() && temp.back() == L'\\') temp.pop_back();
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  const struct {
    const char* block;
    std::wstring expected;
  } cases[] = {
      {"[QV]\nAutoExtract=1\n", temp},
      {"[QV]\nAutoExtract=TRUE\n", current},
      {"[QV]\n", current},
      {"[QV]\nDefaultPath=D:\\\\Games\\\\\\X\n", L"D:\\Games\\X"},
      {"[QV]\nDefaultPath=$temp$\\Sub\n", temp + L"\\Sub"},
      // The destination is not known yet while the default is expanded.
      {"[QV]\nDefaultPath=$targetdir$\\Sub\n", L"\\Sub"},
      // Stored in code page 936, read so on every machine.
      {"[QV]\nDefaultPath=C:\\中文\xa6\xb8\xa8\xa6\n", L"C:\\\x4E2D\x6587\x03A9\x00E9"},
  };
  for (const auto& c : cases) {
    ConfigurationFile file(c.block);
    file.apply();
    EXPECT_EQ(c.expected, g_state.target_dir) << c.block;
    EXPECT_EQ(c.expected, g_state.typed_path) << c.block;
  }
}

}  // namespace
