// What the builder checks about the Windows side: the stub it appends to,
// the room the stub's paths leave, the names Windows cannot tell apart, and
// the names other tools read.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/path_settings.h"
#include "pack/stub_image.h"
#include "pack/windows_names.h"
#include "pack/zip_records.h"
#include "test_util.h"

namespace {

using vpack::Entry;
using vpack::KeyList;
using vpack_test::file_entry;

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

TEST(PathRoom, WarnsOrRefusesWhenTheLongestNameLeavesTooLittleForTheDestination) {
  struct Case {
    size_t longest;
    KeyList keys;
    bool accepted;
    const char* warning_part;  // empty: no warning
    const char* error_part;
  } cases[] = {
      {200, {}, true, "", ""},
      {227, {}, true, "", ""},  // 31 + 1 + 227 = 259
      {228, {}, true, "leaves 30 bytes for the destination folder, and the default "
                      "destination typically takes 31", ""},
      {200, {{"AutoExtract", "1"}}, true, "", ""},
      {220, {{"AutoExtract", "1"}}, true, "typically takes 40", ""},
      {150, {{"DefaultPath", "$startmenu$\\Group\\App"}}, true, "", ""},
      {180, {{"DefaultPath", "$startmenu$\\Group\\App"}}, true,
       "DefaultPath $startmenu$\\Group\\App typically takes 85", ""},
      {220, {{"DefaultPath", "App"}}, true, "", ""},  // below the current directory: 35
      {230, {{"DefaultPath", "App"}}, true, "typically takes 35", ""},
      {150, {{"DefaultPath", "D:\\Apps\\$USERNAME$\\x"}}, true, "", ""},
      {220, {{"DefaultPath", "D:\\Apps\\$USERNAME$\\x"}}, true, "typically takes 50", ""},
      // Without variables the destination is known: too long is certain.
      {250, {{"DefaultPath", "C:\\A"}}, true, "", ""},  // 4 + 1 + 250 = 255
      {200, {{"DefaultPath", "C:\\" + std::string(60, 'd') + "\\"}}, false, "",
       "leaves 58 bytes for the destination folder, but DefaultPath C:\\ddd"},
      {256, {{"DefaultPath", "C:\\"}}, true, "", ""},
      {256, {{"DefaultPath", "\\\\server\\share"}}, false, "", "takes 14"},
  };
  for (const Case& c : cases) {
    std::vector<Entry> entries = {file_entry("a", "x"),
                                  file_entry(std::string(c.longest - 2, 'n') + ".t", "y")};
    std::string warning, error;
    bool accepted = vpack::check_path_room(entries, c.keys, &warning, &error);
    SCOPED_TRACE(std::to_string(c.longest) + (c.keys.empty() ? "" : " " + c.keys[0].second));
    EXPECT_EQ(accepted, c.accepted) << error;
    if (*c.warning_part) {
      EXPECT_NE(warning.find(c.warning_part), std::string::npos) << warning;
    } else {
      EXPECT_EQ(warning, "");
    }
    EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
  }
}

// The extra fields of every record with `signature` ("PK\1\2" or "PK\3\4"),
// keyed by the record's name.
std::vector<std::pair<std::string, std::string>> extra_fields(const std::string& zip,
                                                              const std::string& signature) {
  bool central = signature[2] == 1;
  std::vector<std::pair<std::string, std::string>> out;
  for (size_t at = zip.find(signature); at != std::string::npos;
       at = zip.find(signature, at + 4)) {
    auto* p = reinterpret_cast<const unsigned char*>(zip.data() + at);
    size_t name_length = vpack::read_u16(p + (central ? 28 : 26));
    size_t extra_length = vpack::read_u16(p + (central ? 30 : 28));
    size_t header = central ? 46 : 30;
    out.emplace_back(zip.substr(at + header, name_length),
                     zip.substr(at + header + name_length, extra_length));
  }
  return out;
}

// Whether a standard user may write there, row by row as Windows decides.
TEST(Elevation, AutoAsksForAdministratorRightsOnlyWhereAStandardUserCannotWrite) {
  struct Row {
    const char* path;
    bool destination, link;  // needs administrator rights as DefaultPath, as a link file
  };
  const Row rows[] = {
      {"", false, false},
      {"$desktop$\\MyApp", false, false},
      {"$startmenu$\\MyApp", false, false},
      {"$curdir$\\MyApp", false, false},
      {"%temp%\\MyApp", false, false},
      {"MyApp\\Program Files", false, false},
      {"\\\\server\\share\\MyApp", false, false},
      {"C:\\MyApp", false, true},  // a folder may be made in the root, a file not
      {"C:\\", true, false},
      {"C:", true, false},
      {"%SystemDrive%", true, false},
      {"$SYSTEMDRIVE$\\", true, false},
      {"%SystemDrive%\\MyApp", false, true},
      {"E:\\", true, false},
      {"$programfiles$\\MyApp", true, true},
      {"%ProgramFiles%\\MyApp", true, true},
      {"$PROGRAMFILES(X86)$\\MyApp", true, true},
      {"%CommonProgramFiles%\\Vendor", true, true},
      {"$sysdir$\\drivers", true, true},
      {"$windir$\\Fonts", true, true},
      {"%SystemRoot%", true, true},
      {"C:\\Program Files\\MyApp", true, true},
      {"c:/program files (x86)/MyApp", true, true},
      {"C:\\\\Program Files\\MyApp", true, true},
      {"\\Program Files\\MyApp", true, true},
      {"D:\\Program Files\\MyApp", true, true},
      {"C:\\PROGRA~1\\MyApp", true, true},
      {"C:\\progra~2", true, true},
      {"C:\\Program Files Tools\\MyApp", false, false},
      {"C:\\Windows.old", false, true},
      {"%windir%\\Temp\\MyApp", false, false},
      {"C:\\WINDOWS\\Temp", false, true},
      {"%PUBLIC%", true, false},
      {"%PUBLIC%\\Desktop", true, true},
      {"C:\\Users\\Public\\Desktop\\MyApp", true, true},
      {"%PUBLIC%\\Documents\\MyApp", false, false},
      {"%ProgramData%\\MyApp", false, false},
      {"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs", true, true},
      {"%ALLUSERSPROFILE%\\Microsoft\\Windows\\Start Menu", true, true},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(vpack::destination_needs_administrator(r.path), r.destination) << r.path;
    EXPECT_EQ(vpack::link_needs_administrator(r.path), r.link) << r.path;
  }
}

TEST(UnicodePath, NonAsciiNamesCarryTheirUtf8FormWithTheStoredNamesCrc) {
  Entry ascii = file_entry("plain.txt", "a");
  ascii.utf8_name = "plain.txt";
  Entry chinese = file_entry("\xD6\xD0/\xCE\xC4.txt", "b");  // 中/文.txt
  chinese.utf8_name = u8"中/文.txt";
  Entry folder = file_entry("\xD6\xD0/", "");
  folder.utf8_name = u8"中/";
  Entry unnamed = file_entry("\xB2\xE2", "c");  // no UTF-8 form given: no field
  std::string zip, error;
  ASSERT_TRUE(vpack::build_archive({ascii, folder, chinese, unnamed}, 6, &zip, &error)) << error;
  for (const char* signature : {"PK\x01\x02", "PK\x03\x04"}) {
    auto fields = extra_fields(zip, signature);
    ASSERT_EQ(fields.size(), 4u);
    std::vector<std::string> expected_utf8 = {"", u8"中/", u8"中/文.txt", ""};
    for (size_t i = 0; i < fields.size(); ++i) {
      const std::string& name = fields[i].first;
      const std::string& extra = fields[i].second;
      SCOPED_TRACE(std::string(signature + 2, 1) == "\x01" ? "central " + name : "local " + name);
      if (expected_utf8[i].empty()) {
        EXPECT_EQ(extra, "");
        continue;
      }
      ASSERT_EQ(extra.size(), 4 + 1 + 4 + expected_utf8[i].size());
      auto* p = reinterpret_cast<const unsigned char*>(extra.data());
      EXPECT_EQ(vpack::read_u16(p), 0x7075);
      EXPECT_EQ(vpack::read_u16(p + 2), extra.size() - 4);
      EXPECT_EQ(p[4], 1);
      EXPECT_EQ(vpack::read_u32(p + 5),
                crc32(0, reinterpret_cast<const Bytef*>(name.data()),
                      static_cast<uInt>(name.size())));
      EXPECT_EQ(extra.substr(9), expected_utf8[i]);
    }
  }
}

TEST(WindowsNames, CaseFoldingMakesOneNameOfBothCases) {
  const std::pair<const char*, const char*> same[] = {
      {"Readme.TXT", "readme.txt"}, {u8"Ёж", u8"ёЖ"}, {u8"ΣΑΣ", u8"σας"},
      {u8"ＡＢ", u8"ａｂ"},        {u8"Ⅻ", u8"ⅻ"},    {u8"中文A", u8"中文a"},
  };
  for (const auto& c : same)
    EXPECT_EQ(vpack::case_folded(c.first), vpack::case_folded(c.second)) << c.first;
  const std::pair<const char*, const char*> different[] = {
      {"a", "b"}, {u8"中", u8"文"}, {"a_", "A-"}, {"[", "{"},
  };
  for (const auto& c : different)
    EXPECT_NE(vpack::case_folded(c.first), vpack::case_folded(c.second)) << c.first;
}

}  // namespace
