// What the builder checks about the Windows side: the stub it appends to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/stub_image.h"

namespace {

void put32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

// An MZ header pointing at a PE file header at 0x80.
std::string pe_image(uint16_t machine, uint16_t characteristics, size_t size = 1024) {
  std::string s(size, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  put32(&s, 0x3C, 0x80);
  s.replace(0x80, 4, std::string("PE\0\0", 4));
  s[0x84] = static_cast<char>(machine & 0xFF);
  s[0x85] = static_cast<char>(machine >> 8);
  s[0x84 + 18] = static_cast<char>(characteristics & 0xFF);
  s[0x84 + 19] = static_cast<char>(characteristics >> 8);
  return s;
}

TEST(StubImage, AcceptsI386AndX8664ProgramsAndNamesTheMachine) {
  const std::pair<uint16_t, const char*> cases[] = {{0x14C, "i386"}, {0x8664, "x86-64"}};
  for (const auto& c : cases) {
    vpack::StubImage image;
    std::string error;
    EXPECT_TRUE(vpack::check_stub_image(pe_image(c.first, 0x0102), "s.exe", &image, &error))
        << error;
    EXPECT_EQ(image.machine, c.second);
  }
}

TEST(StubImage, RefusesWhatIsNotAWindowsProgram) {
  std::string pe_past_end = pe_image(0x14C, 0x0102);
  put32(&pe_past_end, 0x3C, 0xFFFFFFF0u);
  std::string ne = pe_image(0x14C, 0x0102);
  ne.replace(0x80, 4, std::string("NE\0\0", 4));
  const std::pair<std::string, const char*> cases[] = {
      {std::string(), "s.exe: not a Windows program (no MZ header)"},
      {std::string(40000, 'x'), "no MZ header"},
      {"\x7F" "ELF" + std::string(4000, '\0'), "s.exe: an ELF file, not a Windows program"},
      {"MZ", "no MZ header"},
      {pe_past_end, "without a PE header"},
      {ne, "without a PE header"},
      {pe_image(0x14C, 0x0102).substr(0, 0x90), "without a PE header"},
      {pe_image(0x1C0, 0x0102), "machine 0x01C0; the stub must be i386 or x86-64"},
      {pe_image(0xAA64, 0x0022), "machine 0xAA64"},
      {pe_image(0x14C, 0x2102), "a library or object"},
      {pe_image(0x8664, 0x0000), "a library or object"},
  };
  for (const auto& c : cases) {
    vpack::StubImage image;
    std::string error;
    EXPECT_FALSE(vpack::check_stub_image(c.first, "s.exe", &image, &error)) << c.second;
    EXPECT_NE(error.find(c.second), std::string::npos) << error;
  }
}

}  // namespace
