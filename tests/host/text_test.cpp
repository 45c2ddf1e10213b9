#include "util/text.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

struct FindCase {
  int start;
  const char* text;
  const char* needle;
  int expected;
};

TEST(StrFind, GivesOneBasedPositionAtOrAfterStart) {
  const FindCase cases[] = {
      {0, "ab\\", "\\", 3},
      {3, "ab\\", "\\", 0},
      {4, "ab\\", "\\", 0},  // start past the length
      {2, "ab\\", "\\", 3},
      {0, "ab\\", "", 0},
      {0, "", "", 0},
      {-5, "ab\\", "\\", 3},  // a negative start counts as 0
      {0, "abcabc", "bc", 2},
      {2, "abcabc", "bc", 5},
      {0, "abc", "bcd", 0},  // a needle running past the end does not match
      {0, "abc", "abc", 1},
      {1, "aaa", "aa", 2},
      {6, "abcabc", "c", 0},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(str_find(c.start, c.text, c.needle), c.expected)
        << "start " << c.start << " text '" << c.text << "' needle '" << c.needle << "'";
  }
}

struct FieldCase {
  const char* text;
  const char* separator;
  int index;
  const char* expected;  // null: the shared empty text itself
};

TEST(StrField, SplitsWithoutEverYieldingAnEmptyInnerField) {
  const FieldCase cases[] = {
      {"C:\\Program Files\\X\\", "\\", 0, "C:"},
      {"C:\\Program Files\\X\\", "\\", 1, "Program Files"},
      {"C:\\Program Files\\X\\", "\\", 2, "X"},
      {"C:\\Program Files\\X\\", "\\", 3, nullptr},
      {"a\\\\b\\", "\\", 0, "a"},
      {"a\\\\b\\", "\\", 1, "\\b"},  // the second separator is skipped
      {"a\\\\b\\", "\\", 2, "b"},
      {"no separator", "\\", 0, nullptr},
      {"a\\b", "\\", 1, nullptr},  // the last field needs a closing separator
      {"\\x\\y\\", "\\", 0, "\\x"},  // a leading separator belongs to field 0
      {"\\x\\y\\", "\\", 1, "x"},  // field 1 starts after the first separator again
      {"", "\\", 0, nullptr},
      {"a\\", "\\", 5, nullptr},  // index past the length
      // Fields start one character after a separator's first character.
      {"one, two, three, ", ", ", 1, " two"},
  };
  for (const FieldCase& c : cases) {
    const char* field = str_field(c.text, c.separator, c.index);
    if (c.expected == nullptr) {
      EXPECT_EQ(field, kSharedEmptyText) << "'" << c.text << "' index " << c.index;
    } else {
      EXPECT_STREQ(field, c.expected) << "'" << c.text << "' index " << c.index;
      EXPECT_NE(field, c.text);
    }
  }
  EXPECT_STREQ(kSharedEmptyText, "");
}

TEST(StrSlices, LeftRightAndMidStayInsideTheText) {
  EXPECT_STREQ(str_left("setup.exe", 5), "setup");
  EXPECT_STREQ(str_left("ab", 5), "ab");
  EXPECT_STREQ(str_left("ab", 0), "");
  EXPECT_STREQ(str_left("ab", -3), "");

  const char* name = "setup.exe";
  EXPECT_STREQ(str_right(name, 3), "exe");
  EXPECT_EQ(str_right(name, 3), name + 6);  // a pointer into the text, no copy
  const char* two = "ab";
  EXPECT_EQ(str_right(two, 3), two);
  EXPECT_EQ(str_right(two, 2), two);
  EXPECT_STREQ(str_right(two, 0), "");

  EXPECT_STREQ(str_mid("abcdef", 2, 3), "bcd");
  EXPECT_STREQ(str_mid("abcdef", 1, 2), "ab");
  EXPECT_STREQ(str_mid("abcdef", 0, 2), "ab");
  EXPECT_STREQ(str_mid("abcdef", -4, 2), "ab");
  EXPECT_STREQ(str_mid("abcdef", 5, 10), "ef");
  EXPECT_STREQ(str_mid("abc", 10, 2), "");  // never steps past the end
}

TEST(StrSearch, FindsFirstOccurrenceOrTheTextForAnEmptyNeedle) {
  const char* text = "a\\b\\c";
  EXPECT_EQ(str_search(text, "\\"), text + 1);
  EXPECT_EQ(str_search(text, "b\\c"), text + 2);
  EXPECT_EQ(str_search(text, ""), text);
  EXPECT_EQ(str_search(text, "x"), nullptr);
  EXPECT_EQ(str_search(text, "c\\"), nullptr);
}

struct ReplaceCase {
  const char* text;
  const char* old_text;
  const char* new_text;
  int size;
  int expected_result;
  const char* expected_text;
};

TEST(StrReplaceFirst, ReplacesOnlyWhenTheResultFits) {
  const ReplaceCase cases[] = {
      {"a$b$", "$", "%", 260, 1, "a%b$"},
      {"abc", "b", "xyz", 260, 1, "axyzc"},
      {"abc", "b", "", 260, 1, "ac"},
      {"abc", "x", "y", 260, 0, "abc"},
      {"abc", "b", "b", 260, 0, "abc"},  // equal texts are never replaced
      {"abc", "b", "xy", 5, 1, "axyc"},   // 4 characters fit 5 bytes
      {"abc", "b", "xyz", 5, 0, "abc"},   // 5 characters do not
      {"abc", "a", "b", 3, 0, "abc"},     // the text is already at the limit
      {"\"C:\\x\"", "\"", "", 260, 1, "C:\\x\""},
  };
  for (const ReplaceCase& c : cases) {
    char buffer[64];
    strcpy(buffer, c.text);
    EXPECT_EQ(str_replace_first(buffer, c.old_text, c.new_text, c.size) != 0,
              c.expected_result != 0)
        << c.text;
    EXPECT_STREQ(buffer, c.expected_text) << c.text;
  }
}

struct CompareCase {
  const char* a;
  const char* b;
  int expected;
};

TEST(StrCompareNocase, FoldsAsciiLettersAndComparesSignedBytes) {
  const CompareCase cases[] = {
      {"%desktop%", "%DESKTOP%", 0},
      {"", "", 0},
      {"", "x", -1},
      {"x", "", 1},
      {"abc", "abd", -1},
      {"ABD", "abc", 1},
      {"ab", "abc", -1},
      {"[", "a", 1},  // 'a' folds to 'A', which is below '['
      {"\x80", "a", -1},  // bytes from 0x80 are negative
      {"a", "\x80", 1},
      {"\xE4", "\xC4", 1},  // no folding beyond ASCII
      {"\xB5\xC4", "\xB5\xC4", 0},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(str_compare_nocase(c.a, c.b), c.expected) << "'" << c.a << "' '" << c.b << "'";
  }
}

TEST(StrReverse, ReversesInPlace) {
  EXPECT_EQ(str_reverse(nullptr), nullptr);
  char empty[1] = "";
  EXPECT_EQ(str_reverse(empty), empty);
  const char* cases[][2] = {{"a", "a"}, {"ab", "ba"}, {"abc", "cba"}, {"abcd", "dcba"}};
  for (const auto& c : cases) {
    char buffer[8];
    strcpy(buffer, c[0]);
    EXPECT_EQ(str_reverse(buffer), buffer);
    EXPECT_STREQ(buffer, c[1]);
  }
}

TEST(CollapseDoubleBackslashes, LeavesSingleBackslashesAndKeepsNetworkPrefix) {
  const char* cases[][2] = {
      {"C:\\\\\\dir\\\\x", "C:\\dir\\x"},
      {"\\\\server\\share\\\\x", "\\\\server\\share\\x"},
      {"\\\\\\\\server\\x", "\\\\server\\x"},
      {"C:\\dir\\x", "C:\\dir\\x"},
      {"dir\\\\", "dir\\"},
      {"", ""},
  };
  for (const auto& c : cases) {
    char path[260];
    strcpy(path, c[0]);
    EXPECT_EQ(collapse_double_backslashes(path), path);
    EXPECT_STREQ(path, c[1]) << c[0];
  }
}

// A text of `length` characters with doubled backslashes, in a buffer with
// guard bytes behind it.
std::vector<char> long_path(size_t length, size_t buffer_size) {
  std::vector<char> buffer(buffer_size, 'G');
  for (size_t i = 0; i < length; ++i) buffer[i] = (i % 4 < 2) ? '\\' : 'd';
  buffer[length] = '\0';
  return buffer;
}

TEST(CollapseDoubleBackslashes, EndsAndStaysInsideItsBufferForLongTexts) {
  struct LongCase {
    size_t length;
    bool collapses;
  };
  // Each shortening is accepted while the result has at most 259 characters.
  const LongCase cases[] = {{259, true}, {260, true}, {261, false}, {1000, false}};
  for (const LongCase& c : cases) {
    std::vector<char> buffer = long_path(c.length, 1200);
    std::string before(buffer.data());
    collapse_double_backslashes(buffer.data());
    std::string after(buffer.data());
    if (c.collapses) {
      EXPECT_EQ(after.find("\\\\"), 0u) << c.length;  // only the network pair
      EXPECT_EQ(after.find("\\\\", 1), std::string::npos) << c.length;
    } else {
      EXPECT_EQ(after, before) << c.length;
    }
    for (size_t i = c.length + 1; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], 'G') << "length " << c.length << " wrote at " << i;
    }
  }
}

TEST(BoundedText, CopiesAppendsAndFormatsWithinTheBuffer) {
  char buffer[8];

  EXPECT_EQ(text_copy(buffer, sizeof buffer, "1234567"), 1);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(text_copy(buffer, sizeof buffer, "123456789"), 0);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(text_copy(buffer, 0, "x"), 0);

  text_copy(buffer, sizeof buffer, "abc");
  EXPECT_EQ(text_append(buffer, sizeof buffer, "defg"), 1);
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_EQ(text_append(buffer, sizeof buffer, "h"), 0);
  EXPECT_STREQ(buffer, "abcdefg");
  text_copy(buffer, sizeof buffer, "abc");
  EXPECT_EQ(text_append(buffer, sizeof buffer, "defghij"), 0);
  EXPECT_STREQ(buffer, "abcdefg");

  EXPECT_EQ(text_format(buffer, sizeof buffer, "%s%d", "ab", 12345), 1);
  EXPECT_STREQ(buffer, "ab12345");
  EXPECT_EQ(text_format(buffer, sizeof buffer, "%s%d", "ab", 123456), 0);
  EXPECT_STREQ(buffer, "ab12345");
  EXPECT_EQ(text_format(buffer, 0, "x"), 0);
}

TEST(BoundedText, AppendToAnUnterminatedBufferTerminatesIt) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(text_append(buffer, sizeof buffer, "x"), 0);
  EXPECT_STREQ(buffer, "abc");
}

TEST(BoundedText, CutFormatLosesTheSplitCharacterNotMore) {
  // "\xb2\xbb\xc4\xdc" is two characters of code page 936.
  struct Case {
    const char* name;
    const char* text;
    size_t size;
    const char* expected;
  };
  const char* const kText = "ab\xb2\xbb\xc4\xdc!";
  const Case cases[] = {
      {"FitsWhole", kText, 16, kText},
      {"CutAfterACharacter", kText, 5, "ab\xb2\xbb"},
      {"CutInsideACharacter", kText, 6, "ab\xb2\xbb"},
      {"CutInsideTheFirstCharacter", kText, 4, "ab"},
      // A byte of 0x80 or 0xFF leads no character here.
      {"NoLeadByte", "a\x80\xff\xff", 4, "a\x80\xff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    if (!text_format(buffer, c.size, "%s", c.text)) drop_split_character(buffer);
    EXPECT_STREQ(c.expected, buffer);
    // Nothing written past the given size.
    for (size_t i = c.size; i < sizeof buffer; ++i) EXPECT_EQ('x', buffer[i]);
  }
}

TEST(TextNew, GivesDistinctZeroFilledBuffers) {
  char* a = text_new(300);
  char* b = text_new(300);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(a[i], 0);
  memset(a, 'x', 300);  // the whole size is writable without touching b
  for (int i = 0; i < 300; ++i) ASSERT_EQ(b[i], 0);
}

}  // namespace
