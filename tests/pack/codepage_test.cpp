#include "pack/codepage.h"

#include <gtest/gtest.h>

namespace {

struct Conversion {
  const char* utf8;
  const char* cp936;  // nullptr: must be refused
};

const Conversion kConversions[] = {
    {"", ""},
    {"plain ASCII 123", "plain ASCII 123"},
    {u8"中文", "\xD6\xD0\xCE\xC4"},
    {u8"測", "\x9C\x79"},        // traditional form, present in the GBK extension
    {u8"億", "\x83\x7C"},        // second byte equals '|'
    {u8"€", "\x80"},             // the code page's single-byte euro sign
    {u8"😀", nullptr},           // outside the Basic Multilingual Plane
    {u8"ä", nullptr},            // no form in the code page
    {u8"한", nullptr},           // Hangul syllables are absent
    {"\xFF\xFE", nullptr},       // not UTF-8
    {"ab\xE4\xB8", nullptr},     // truncated sequence
};

TEST(Codepage, ConvertsExactlyOrRefuses) {
  for (const Conversion& c : kConversions) {
    std::string out;
    bool ok = vpack::utf8_to_cp936(c.utf8, &out);
    if (c.cp936 == nullptr) {
      EXPECT_FALSE(ok) << c.utf8 << " gave " << out;
    } else {
      ASSERT_TRUE(ok) << c.utf8;
      EXPECT_EQ(out, c.cp936) << c.utf8;
      std::string back;
      ASSERT_TRUE(vpack::cp936_to_utf8(out, &back));
      EXPECT_EQ(back, c.utf8);
    }
  }
}

TEST(Codepage, DisplayEscapesBytesOutsideTheCodePage) {
  EXPECT_EQ(vpack::cp936_for_display("\xD6\xD0"), u8"中");
  // A lone lead byte cannot be decoded: shown as hex, not dropped.
  EXPECT_EQ(vpack::cp936_for_display("a\xD6"), "a\\xD6");
}

}  // namespace
