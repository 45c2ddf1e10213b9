#include "pack/source_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using vpack_test::ScratchDir;

std::vector<std::string> names_of(const std::vector<vpack::Entry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(CollectDirectory, SortsNamesWithEachDirectoryBeforeItsContents) {
  ScratchDir dir;
  for (const char* f : {"b.txt", "a/z.txt", "a/y/x.txt", "a.txt", "a b/c", u8"中/文.txt"})
    dir.write(f, f);
  fs::create_directories(dir.path() / "empty");
  std::vector<vpack::Entry> entries;
  std::string error;
  ASSERT_TRUE(vpack::collect_directory(dir.path(), &entries, &error)) << error;
  EXPECT_EQ(names_of(entries),
            (std::vector<std::string>{"a b/", "a b/c", "a.txt", "a/", "a/y/", "a/y/x.txt",
                                      "a/z.txt", "b.txt", "empty/", "\xD6\xD0/",
                                      "\xD6\xD0/\xCE\xC4.txt"}));
  for (const auto& e : entries) {
    bool is_dir = e.name.back() == '/';
    EXPECT_EQ(e.source.empty(), is_dir) << e.name;
    EXPECT_TRUE(e.data.empty());
  }
}

TEST(CollectDirectory, StampsEntriesWithLocalModificationTime) {
  ScratchDir dir;
  fs::path f = dir.write("f", "x");
  struct tm when = {};
  when.tm_year = 2021 - 1900;
  when.tm_mon = 6;  // July
  when.tm_mday = 15;
  when.tm_hour = 13;
  when.tm_min = 45;
  when.tm_sec = 31;
  when.tm_isdst = -1;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = mktime(&when);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
  std::vector<vpack::Entry> entries;
  std::string error;
  ASSERT_TRUE(vpack::collect_directory(dir.path(), &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].dos_date, (41 << 9) | (7 << 5) | 15);
  EXPECT_EQ(entries[0].dos_time, (13 << 11) | (45 << 5) | 15);  // odd seconds round down
}

TEST(TimeZone, ReadsLocalUtcAndOffsetsWithinTheWorldsZones) {
  const std::pair<const char*, int> accepted[] = {
      {"UTC", 0},        {"utc", 0},       {"+08:00", 480}, {"+0800", 480}, {"+8", 480},
      {"-05:30", -330},  {"+14:00", 840},  {"-12:00", -720}, {"+05:45", 345}, {"-0", 0},
  };
  for (const auto& c : accepted) {
    vpack::TimeZone zone;
    ASSERT_TRUE(vpack::parse_time_zone(c.first, &zone)) << c.first;
    EXPECT_FALSE(zone.local) << c.first;
    EXPECT_EQ(zone.offset_minutes, c.second) << c.first;
  }
  vpack::TimeZone zone{false, 60};
  ASSERT_TRUE(vpack::parse_time_zone("Local", &zone));
  EXPECT_TRUE(zone.local);
  for (const char* refused : {"", "8", "+", "+14:01", "-12:30", "+08:60", "+8:0", "+123",
                              "+08:00x", "CST", "+aa:bb", "++8"}) {
    EXPECT_FALSE(vpack::parse_time_zone(refused, &zone)) << refused;
  }
}

TEST(CollectDirectory, WritesTimesAsTheClocksOfTheChosenZoneShowThem) {
  ScratchDir dir;
  fs::path f = dir.write("f", "x");
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = 1626356730;  // 2021-07-15 13:45:30 UTC
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
  struct {
    int offset;
    int day, hour, minute;
  } cases[] = {
      {0, 15, 13, 45}, {480, 15, 21, 45}, {-330, 15, 8, 15}, {840, 16, 3, 45}, {-720, 15, 1, 45},
  };
  for (const auto& c : cases) {
    std::vector<vpack::Entry> entries;
    std::string error;
    ASSERT_TRUE(vpack::collect_directory(dir.path(), &entries, &error,
                                         vpack::TimeZone{false, c.offset}))
        << error;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].dos_date, (41 << 9) | (7 << 5) | c.day) << c.offset;
    EXPECT_EQ(entries[0].dos_time, (c.hour << 11) | (c.minute << 5) | 15) << c.offset;
  }
}

TEST(DosDateTime, ClampsToTheRangeDosCanHold) {
  struct {
    int y, mo, d, h, mi, s;
    uint16_t date, time;
  } cases[] = {
      {1980, 1, 1, 0, 0, 0, 0x0021, 0x0000},
      {1979, 12, 31, 23, 59, 59, 0x0021, 0x0000},
      {2107, 12, 31, 23, 59, 58, 0xFF9F, 0xBF7D},
      {2200, 1, 1, 0, 0, 0, 0xFF9F, 0xBF7D},
      {2024, 2, 29, 12, 30, 60, 0x585D, 0x63DD},  // a leap second stays in its minute
  };
  for (const auto& c : cases) {
    uint16_t date = 0, time = 0;
    vpack::dos_date_time(c.y, c.mo, c.d, c.h, c.mi, c.s, &date, &time);
    EXPECT_EQ(date, c.date) << c.y;
    EXPECT_EQ(time, c.time) << c.y;
  }
}

TEST(CollectDirectory, RefusesWhatTheStubCannotExtract) {
  struct Case {
    const char* what;
    void (*make)(const ScratchDir&);
    const char* message_part;
  } cases[] = {
      {"symbolic link",
       [](const ScratchDir& d) {
         d.write("target", "t");
         fs::create_symlink(d.path() / "target", d.path() / "link");
       },
       "symbolic links are refused"},
      {"named pipe",
       [](const ScratchDir& d) { mkfifo((d.path() / "pipe").c_str(), 0600); },
       "special files are refused"},
      {"name outside code page 936",
       [](const ScratchDir& d) { d.write(u8"smile😀.txt", "s"); },
       "code page 936"},
      {"backslash in a name", [](const ScratchDir& d) { d.write("a\\b", "s"); },
       "Windows file names"},
      {"name too long for the stub",
       [](const ScratchDir& d) {
         d.write(std::string(130, 'd') + "/" + std::string(130, 'f'), "s");
       },
       "at most 256 fit"},
      // What Windows changes or reserves.
      {"trailing dot", [](const ScratchDir& d) { d.write("trail.", "s"); },
       "'trail.' would become 'trail'"},
      {"trailing blank on a folder", [](const ScratchDir& d) { d.write("sp /f", "s"); },
       "'sp ' would become 'sp'"},
      {"device name", [](const ScratchDir& d) { d.write("CON", "s"); }, "CON is a device name"},
      {"device name with extension", [](const ScratchDir& d) { d.write("sub/con.txt", "s"); },
       "CON is a device name"},
      {"device name as a folder", [](const ScratchDir& d) { d.write("Lpt9.d/x", "s"); },
       "LPT9 is a device name"},
      {"numbered device", [](const ScratchDir& d) { d.write("com1.log", "s"); }, "COM1"},
      {"auxiliary device", [](const ScratchDir& d) { d.write("aux.h", "s"); }, "AUX"},
      {"console input", [](const ScratchDir& d) { d.write("CONIN$", "s"); }, "CONIN$"},
      {"more bad names than are listed",
       [](const ScratchDir& d) {
         for (int i = 0; i < 25; ++i) d.write("n" + std::to_string(i) + ".", "s");
       },
       "n4.' would become 'n4')\nand 5 more names refused"},
      // Names Windows cannot keep apart.
      {"letter case",
       [](const ScratchDir& d) {
         d.write("Readme.txt", "1");
         d.write("readme.txt", "2");
       },
       "Readme.txt and "},
      {"folder and file in other case",
       [](const ScratchDir& d) {
         d.write("Docs/a", "1");
         d.write("docs", "2");
       },
       "differ only in letter case"},
      {"Cyrillic case",
       [](const ScratchDir& d) {
         d.write(u8"Жук.txt", "1");
         d.write(u8"жук.txt", "2");
       },
       "differ only in letter case"},
      {"full-width case",
       [](const ScratchDir& d) {
         d.write(u8"Ａ/x", "1");
         d.write(u8"ａ/x", "2");
       },
       "differ only in letter case"},
      {"Greek case",
       [](const ScratchDir& d) {
         d.write(u8"ΑΒΓ", "1");
         d.write(u8"αβγ", "2");
       },
       "differ only in letter case"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    c.make(dir);
    std::vector<vpack::Entry> entries;
    std::string error;
    EXPECT_FALSE(vpack::collect_directory(dir.path(), &entries, &error)) << c.what;
    EXPECT_NE(error.find(c.message_part), std::string::npos) << c.what << ": " << error;
  }
}

TEST(CollectDirectory, KeepsNamesWindowsCanHoldAndTheirUtf8Form) {
  ScratchDir dir;
  for (const char* f : {"CONFIG.SYS", "COM10", "nul_device", "LPT", "a.b.c", ".hidden",
                        "Console", u8"中/Ab", u8"中/aB.d/x", " lead"})
    dir.write(f, f);
  std::vector<vpack::Entry> entries;
  std::string error;
  ASSERT_TRUE(vpack::collect_directory(dir.path(), &entries, &error)) << error;
  std::vector<std::string> utf8;
  for (const auto& e : entries) utf8.push_back(e.utf8_name);
  EXPECT_EQ(utf8, (std::vector<std::string>{" lead", ".hidden", "COM10", "CONFIG.SYS", "Console",
                                            "LPT", "a.b.c", "nul_device", u8"中/", u8"中/Ab",
                                            u8"中/aB.d/", u8"中/aB.d/x"}));
  EXPECT_EQ(entries.back().name, "\xD6\xD0/aB.d/x");
}

TEST(CollectDirectory, RefusesAMissingSourceOrAFile) {
  ScratchDir dir;
  fs::path file = dir.write("file", "x");
  std::vector<vpack::Entry> entries;
  std::string error;
  EXPECT_FALSE(vpack::collect_directory(dir.path() / "missing", &entries, &error));
  EXPECT_NE(error.find("source directory not found"), std::string::npos) << error;
  EXPECT_FALSE(vpack::collect_directory(file, &entries, &error));
  EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
}

}  // namespace
