// Scans for separators step over double-byte characters of code page 936,
// whose trail byte may be a backslash (0x5C) or a bar (0x7C). The names are
// written as bytes: host literals are UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "archive/entry_name.h"
#include "util/text.h"

namespace {

// 奬 8A 5C, 乗 81 5C, 亅 81 7C, 一 D2 BB.
#define JIANG "\x8a\x5c"
#define CHENG "\x81\x5c"
#define JUE "\x81\x7c"
#define YI "\xd2\xbb"

TEST(GbkScan, CharacterWidths) {
  EXPECT_EQ(gbk_char_width(JIANG), 2u);
  EXPECT_EQ(gbk_char_width("\x8a"), 1u);  // a lead byte at the end stands alone
  EXPECT_EQ(gbk_char_width("a\\"), 1u);
}

TEST(GbkScan, FindAndSearchMatchOnlyWholeCharacters) {
  const struct {
    int start;
    const char* text;
    const char* needle;
    int expected;
  } cases[] = {
      {0, YI "\xb5\xc8" JIANG, "\\", 0},
      {0, JIANG "\\x", "\\", 3},
      {0, "a" JIANG "\\", "\\", 4},
      {1, JIANG "\\", "\\", 3},  // a start inside a character moves to the next one
      {0, JUE "|x|", "|", 3},
      {0, CHENG CHENG, "\\\\", 0},
      {0, CHENG "\\\\", "\\\\", 3},
      {0, JIANG "n\\n", "\\n", 4},
      {0, "\x8a", "\x8a", 1},  // a lone lead byte at the end is a character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(str_find(c.start, c.text, c.needle), c.expected) << c.text << " / " << c.needle;
    const char* at = str_search(c.text, c.needle);
    int expected_search = str_find(0, c.text, c.needle);
    EXPECT_EQ(at ? static_cast<int>(at - c.text) + 1 : 0, expected_search) << c.text;
  }
}

TEST(GbkScan, FieldsAndCollapsedPathsKeepWholeCharacters) {
  EXPECT_STREQ(str_field("C:\\" JIANG "\\b\\", "\\", 1), JIANG);
  EXPECT_STREQ(str_field("C:\\" JIANG "\\b\\", "\\", 2), "b");
  EXPECT_STREQ(str_field("$desktop$\\" JUE ".lnk|$targetdir$\\" JUE ".exe|", "|", 0),
               "$desktop$\\" JUE ".lnk");
  EXPECT_STREQ(str_field("$desktop$\\" JUE ".lnk|$targetdir$\\" JUE ".exe|", "|", 1),
               "$targetdir$\\" JUE ".exe");

  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:\\" CHENG "\\x", "C:\\" CHENG "\\x"},  // 5C 5C across a character: no pair
      {"C:\\\\" CHENG "\\\\x", "C:\\" CHENG "\\x"},
      {"\\\\srv\\" JIANG "\\\\a", "\\\\srv\\" JIANG "\\a"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    path.resize(300, '\0');
    EXPECT_STREQ(collapse_double_backslashes(&path[0]), c.expected) << c.path;
  }
}

TEST(GbkScan, EntryNamesSplitOnlyAtRealSeparators) {
  const struct {
    const char* name;
    const char* last_component;
    bool has_separator;
    bool escapes;
  } cases[] = {
      {YI "\xb5\xc8" JIANG, YI "\xb5\xc8" JIANG, false, false},  // 一等奬: a file
      {JIANG "\xa0\xee/", "", true, false},                       // 奬狀/: a directory
      {JIANG "\xa0\xee/a.txt", "a.txt", true, false},
      {"d\\" CHENG, CHENG, true, false},
      {CHENG "..", CHENG "..", false, false},  // not a ".." component
      {"a/../x", "x", true, true},
      {"/x", "x", true, true},
      {"C:x", "C:x", false, true},
      {"", "", false, false},
  };
  for (const auto& c : cases) {
    bool has_separator = true;
    EXPECT_STREQ(entry_last_component(c.name, &has_separator), c.last_component) << c.name;
    EXPECT_EQ(has_separator, c.has_separator) << c.name;
    EXPECT_EQ(entry_name_escapes(c.name), c.escapes) << c.name;
  }
}

}  // namespace
