// Silent extraction end to end: real self-extracting files under Wine, the
// files they leave on disk and the message each failure ends with.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../host/forge.h"
#include "harness.h"
#include "shell_env.h"
#include "pack/config_block.h"
#include "pack/layout.h"
#include "pack/manifest.h"
#include "zlib.h"

namespace {

using e2e::DosStamp;
using e2e::dir_entry;
using e2e::dos_stamp;
using e2e::file_entry;

const char kDamaged[] = "不能读取文件信息。此文件可能已经损坏。";
const char kCannotExtract[] = "不能解压缩当前文件。";

// Both step over double-byte characters, whose trail byte may be 0x5C.
std::string replace_separator(std::string path, char from, char to) {
  for (size_t at : e2e::separators(path, from)) path[at] = to;
  return path;
}

std::string to_backslashes(const std::string& path) { return replace_separator(path, '/', '\\'); }

std::string to_slashes(const std::string& path) { return replace_separator(path, '\\', '/'); }

bool is_dir_name(const std::string& name) { return !name.empty() && to_slashes(name).back() == '/'; }



// Deterministic bytes: a text that deflates well or noise that does not.
std::string text_bytes(size_t size, unsigned seed = 1) {
  static const char* const kWords[] = {"extract", "archive", "folder", "entry", "目录", "文件",
                                       "stream", "block"};
  std::string out;
  unsigned state = seed;
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    out += kWords[(state >> 16) % 8];
    out += (state >> 8) % 11 == 0 ? '\n' : ' ';
  }
  out.resize(size);
  return out;
}

std::string noise_bytes(size_t size, unsigned seed = 7) {
  std::string out(size, '\0');
  unsigned state = seed;
  for (char& c : out) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return out;
}

// Every file and directory the entries make, as list_tree names them.
std::vector<std::string> tree_of(const std::vector<vpack::Entry>& entries) {
  std::set<std::string> names;
  for (const vpack::Entry& entry : entries) {
    std::string name = to_slashes(entry.name);
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      names.insert(name.substr(0, slash + 1));
    }
    if (!name.empty()) names.insert(name);
  }
  return std::vector<std::string>(names.begin(), names.end());
}

// Equal bytes, reported by size and first difference rather than in full.
::testing::AssertionResult same_bytes(const std::string& path, const std::string& expected) {
  std::string actual;
  if (!e2e::read_file(path, &actual)) return ::testing::AssertionFailure() << "cannot read " << path;
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << path << ": " << actual.size() << " bytes, expected "
                                       << expected.size() << ", first difference at " << at;
}

long long file_time_seconds(const SYSTEMTIME& time) {
  FILETIME file_time;
  if (!SystemTimeToFileTime(&time, &file_time)) return -1;
  ULARGE_INTEGER value;
  value.LowPart = file_time.dwLowDateTime;
  value.HighPart = file_time.dwHighDateTime;
  return static_cast<long long>(value.QuadPart / 10000000ull);
}

std::string describe(const SYSTEMTIME& t) {
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond);
  return text;
}

// The local last-write time of `path` equals `expected` to the DOS
// resolution of two seconds.
::testing::AssertionResult local_time_is(const std::string& path, const SYSTEMTIME& expected) {
  SYSTEMTIME actual;
  if (!e2e::local_write_time(path, &actual)) {
    return ::testing::AssertionFailure() << "no write time for " << path;
  }
  long long difference = file_time_seconds(actual) - file_time_seconds(expected);
  if (difference > -2 && difference < 2) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << ": written " << describe(actual) << ", expected "
                                       << describe(expected);
}

SYSTEMTIME system_time_of(DosStamp stamp) {
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>((stamp.date >> 9) + 1980);
  time.wMonth = static_cast<WORD>((stamp.date >> 5) & 15);
  time.wDay = static_cast<WORD>(stamp.date & 31);
  time.wHour = static_cast<WORD>(stamp.time >> 11);
  time.wMinute = static_cast<WORD>((stamp.time >> 5) & 63);
  time.wSecond = static_cast<WORD>((stamp.time & 31) * 2);
  return time;
}

// Bytes, names and times of the entries below `out`, and nothing else there.
void expect_extracted(const std::string& out, const std::vector<vpack::Entry>& entries) {
  EXPECT_EQ(e2e::list_tree(out), tree_of(entries));
  for (const vpack::Entry& entry : entries) {
    if (is_dir_name(entry.name)) continue;
    std::string path = out + to_backslashes(entry.name);
    EXPECT_TRUE(same_bytes(path, entry.data));
    EXPECT_TRUE(local_time_is(path, system_time_of({entry.dos_date, entry.dos_time})));
  }
}

using e2e::Site;
using e2e::expect_fatal;
using e2e::expect_silent_end;

bool write_sfx(const Site& site, e2e::Fixture fixture) {
  fixture.keys.insert(fixture.keys.end(), site.keys.begin(), site.keys.end());
  return e2e::write_file(site.exe, e2e::sfx_bytes(fixture));
}

// The stub and a block for `zip`, followed by `zip` exactly as given.
bool write_sfx_of_zip(const Site& site, const std::string& zip) {
  return e2e::write_file(
      site.exe, vpack::assemble_raw(e2e::stub_bytes(), vpack::build_config_block_for(site.keys, zip),
                                    zip));
}

using forge::ZipRecord;

ZipRecord record_named(const std::string& zip, const std::string& name) {
  for (const ZipRecord& record : forge::zip_records(zip)) {
    if (record.name == name) return record;
  }
  ADD_FAILURE() << "no entry " << name;
  return ZipRecord();
}

std::string archive_of(const std::vector<vpack::Entry>& entries, int level,
                       const std::string& comment = std::string()) {
  e2e::Fixture fixture;
  fixture.entries = entries;
  fixture.level = level;
  fixture.comment = comment;
  return e2e::archive_of(fixture);
}

// ---------------------------------------------------------------------------
// Archives that extract.

struct ExtractCase {
  const char* name;
  int level;
  std::vector<vpack::Entry> entries;
  std::string comment;
  // Empty file entries that old DOS and Windows tools mark as directories
  // by their attribute alone, without a final slash.
  std::vector<std::string> attribute_dirs = {};
};

std::vector<vpack::Entry> mixed_entries() {
  return {
      dir_entry("docs/", dos_stamp(2020, 5, 6, 7, 8, 10)),
      file_entry("docs/readme.txt", text_bytes(5000), dos_stamp(2021, 6, 15, 10, 20, 30)),
      file_entry("empty.bin", "", dos_stamp(1980, 1, 1, 0, 0, 0)),
      file_entry("one-block.bin", noise_bytes(65535), dos_stamp(2099, 12, 31, 23, 59, 58)),
      file_entry("two-blocks.bin", noise_bytes(65536, 3), dos_stamp(2001, 2, 3, 4, 5, 6)),
      file_entry("large.txt", text_bytes(300000, 9), dos_stamp(2010, 10, 10, 10, 10, 10)),
      // No directory entries before these: the retry creates the folders.
      file_entry("中文目录/说明文件.txt", "中文内容\r\n", dos_stamp(2024, 2, 29, 12, 0, 0)),
      file_entry("sub/dir/deep/f.txt", "deep", dos_stamp(2015, 7, 8, 9, 10, 12)),
      file_entry("win\\style\\name.txt", "backslashes", dos_stamp(2016, 1, 2, 3, 4, 6)),
      dir_entry("empty-dir/"),
  };
}

// More entries than the writer has slots and more bytes than its ring
// holds, large files among small ones: the ring wraps round many times.
std::vector<vpack::Entry> ring_entries() {
  std::vector<vpack::Entry> entries;
  for (unsigned k = 0; k < 600; ++k) {
    std::string name = "ring/d" + std::to_string(k % 7) + "/f" + std::to_string(k) + ".bin";
    size_t size = k % 150 == 75 ? (3u << 20) + k : (k * 7919u) % 20000u;
    entries.push_back(file_entry(name, k % 2 ? noise_bytes(size, k) : text_bytes(size, k)));
  }
  return entries;
}

void PrintTo(const ExtractCase& c, std::ostream* os) { *os << c.name; }

class ExtractsArchive : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractsArchive, WritesEveryEntryWithItsBytesNameAndTime) {
  const ExtractCase& c = GetParam();
  Site site(std::string("Extracts") + c.name, false);
  e2e::Fixture fixture;
  fixture.entries = c.entries;
  fixture.level = c.level;
  fixture.comment = c.comment;
  std::vector<vpack::Entry> expected = c.entries;
  if (c.attribute_dirs.empty()) {
    ASSERT_TRUE(write_sfx(site, fixture));
  } else {
    std::string zip = e2e::archive_of(fixture);
    for (const std::string& name : c.attribute_dirs) {
      zip[record_named(zip, name).central + 38] = 0x10;
      for (vpack::Entry& entry : expected) {
        if (entry.name == name) entry.name += '/';
      }
    }
    ASSERT_TRUE(write_sfx_of_zip(site, zip));
  }
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_extracted(site.out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractsArchive,
    ::testing::Values(
        ExtractCase{"Stored", 0, mixed_entries(), ""},
        ExtractCase{"Deflated", 6, mixed_entries(), ""},
        ExtractCase{"MoreThanTheWriterHolds", 6, ring_entries(), ""},
        ExtractCase{"BestCompression", 9, mixed_entries(), ""},
        // 奬, 嘰 and 乗 end in the byte of a backslash: no separator.
        ExtractCase{"TrailByteBackslash", 6,
                    {file_entry("一等奬", "award"), dir_entry("奬狀/"),
                     file_entry("奬狀/嘰.txt", "inside"), file_entry("乗/乗.txt", "no folder entry")},
                    ""},
        // The end record's signature is still the last four bytes the
        // reader may search.
        ExtractCase{"LongestComment", 6, {file_entry("a.txt", "after a long comment")},
                    std::string(65517, 'c')},
        ExtractCase{"DirectoryByAttributeOnly", 6,
                    {file_entry("abc", ""), file_entry("def", ""), file_entry("def/foo", "in def"),
                     dir_entry("ghi/")},
                    "", {"def"}}),
    [](const ::testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

TEST(Extraction, OverwritesAnExistingWritableFile) {
  Site site("OverwritesExisting", false);
  ASSERT_TRUE(e2e::make_dir(site.out));
  ASSERT_TRUE(e2e::write_file(site.out + "keep.txt", std::string(100000, 'o')));
  std::vector<vpack::Entry> entries = {file_entry("keep.txt", "new and shorter")};
  e2e::Fixture fixture;
  fixture.entries = entries;
  ASSERT_TRUE(write_sfx(site, fixture));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_extracted(site.out, entries);
}

TEST(Extraction, LastEntryOfANameWinsOverTheFilesBeforeIt) {
  // Each file may still be open for closing when the next of its name comes.
  Site site("SameNameAgain", false);
  e2e::Fixture fixture;
  for (unsigned k = 0; k < 40; ++k) {
    fixture.entries.push_back(file_entry("again.txt", text_bytes(k * 997, k)));
  }
  ASSERT_TRUE(write_sfx(site, fixture));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_extracted(site.out, {fixture.entries.back()});
}

TEST(Extraction, ConvertsNamesFlaggedUtf8ToCodePage936) {
  Site site("Utf8Names", false);
  vpack::Entry entry = file_entry(u8"统一码目录/名字.txt", "flagged", dos_stamp(2022, 3, 4, 5, 6, 8));
  entry.utf8_flag = true;
  e2e::Fixture fixture;
  fixture.entries = {entry};
  ASSERT_TRUE(write_sfx(site, fixture));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  vpack::Entry on_disk = entry;
  on_disk.name = "统一码目录/名字.txt";
  expect_extracted(site.out, {on_disk});
}

TEST(Extraction, DateTheSystemCannotConvertLeavesTheCreationTime) {
  Site site("ZeroDosDate", false);
  e2e::Fixture fixture;
  fixture.entries = {file_entry("undated.txt", "no date", DosStamp{0, 0})};
  ASSERT_TRUE(write_sfx(site, fixture));
  SYSTEMTIME before;
  GetLocalTime(&before);
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  EXPECT_TRUE(same_bytes(site.out + "undated.txt", "no date"));
  SYSTEMTIME written;
  ASSERT_TRUE(e2e::local_write_time(site.out + "undated.txt", &written));
  long long seconds_after_start = file_time_seconds(written) - file_time_seconds(before);
  EXPECT_GE(seconds_after_start, -2) << describe(written);
  EXPECT_LE(seconds_after_start, 120) << describe(written);
}

// The payload is found by its first local-header signature; an archive
// without entries carries one only in its comment, and the archive then
// counts from there: ZipSize makes the file's end the window's end.
TEST(Extraction, ArchiveWithoutEntriesWritesNothingAndShowsNothing) {
  Site site("NoEntries", false);
  std::string zip = archive_of({}, 6, "PK\x03\x04 no entries");
  ASSERT_EQ(zip.substr(22, 4), "PK\x03\x04");
  size_t counted = zip.size() - 22 + 4;
  ASSERT_TRUE(e2e::write_file(
      site.exe, vpack::assemble_raw(e2e::stub_bytes(),
                                    vpack::build_config_block(vpack::with_zip_size(site.keys, counted)),
                                    zip)));
  e2e::SilentRun run = e2e::run_silent(site.exe, site.dir);
  expect_silent_end(run);
  EXPECT_TRUE(run.windows.empty()) << run.windows.size() << " windows";
  EXPECT_TRUE(e2e::dir_exists(site.out));
  EXPECT_EQ(e2e::list_tree(site.out), std::vector<std::string>());
  EXPECT_EQ(e2e::list_tree(site.dir), std::vector<std::string>({"out/", "t.exe"}));
}

// The longest name and path that fit the buffers, and one byte more.
TEST(Extraction, LongestPathFitsAndOneByteMoreIsRefused) {
  Site site("LongestPath", false);
  // Components below the host file system's 255-byte limit.
  auto name_of_length = [](size_t length) {
    std::string name;
    while (name.size() + 100 < length) name += std::string(99, 'd') + "/";
    return name + std::string(length - name.size(), 'f');
  };
  size_t longest = 259 - site.out.size();
  vpack::Entry fits = file_entry(name_of_length(longest), "fits");
  e2e::Fixture fixture;
  fixture.entries = {fits};
  ASSERT_TRUE(write_sfx(site, fixture));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_extracted(site.out, {fits});

  Site longer("LongestPathPlusOne", false);
  fixture.entries = {file_entry(name_of_length(259 - longer.out.size() + 1), "too long")};
  ASSERT_TRUE(write_sfx(longer, fixture));
  expect_fatal(e2e::run_expecting_box(longer.exe, longer.dir), kCannotExtract, 0);
  EXPECT_EQ(e2e::list_tree(longer.out), std::vector<std::string>());
}

// ---------------------------------------------------------------------------
// Archives made by other tools, appended unchanged (see make_tool_archives.sh).

std::string tool_dir() { return to_backslashes(VANDREL_TOOL_ARCHIVES) + "\\"; }

// Every name below the roots, and the files' bytes and times there.
void expect_same_tree(const std::string& out, const std::vector<std::string>& roots) {
  std::set<std::string> expected;
  for (const std::string& root : roots) {
    for (const std::string& name : e2e::list_tree(tool_dir() + root)) expected.insert(name);
  }
  ASSERT_FALSE(expected.empty()) << "no tool archives in " << tool_dir();
  EXPECT_EQ(e2e::list_tree(out), std::vector<std::string>(expected.begin(), expected.end()));
  for (const std::string& root : roots) {
    for (const std::string& name : e2e::list_tree(tool_dir() + root)) {
      if (is_dir_name(name)) continue;
      std::string source = tool_dir() + root + "\\" + to_backslashes(name);
      std::string bytes;
      ASSERT_TRUE(e2e::read_file(source, &bytes)) << source;
      EXPECT_TRUE(same_bytes(out + to_backslashes(name), bytes));
      SYSTEMTIME source_time;
      ASSERT_TRUE(e2e::local_write_time(source, &source_time));
      EXPECT_TRUE(local_time_is(out + to_backslashes(name), source_time));
    }
  }
}

struct ToolCase {
  const char* name;
  const char* zip;
  std::vector<std::string> roots;
};

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.zip; }

class ExtractsToolArchive : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ExtractsToolArchive, AppendedUnchanged) {
  const ToolCase& c = GetParam();
  Site site(std::string("Tool") + c.name, false);
  std::string zip;
  ASSERT_TRUE(e2e::read_file(tool_dir() + c.zip, &zip)) << tool_dir() + c.zip;
  ASSERT_TRUE(write_sfx_of_zip(site, zip));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_same_tree(site.out, c.roots);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ExtractsToolArchive,
    ::testing::Values(ToolCase{"DebianZip", "debian-zip.zip", {"tree"}},
                      // Holds a Chinese name flagged as UTF-8.
                      ToolCase{"PythonZipfile", "python-zipfile.zip", {"tree", "tree-utf8"}},
                      // ZIP64 end record and locator, offsets from the archive's start.
                      ToolCase{"DebianZip64", "debian-zip64.zip", {"tree"}}),
    [](const ::testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

// An entry bigger than 32 bits can count: refused before the first entry
// is written.
TEST(Extraction, RefusesAnArchiveThatNeeds64BitSizesWhole) {
  Site site("ToolZip64Huge", false);
  std::string zip;
  ASSERT_TRUE(e2e::read_file(tool_dir() + "zip64-huge.zip", &zip));
  ASSERT_TRUE(write_sfx_of_zip(site, zip));
  expect_fatal(e2e::run_expecting_box(site.exe, site.dir), kDamaged, 0);
  EXPECT_EQ(e2e::list_tree(site.out), std::vector<std::string>());
}

// Offsets already counted from the start of the file, as zip -A leaves them.
TEST(Extraction, ExtractsArchiveWhoseOffsetsZipAdjusted) {
  Site site("ToolZipAdjusted", false);
  std::string exe;
  ASSERT_TRUE(e2e::read_file(tool_dir() + "zip-adjusted.exe", &exe));
  ASSERT_TRUE(e2e::write_file(site.exe, exe));
  // Its block names "out" below the working directory.
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_same_tree(site.out, {"tree"});
}

// A certificate table after the archive, as a publisher's signature leaves it.
TEST(Extraction, ExtractsSignedFile) {
  Site site("ToolSigned", false);
  std::string exe;
  ASSERT_TRUE(e2e::read_file(tool_dir() + "signed.exe", &exe));
  ASSERT_TRUE(e2e::write_file(site.exe, exe));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_same_tree(site.out, {"tree"});
}

// A stub whose level the builder rewrote still loads and extracts.
TEST(Extraction, ExtractsFileThatAsksForAdministratorRights) {
  Site site("AsksForAdministrator", false);
  std::string stub = e2e::stub_bytes();
  std::string error;
  ASSERT_EQ(vpack::write_execution_level(&stub, vpack::kRequireAdministrator, &error),
            vpack::kManifestFound)
      << error;
  std::vector<vpack::Entry> entries = {file_entry("setup.txt", "elevated")};
  std::string zip = archive_of(entries, 6);
  ASSERT_TRUE(e2e::write_file(
      site.exe, vpack::assemble_raw(stub, vpack::build_config_block_for(site.keys, zip), zip)));
  expect_silent_end(e2e::run_silent(site.exe, site.dir));
  expect_extracted(site.out, entries);
}

// ---------------------------------------------------------------------------
// Failures: the message, and what stays on disk.

struct FailureCase {
  const char* name;
  const char* message;
  // The system's code whose text follows the message; 0 for none.
  DWORD system_code;
  // The self-extracting file's bytes for the site's keys.
  std::function<std::string(const vpack::KeyList&)> sfx;
  // What the destination holds afterwards, as list_tree gives it.
  std::vector<std::string> tree;
  // Prepares the destination (it exists already); may be empty.
  std::function<void(const std::string& out)> prepare;
  // Further checks of the destination; may be empty.
  std::function<void(const std::string& out)> check;
  // Makes the program's writes fail (see kProbeWriteFaultEnv); empty: none.
  std::string write_fault = std::string();
};

std::string sfx_of(const vpack::KeyList& keys, const std::string& zip) {
  return vpack::assemble_raw(e2e::stub_bytes(), vpack::build_config_block_for(keys, zip), zip);
}

std::string sfx_of_entries(const vpack::KeyList& keys, const std::vector<vpack::Entry>& entries,
                           int level = 6) {
  return sfx_of(keys, archive_of(entries, level));
}

const std::string kFirstData = "written before the failure";

vpack::Entry first_entry() { return file_entry("first.txt", kFirstData); }

void expect_first_entry(const std::string& out) {
  EXPECT_TRUE(same_bytes(out + "first.txt", kFirstData));
}

// A self-extracting file whose second entry claims compression `method`.
std::function<std::string(const vpack::KeyList&)> unsupported_method_sfx(char method) {
  return [method](const vpack::KeyList& keys) {
    std::string zip = archive_of({first_entry(), file_entry("second.txt", "never written")}, 6);
    ZipRecord second = record_named(zip, "second.txt");
    zip[second.local + 8] = method;
    zip[second.central + 10] = method;
    return sfx_of(keys, zip);
  };
}

const std::string kLargeText = text_bytes(400000, 4);
const size_t kGoodPrefix = 200000;

// Raw deflate data of the first `kGoodPrefix` bytes of kLargeText, ended by
// `finish` (a complete stream) or by a full flush and a block of the
// reserved type 3, which the decoder rejects.
std::string deflate_prefix(bool finish) {
  z_stream stream = {};
  EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(kGoodPrefix + 1024, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kLargeText.data()));
  stream.avail_in = kGoodPrefix;
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, finish ? Z_FINISH : Z_FULL_FLUSH), finish ? Z_STREAM_END : Z_OK);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (!finish) out += '\x07';  // final block, type 3
  return out;
}

// kLargeText deflated, its data replaced by `data` (padded with zeros to the
// recorded compressed size).
std::function<std::string(const vpack::KeyList&)> damaged_deflate_sfx(bool finish) {
  return [finish](const vpack::KeyList& keys) {
    std::string zip = archive_of({first_entry(), file_entry("large.txt", kLargeText)}, 6);
    ZipRecord large = record_named(zip, "large.txt");
    std::string data = deflate_prefix(finish);
    EXPECT_LT(data.size(), large.compressed);
    data.resize(large.compressed, '\0');
    zip.replace(large.data, data.size(), data);
    return sfx_of(keys, zip);
  };
}

// Stored data carry no check of their own but the CRC-32.
const std::string kStoredData = noise_bytes(1000, 11);

std::string altered_stored_data() {
  std::string data = kStoredData;
  data[500] = static_cast<char>(data[500] ^ 0x20);
  return data;
}

std::string altered_stored_sfx(const vpack::KeyList& keys) {
  std::string zip = archive_of({file_entry("altered.bin", kStoredData), file_entry("after.txt", "x")}, 0);
  ZipRecord altered = record_named(zip, "altered.bin");
  zip[altered.data + 500] = altered_stored_data()[500];
  return sfx_of(keys, zip);
}

std::string no_zip_size_sfx(const vpack::KeyList& keys) {
  std::string zip = archive_of({file_entry("a.txt", "a")}, 6);
  return vpack::assemble_raw(e2e::stub_bytes(), vpack::build_config_block(keys), zip);
}

std::string long_comment_sfx(const vpack::KeyList& keys) {
  return sfx_of(keys, archive_of({file_entry("a.txt", "a")}, 6, std::string(65518, 'c')));
}

// The central directory names "lost/\0.txt" (its recorded length counts
// past the NUL), and so does the local header: cut at the NUL, the name
// would read as the directory entry "lost/" and its data would be dropped.
std::string nul_in_name_sfx(const vpack::KeyList& keys) {
  std::string zip = archive_of({first_entry(), file_entry("lost/x.txt", "data that must not vanish"),
                                file_entry("last.txt", "never")},
                               6);
  ZipRecord lost = record_named(zip, "lost/x.txt");
  zip[lost.central + 46 + 5] = '\0';
  zip[lost.local + 30 + 5] = '\0';
  return sfx_of(keys, zip);
}

// The local header names another file of the same length than the central
// directory does.
std::string local_name_differs_sfx(const vpack::KeyList& keys) {
  std::string zip = archive_of({first_entry(), file_entry("real.txt", "x"),
                                file_entry("last.txt", "never")},
                               6);
  ZipRecord real = record_named(zip, "real.txt");
  zip.replace(real.local + 30, 8, "fake.txt");
  return sfx_of(keys, zip);
}

std::string local_dir_name_differs_sfx(const vpack::KeyList& keys) {
  std::string zip = archive_of({first_entry(), dir_entry("real/"), file_entry("last.txt", "never")}, 6);
  ZipRecord real = record_named(zip, "real/");
  zip.replace(real.local + 30, 5, "fake/");
  return sfx_of(keys, zip);
}

// The end record's two entry counts (this disk's and the total) set to
// `count`, below the three entries its central directory holds; with
// `unreadable`, no record lies where the directory starts either.
std::function<std::string(const vpack::KeyList&)> end_record_counting(char count,
                                                                      bool unreadable = false) {
  return [count, unreadable](const vpack::KeyList& keys) {
    std::string zip = archive_of({first_entry(), file_entry("b.txt", "b"),
                                  file_entry("c.txt", "c")}, 6);
    if (unreadable) zip[record_named(zip, "first.txt").central] = 'Q';
    size_t end = zip.size() - 22;
    zip[end + 8] = zip[end + 10] = count;
    zip[end + 9] = zip[end + 11] = 0;
    return sfx_of(keys, zip);
  };
}

std::function<std::string(const vpack::KeyList&)> after_first(vpack::Entry entry) {
  return [entry](const vpack::KeyList& keys) {
    return sfx_of_entries(keys, {first_entry(), entry, file_entry("last.txt", "never")});
  };
}

vpack::Entry utf8_entry(const std::string& name) {
  vpack::Entry entry = file_entry(name, "flagged");
  entry.utf8_flag = true;
  return entry;
}

std::function<void(const std::string&)> make_directory(const std::string& name) {
  return [name](const std::string& out) {
    ASSERT_TRUE(e2e::make_dir(out + name)) << out + name;
  };
}

// The program's first write is its settings' temporary file, the second
// first.txt, then one per block of 65,535 bytes.
const char kFailsInLargeFile[] = "4,112";
const char kShortInLargeFile[] = "4,112,short";

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailsWithMessage : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailsWithMessage, AndLeavesWhatWasWritten) {
  const FailureCase& c = GetParam();
  Site site(std::string("Fails") + c.name, false);
  ASSERT_TRUE(e2e::write_file(site.exe, c.sfx(site.keys)));
  ASSERT_TRUE(e2e::make_dir(site.out));
  if (c.prepare) c.prepare(site.out);
  expect_fatal(e2e::run_expecting_box(site.exe, site.dir, "", c.write_fault), c.message,
               c.system_code);
  EXPECT_EQ(e2e::list_tree(site.out), c.tree);
  if (c.check) c.check(site.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailsWithMessage,
    ::testing::Values(
        FailureCase{"NoZipSize", kDamaged, 0, no_zip_size_sfx, {}, nullptr, nullptr},
        FailureCase{"CommentOneByteTooLong", kDamaged, 0, long_comment_sfx, {}, nullptr, nullptr},
        FailureCase{"LzmaMethodAfterGoodEntry", kDamaged, 0, unsupported_method_sfx(14),
                    {"first.txt"}, nullptr, expect_first_entry},
        // The reader would take method 12 for raw data and write the
        // compressed bytes as the file.
        FailureCase{"Bzip2MethodAfterGoodEntry", kDamaged, 0, unsupported_method_sfx(12),
                    {"first.txt"}, nullptr, expect_first_entry},
        // The file of damaged data goes, whether cut short or closed.
        FailureCase{"DamagedDeflateData", kDamaged, 0, damaged_deflate_sfx(false),
                    {"first.txt"}, nullptr, expect_first_entry},
        // A stream that ends before the recorded size reads as the end of
        // the entry, and the reader compares the CRC-32 only for a complete
        // entry: the cut is noticed by the byte count.
        FailureCase{"DeflateDataEndingEarly", kDamaged, 0, damaged_deflate_sfx(true),
                    {"first.txt"}, nullptr, expect_first_entry},
        FailureCase{"AlteredStoredEntry", kDamaged, ERROR_CRC, altered_stored_sfx, {}, nullptr,
                    nullptr},
        FailureCase{"FileBlockedWithoutSeparator", kCannotExtract, ERROR_ACCESS_DENIED,
                    after_first(file_entry("blocked.txt", "x")), {"blocked.txt/", "first.txt"},
                    make_directory("blocked.txt"), nullptr},
        FailureCase{"FileBlockedAfterRetry", kCannotExtract, ERROR_ACCESS_DENIED,
                    after_first(file_entry("sub/blocked.txt", "x")),
                    {"first.txt", "sub/", "sub/blocked.txt/"},
                    [](const std::string& out) {
                      make_directory("sub")(out);
                      make_directory("sub\\blocked.txt")(out);
                    },
                    nullptr},
        FailureCase{"ParentIsAFile", kCannotExtract, ERROR_PATH_NOT_FOUND, after_first(file_entry("plain/f.txt", "x")),
                    {"first.txt", "plain"},
                    [](const std::string& out) {
                      ASSERT_TRUE(e2e::write_file(out + "plain", "a file"));
                    },
                    nullptr},
        FailureCase{"NameOf260Bytes", kCannotExtract, 0,
                    after_first(file_entry(std::string(130, 'a') + "/" + std::string(129, 'b'), "x")),
                    {"first.txt"}, nullptr, expect_first_entry},
        FailureCase{"Utf8NameNotUtf8", kDamaged, 0, after_first(utf8_entry("bad-\xff\xfe.txt")),
                    {"first.txt"}, nullptr, expect_first_entry},
        // Once an existing file was overwritten, the system's last code says
        // "already exists": no such text may follow the damage.
        FailureCase{"DamagedAfterOverwrite", kDamaged, 0, damaged_deflate_sfx(false),
                    {"first.txt"},
                    [](const std::string& out) {
                      ASSERT_TRUE(e2e::write_file(out + "first.txt", "older"));
                    },
                    expect_first_entry},
        FailureCase{"NulInCentralName", kDamaged, 0, nul_in_name_sfx, {"first.txt"}, nullptr,
                    expect_first_entry},
        FailureCase{"LocalNameDiffers", kDamaged, 0, local_name_differs_sfx, {"first.txt"}, nullptr,
                    expect_first_entry},
        FailureCase{"LocalDirectoryNameDiffers", kDamaged, 0, local_dir_name_differs_sfx,
                    {"first.txt"}, nullptr, expect_first_entry},
        FailureCase{"EndRecordCountsNoEntries", kDamaged, 0, end_record_counting(0), {},
                    nullptr, nullptr},
        FailureCase{"EndRecordCountsTooFew", kDamaged, 0, end_record_counting(2), {}, nullptr,
                    nullptr},
        FailureCase{"EndRecordCountsNoEntriesOfAnUnreadableDirectory", kDamaged, 0,
                    end_record_counting(0, true), {}, nullptr, nullptr},
        FailureCase{"ColonInName", kCannotExtract, 0, after_first(file_entry("dir/a:b.txt", "x")),
                    {"first.txt"}, nullptr, expect_first_entry},
        // The file cut short by the full disk goes; the complete one stays.
        FailureCase{"DiskFullInSecondBlock", kCannotExtract, ERROR_DISK_FULL,
                    after_first(file_entry("large.txt", kLargeText)), {"first.txt"}, nullptr,
                    expect_first_entry, kFailsInLargeFile},
        FailureCase{"ShortWriteThenDiskFull", kCannotExtract, ERROR_DISK_FULL,
                    after_first(file_entry("large.txt", kLargeText)), {"first.txt"}, nullptr,
                    expect_first_entry, kShortInLargeFile},
        FailureCase{"DirectoryUnderAFile", kCannotExtract, ERROR_PATH_NOT_FOUND,
                    after_first(dir_entry("plain/sub/")), {"first.txt", "plain"},
                    [](const std::string& out) {
                      ASSERT_TRUE(e2e::write_file(out + "plain", "a file"));
                    },
                    expect_first_entry}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// A central record whose extra field is said to run far past the archive's
// end: the reader steps through that length two bytes at a time, and the
// steps beyond the end of the file must cost nothing, or the message comes
// only after most of a minute. Measured against the same archive damaged
// where the reader stops at once, so that the start and the box cost the
// same on both sides however busy the machine.
TEST(Extraction, ExtraFieldRunningPastTheEndFailsAtOnce) {
  std::string zip = archive_of({file_entry("never.txt", "x"), file_entry("last.txt", "never")},
                               6);
  ZipRecord first = record_named(zip, "never.txt");
  std::string past_end = zip;
  past_end[first.central + 30] = '\xff';
  past_end[first.central + 31] = '\xff';
  std::string bad_signature = zip;
  bad_signature[first.central + 3] = '\x07';
  DWORD took[2] = {0, 0};
  const std::string* damaged[2] = {&bad_signature, &past_end};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    Site site(i ? "ExtraFieldPastEnd" : "ExtraFieldPastEndControl", false);
    ASSERT_TRUE(e2e::write_file(site.exe, sfx_of(site.keys, *damaged[i])));
    ASSERT_TRUE(e2e::make_dir(site.out));
    const DWORD start = GetTickCount();
    e2e::FatalRun run = e2e::run_expecting_box(site.exe, site.dir);
    took[i] = GetTickCount() - start;
    expect_fatal(run, kDamaged, 0);
    EXPECT_EQ(e2e::list_tree(site.out), std::vector<std::string>());
  }
  EXPECT_LT(took[1], took[0] + 5000) << "the control took " << took[0] << " ms";
}

// Names that would land outside the destination: refused before anything of
// them is written, and nothing appears outside.
struct TraversalCase {
  const char* test_name;
  const char* entry_name;
};

const char kEscapedName[] = "vandrel-e2e-escaped";

std::vector<std::string> outside_paths(const Site& site) {
  char c_relative[MAX_PATH];
  GetFullPathNameA((std::string("C:") + kEscapedName).c_str(), MAX_PATH, c_relative, nullptr);
  std::string drive = site.dir.substr(0, 2);
  return {site.dir + kEscapedName, drive + "\\" + kEscapedName, std::string("C:\\") + kEscapedName,
          c_relative};
}

void PrintTo(const TraversalCase& c, std::ostream* os) { *os << c.entry_name; }

class RefusesTraversal : public ::testing::TestWithParam<TraversalCase> {};

TEST_P(RefusesTraversal, NothingWrittenOutside) {
  const TraversalCase& c = GetParam();
  Site site(std::string("Traversal") + c.test_name, false);
  for (const std::string& path : outside_paths(site)) {
    ASSERT_FALSE(e2e::file_exists(path) || e2e::dir_exists(path)) << "left from before: " << path;
  }
  std::string name = c.entry_name;
  vpack::Entry entry = is_dir_name(name) ? dir_entry(name) : file_entry(name, "escaped");
  ASSERT_TRUE(e2e::write_file(site.exe, after_first(entry)(site.keys)));
  expect_fatal(e2e::run_expecting_box(site.exe, site.dir), kCannotExtract, 0);
  EXPECT_EQ(e2e::list_tree(site.dir), std::vector<std::string>({"out/", "out/first.txt", "t.exe"}));
  expect_first_entry(site.out);
  for (const std::string& path : outside_paths(site)) {
    EXPECT_FALSE(e2e::file_exists(path) || e2e::dir_exists(path)) << "written outside: " << path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusesTraversal,
    ::testing::Values(TraversalCase{"Parent", "../vandrel-e2e-escaped"},
                      TraversalCase{"ParentBackslash", "..\\vandrel-e2e-escaped"},
                      TraversalCase{"InnerParents", "a/../../vandrel-e2e-escaped"},
                      TraversalCase{"ParentDirectory", "../vandrel-e2e-escaped/"},
                      TraversalCase{"LeadingSlash", "/vandrel-e2e-escaped"},
                      TraversalCase{"LeadingBackslash", "\\vandrel-e2e-escaped"},
                      TraversalCase{"DriveRelative", "C:vandrel-e2e-escaped"},
                      TraversalCase{"DriveAbsolute", "C:/vandrel-e2e-escaped"}),
    [](const ::testing::TestParamInfo<TraversalCase>& info) {
      return std::string(info.param.test_name);
    });

}  // namespace
