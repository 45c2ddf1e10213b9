#include "util/text.h"

#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

struct FindCase {
  int start;
  const wchar_t* text;
  const wchar_t* needle;
  int expected;
};

TEST(StrFind, GivesOneBasedPositionAtOrAfterStart) {
  const FindCase cases[] = {
      {0, L"ab\\", L"\\", 3},
      {3, L"ab\\", L"\\", 0},
      {4, L"ab\\", L"\\", 0},  // start past the length
      {2, L"ab\\", L"\\", 3},
      {0, L"ab\\", L"", 0},
      {0, L"", L"", 0},
      {-5, L"ab\\", L"\\", 3},  // a negative start counts as 0
      {0, L"abcabc", L"bc", 2},
      {2, L"abcabc", L"bc", 5},
      {0, L"abc", L"bcd", 0},  // a needle running past the end does not match
      {0, L"abc", L"abc", 1},
      {1, L"aaa", L"aa", 2},
      {6, L"abcabc", L"c", 0},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(str_find(c.start, c.text, c.needle), c.expected)
        << "start " << c.start << " text '" << c.text << "' needle '" << c.needle << "'";
  }
}

struct FieldCase {
  const wchar_t* text;
  const wchar_t* separator;
  int index;
  const wchar_t* expected;  // null: the shared empty text itself
};

TEST(StrField, SplitsWithoutEverYieldingAnEmptyInnerField) {
  const FieldCase cases[] = {
      {L"C:\\Program Files\\X\\", L"\\", 0, L"C:"},
      {L"C:\\Program Files\\X\\", L"\\", 1, L"Program Files"},
      {L"C:\\Program Files\\X\\", L"\\", 2, L"X"},
      {L"C:\\Program Files\\X\\", L"\\", 3, nullptr},
      {L"a\\\\b\\", L"\\", 0, L"a"},
      {L"a\\\\b\\", L"\\", 1, L"\\b"},  // the second separator is skipped
      {L"a\\\\b\\", L"\\", 2, L"b"},
      {L"no separator", L"\\", 0, nullptr},
      {L"a\\b", L"\\", 1, nullptr},  // the last field needs a closing separator
      {L"\\x\\y\\", L"\\", 0, L"\\x"},  // a leading separator belongs to field 0
      {L"\\x\\y\\", L"\\", 1, L"x"},  // field 1 starts after the first separator again
      {L"", L"\\", 0, nullptr},
      {L"a\\", L"\\", 5, nullptr},  // index past the length
      // Fields start one character after a separator's first character.
      {L"one, two, three, ", L", ", 1, L" two"},
  };
  for (const FieldCase& c : cases) {
    const wchar_t* field = str_field(c.text, c.separator, c.index);
    if (c.expected == nullptr) {
      EXPECT_EQ(field, kSharedEmptyText) << "'" << c.text << "' index " << c.index;
    } else {
      EXPECT_STREQ(field, c.expected) << "'" << c.text << "' index " << c.index;
      EXPECT_NE(field, c.text);
    }
    // The copying form gives the same field without a new text, and
    // refuses a buffer one character too small.
    wchar_t copy[64];
    EXPECT_EQ(str_field_copy(c.text, c.separator, c.index, copy, 64), 1);
    EXPECT_STREQ(copy, field) << "'" << c.text << "' index " << c.index;
    const size_t length = wcslen(field);
    if (length > 0) {
      EXPECT_EQ(str_field_copy(c.text, c.separator, c.index, copy, length), 0);
    }
  }
  EXPECT_STREQ(kSharedEmptyText, L"");
}

TEST(StrSlices, LeftRightAndMidStayInsideTheText) {
  EXPECT_STREQ(str_left(L"setup.exe", 5), L"setup");
  EXPECT_STREQ(str_left(L"ab", 5), L"ab");
  EXPECT_STREQ(str_left(L"ab", 0), L"");
  EXPECT_STREQ(str_left(L"ab", -3), L"");

  const wchar_t* name = L"setup.exe";
  EXPECT_STREQ(str_right(name, 3), L"exe");
  EXPECT_EQ(str_right(name, 3), name + 6);  // a pointer into the text, no copy
  const wchar_t* two = L"ab";
  EXPECT_EQ(str_right(two, 3), two);
  EXPECT_EQ(str_right(two, 2), two);
  EXPECT_STREQ(str_right(two, 0), L"");

  EXPECT_STREQ(str_mid(L"abcdef", 2, 3), L"bcd");
  EXPECT_STREQ(str_mid(L"abcdef", 1, 2), L"ab");
  EXPECT_STREQ(str_mid(L"abcdef", 0, 2), L"ab");
  EXPECT_STREQ(str_mid(L"abcdef", -4, 2), L"ab");
  EXPECT_STREQ(str_mid(L"abcdef", 5, 10), L"ef");
  EXPECT_STREQ(str_mid(L"abc", 10, 2), L"");  // never steps past the end
}

TEST(StrSearch, FindsFirstOccurrenceOrTheTextForAnEmptyNeedle) {
  const wchar_t* text = L"a\\b\\c";
  EXPECT_EQ(str_search(text, L"\\"), text + 1);
  EXPECT_EQ(str_search(text, L"b\\c"), text + 2);
  EXPECT_EQ(str_search(text, L""), text);
  EXPECT_EQ(str_search(text, L"x"), nullptr);
  EXPECT_EQ(str_search(text, L"c\\"), nullptr);
}

struct ReplaceCase {
  const wchar_t* text;
  const wchar_t* old_text;
  const wchar_t* new_text;
  int size;
  int expected_result;
  const wchar_t* expected_text;
};

TEST(StrReplaceFirst, ReplacesOnlyWhenTheResultFits) {
  const ReplaceCase cases[] = {
      {L"a$b$", L"$", L"%", 260, 1, L"a%b$"},
      {L"abc", L"b", L"xyz", 260, 1, L"axyzc"},
      {L"abc", L"b", L"", 260, 1, L"ac"},
      {L"abc", L"x", L"y", 260, 0, L"abc"},
      {L"abc", L"b", L"b", 260, 0, L"abc"},  // equal texts are never replaced
      {L"abc", L"b", L"xy", 5, 1, L"axyc"},   // 4 characters fit 5 bytes
      {L"abc", L"b", L"xyz", 5, 0, L"abc"},   // 5 characters do not
      {L"abc", L"a", L"b", 3, 0, L"abc"},     // the text is already at the limit
      {L"\"C:\\x\"", L"\"", L"", 260, 1, L"C:\\x\""},
  };
  for (const ReplaceCase& c : cases) {
    wchar_t buffer[64];
    wcscpy(buffer, c.text);
    EXPECT_EQ(str_replace_first(buffer, c.old_text, c.new_text, c.size) != 0,
              c.expected_result != 0)
        << c.text;
    EXPECT_STREQ(buffer, c.expected_text) << c.text;
  }
}

struct CompareCase {
  const wchar_t* a;
  const wchar_t* b;
  int expected;
};

TEST(StrCompareNocase, FoldsAsciiLettersOnly) {
  const CompareCase cases[] = {
      {L"%desktop%", L"%DESKTOP%", 0},
      {L"", L"", 0},
      {L"", L"x", -1},
      {L"x", L"", 1},
      {L"abc", L"abd", -1},
      {L"ABD", L"abc", 1},
      {L"ab", L"abc", -1},
      {L"[", L"a", 1},  // L'a' folds to L'A', which is below L'['
      {L"\x80", L"a", 1},
      {L"\xE4", L"\xC4", 1},  // no folding beyond ASCII
      {L"\x4E2D\x6587", L"\x4E2D\x6587", 0},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(str_compare_nocase(c.a, c.b), c.expected) << "'" << c.a << "' '" << c.b << "'";
  }
}

TEST(CollapseDoubleBackslashes, LeavesSingleBackslashesAndKeepsNetworkPrefix) {
  const wchar_t* cases[][2] = {
      {L"C:\\\\\\dir\\\\x", L"C:\\dir\\x"},
      {L"\\\\server\\share\\\\x", L"\\\\server\\share\\x"},
      {L"\\\\\\\\server\\x", L"\\\\server\\x"},
      {L"C:\\dir\\x", L"C:\\dir\\x"},
      {L"dir\\\\", L"dir\\"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    wchar_t path[260];
    wcscpy(path, c[0]);
    EXPECT_EQ(collapse_double_backslashes(path), path);
    EXPECT_STREQ(path, c[1]) << c[0];
  }
}

// A text of `length` characters with doubled backslashes, in a buffer with
// guard bytes behind it.
std::vector<wchar_t> long_path(size_t length, size_t buffer_size) {
  std::vector<wchar_t> buffer(buffer_size, L'G');
  for (size_t i = 0; i < length; ++i) buffer[i] = (i % 4 < 2) ? L'\\' : L'd';
  buffer[length] = L'\0';
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
    std::vector<wchar_t> buffer = long_path(c.length, 1200);
    std::wstring before(buffer.data());
    collapse_double_backslashes(buffer.data());
    std::wstring after(buffer.data());
    if (c.collapses) {
      EXPECT_EQ(after.find(L"\\\\"), 0u) << c.length;  // only the network pair
      EXPECT_EQ(after.find(L"\\\\", 1), std::wstring::npos) << c.length;
    } else {
      EXPECT_EQ(after, before) << c.length;
    }
    for (size_t i = c.length + 1; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], L'G') << "length " << c.length << " wrote at " << i;
    }
  }
}

TEST(BoundedText, CopiesAppendsAndFormatsWithinTheBuffer) {
  wchar_t buffer[8];

  EXPECT_EQ(text_copy(buffer, std::size(buffer), L"1234567"), 1);
  EXPECT_STREQ(buffer, L"1234567");
  EXPECT_EQ(text_copy(buffer, std::size(buffer), L"123456789"), 0);
  EXPECT_STREQ(buffer, L"1234567");
  EXPECT_EQ(text_copy(buffer, 0, L"x"), 0);

  text_copy(buffer, std::size(buffer), L"abc");
  EXPECT_EQ(text_append(buffer, std::size(buffer), L"defg"), 1);
  EXPECT_STREQ(buffer, L"abcdefg");
  EXPECT_EQ(text_append(buffer, std::size(buffer), L"h"), 0);
  EXPECT_STREQ(buffer, L"abcdefg");
  text_copy(buffer, std::size(buffer), L"abc");
  EXPECT_EQ(text_append(buffer, std::size(buffer), L"defghij"), 0);
  EXPECT_STREQ(buffer, L"abcdefg");

  EXPECT_EQ(text_format(buffer, std::size(buffer), L"%ls%d", L"ab", 12345), 1);
  EXPECT_STREQ(buffer, L"ab12345");
  EXPECT_EQ(text_format(buffer, std::size(buffer), L"%ls%d", L"ab", 123456), 0);
  EXPECT_STREQ(buffer, L"ab12345");
  EXPECT_EQ(text_format(buffer, 0, L"x"), 0);
}

TEST(BoundedText, AppendToAnUnterminatedBufferTerminatesIt) {
  wchar_t buffer[4] = {L'a', L'b', L'c', L'd'};
  EXPECT_EQ(text_append(buffer, std::size(buffer), L"x"), 0);
  EXPECT_STREQ(buffer, L"abc");
}

TEST(BoundedText, CutFormatLosesTheSplitCharacterNotMore) {
  // U+1F600 takes a surrogate pair; a cut between its halves drops the first.
  struct Case {
    const char* name;
    const wchar_t* text;
    size_t size;
    const wchar_t* expected;
  };
  const wchar_t* const kText = L"ab\xD83D\xDE00\x4E2D!";
  const Case cases[] = {
      {"FitsWhole", kText, 16, kText},
      {"CutAfterAPair", kText, 5, L"ab\xD83D\xDE00"},
      {"CutInsideAPair", kText, 4, L"ab"},
      {"CutBeforeAPair", kText, 3, L"ab"},
      {"LowHalfAloneStays", L"a\xDE00" L"b", 3, L"a\xDE00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wchar_t buffer[16];
    wmemset(buffer, L'x', std::size(buffer));
    if (!text_format(buffer, c.size, L"%ls", c.text)) drop_split_character(buffer);
    EXPECT_STREQ(c.expected, buffer);
    // Nothing written past the given size.
    for (size_t i = c.size; i < std::size(buffer); ++i) EXPECT_EQ(L'x', buffer[i]);
  }
}

TEST(TextNew, GivesDistinctZeroFilledBuffers) {
  wchar_t* a = text_new(300);
  wchar_t* b = text_new(300);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(a[i], 0);
  wmemset(a, L'x', 300);  // the whole size is writable without touching b
  for (int i = 0; i < 300; ++i) ASSERT_EQ(b[i], 0);
}

}  // namespace
