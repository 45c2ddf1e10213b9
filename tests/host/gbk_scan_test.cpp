// Scans of stored names step over double-byte characters of code page 936,
// whose trail byte may be a backslash (0x5C) or a bar (0x7C). The names are
// written as bytes: host literals are UTF-8. The stub scans the same names
// once they are UTF-16, where no such byte exists.
#include <gtest/gtest.h>

#include <string>

#include "archive/entry_name.h"
#include "util/text.h"

#include <wchar.h>

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

TEST(GbkScan, WideEntryNamesSplitAtSeparatorsOnly) {
  const struct {
    const wchar_t* name;
    const wchar_t* last_component;
    bool has_separator;
    bool escapes;
  } cases[] = {
      {L"\u5956\u72c0/", L"", true, false},  // 奬狀/
      {L"\u4e58\\..\\x", L"x", true, true},
      {L"\u4e58..", L"\u4e58..", false, false},
      {L"a/\u03a9:b", L"\u03a9:b", true, true},
  };
  for (const auto& c : cases) {
    bool has_separator = !c.has_separator;
    EXPECT_STREQ(entry_last_component(c.name, &has_separator), c.last_component);
    EXPECT_EQ(has_separator, c.has_separator);
    EXPECT_EQ(entry_name_escapes(c.name), c.escapes);
  }
}

}  // namespace
