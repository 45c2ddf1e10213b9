#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/config_block.h"
#include "pack/payload_info.h"
#include "pack/layout.h"
#include "test_util.h"

namespace {

using vpack::Entry;
using vpack_test::fake_stub;
using vpack_test::file_entry;
using vpack_test::noise;

std::string zip_of(const std::vector<Entry>& entries, int level, const std::string& comment = "") {
  std::string zip, error;
  EXPECT_TRUE(vpack::build_archive(entries, level, &zip, &error, comment)) << error;
  return zip;
}

// Stub, block with the exact ZipSize, archive.
std::string payload_of(const std::string& zip, const vpack::KeyList& keys = {}) {
  std::string out, error;
  EXPECT_TRUE(vpack::assemble(fake_stub(), vpack::build_config_block_for(keys, zip), zip, &out,
                              &error))
      << error;
  return out;
}

std::vector<Entry> sample_tree() {
  Entry dir = file_entry("dir/", "");
  Entry inner = file_entry("dir/\xD6\xD0\xCE\xC4/", "");  // "中文/"
  return {file_entry("a.txt", "hello hello hello hello"),
          dir,
          file_entry("dir/empty", ""),
          file_entry("dir/full64k", noise(65536)),
          inner,
          file_entry("dir/\xD6\xD0\xCE\xC4/\xB2\xE2.txt", std::string(100000, 'q'), 0x5B8E,
                     0xA3C5)};
}

TEST(ArchiveRoundTrip, EveryEntryReadsBackAsWrittenAtEachLevel) {
  for (int level : {0, 1, 6, 9}) {
    std::vector<Entry> entries = sample_tree();
    vpack::PayloadReport report;
    std::string error;
    ASSERT_TRUE(vpack::inspect_bytes(payload_of(zip_of(entries, level)), true, &report, &error))
        << "level " << level << ": " << error;
    EXPECT_TRUE(report.verified);
    EXPECT_EQ(report.marker_offset, 40000u);
    ASSERT_EQ(report.entries.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      const vpack::EntryInfo& got = report.entries[i];
      bool is_dir = entries[i].name.back() == '/';
      EXPECT_EQ(got.name, entries[i].name);
      EXPECT_EQ(got.uncompressed_size, entries[i].data.size());
      EXPECT_EQ(got.dos_date, entries[i].dos_date);
      EXPECT_EQ(got.dos_time, entries[i].dos_time);
      EXPECT_EQ(got.method, level == 0 || is_dir ? 0 : 8) << got.name;
    }
  }
}

TEST(ArchiveRoundTrip, SameEntriesGiveTheSameBytes) {
  EXPECT_EQ(zip_of(sample_tree(), 6), zip_of(sample_tree(), 6));
}

TEST(ArchiveRoundTrip, StoreIfLargerKeepsIncompressibleDataStored) {
  vpack::ArchiveOptions options;
  options.store_if_larger = true;
  std::string zip, error;
  ASSERT_TRUE(vpack::build_archive({file_entry("noise", noise(5000)), file_entry("text", std::string(5000, 't'))},
                                   options, &zip, &error));
  vpack::PayloadReport report;
  ASSERT_TRUE(vpack::inspect_bytes(payload_of(zip), true, &report, &error)) << error;
  EXPECT_EQ(report.entries[0].method, 0);
  EXPECT_EQ(report.entries[1].method, 8);
}

TEST(ArchiveRoundTrip, Utf8FlagAndZeroDateArePreserved) {
  Entry e = file_entry(u8"名前.txt", "x", 0, 0);
  e.utf8_flag = true;
  vpack::PayloadReport report;
  std::string error;
  ASSERT_TRUE(vpack::inspect_bytes(payload_of(zip_of({e}, 6)), true, &report, &error)) << error;
  EXPECT_TRUE(report.entries[0].utf8_flag);
  EXPECT_EQ(report.entries[0].name, u8"名前.txt");
  EXPECT_EQ(report.entries[0].dos_date, 0);
  EXPECT_EQ(report.entries[0].dos_time, 0);
}

TEST(ArchiveRoundTrip, CommentUpTo65517BytesStaysWithinTheStubsReach) {
  std::vector<Entry> one = {file_entry("f", "data")};
  std::string error;
  vpack::PayloadReport report;
  std::string zip = zip_of(one, 6, std::string(65517, 'c'));
  ASSERT_TRUE(vpack::inspect_bytes(payload_of(zip), true, &report, &error)) << error;
  EXPECT_EQ(report.comment_length, 65517u);

  std::string far = zip_of(one, 6, std::string(65518, 'c'));
  std::string out;
  EXPECT_FALSE(vpack::assemble(fake_stub(), vpack::build_config_block_for({}, far), far, &out,
                               &error));
  EXPECT_NE(error.find("comment"), std::string::npos) << error;
  // The same file put together without checks is refused on reading.
  std::string raw = vpack::assemble_raw(fake_stub(), vpack::build_config_block_for({}, far), far);
  EXPECT_FALSE(vpack::inspect_bytes(raw, false, &report, &error));
  EXPECT_NE(error.find("65517"), std::string::npos) << error;
}

struct LayoutCase {
  const char* what;
  std::string stub;
  std::string block;  // empty: the correct block
  std::string zip;    // empty: the sample archive
  const char* message_part;
};

TEST(Layout, RefusesEveryPlacementTheStubCannotRead) {
  std::string zip = zip_of({file_entry("f", "data")}, 6);
  std::string good = vpack::build_config_block_for({}, zip);
  std::string with_marker = fake_stub();
  with_marker.replace(20000, 4, "[QV]");
  std::string with_early_marker = fake_stub();
  with_early_marker.replace(19999, 4, "[QV]");  // before the scan: harmless
  std::string empty_zip = zip_of({}, 6);
  const LayoutCase cases[] = {
      {"stub of 20000 bytes", fake_stub(20000), "", "", "larger than 20000"},
      {"stub of 500001 bytes", fake_stub(500001), "", "", "past offset 500000"},
      {"marker inside the stub", with_marker, "", "", "at offset 20000"},
      {"block without marker", fake_stub(), "[QW]\nZipSize=1\n", "", "does not start"},
      {"second marker", fake_stub(), good + "[QV]\n", "", "second [QV]"},
      {"signature in block", fake_stub(), good + "X=PK\x03\x04\n", "", "local-header signature"},
      {"no ZipSize", fake_stub(), "[QV]\nName=a\n", "", "no ZipSize"},
      {"wrong ZipSize", fake_stub(), "[QV]\nZipSize=1\n", "", "ZipSize is 1"},
      {"archive without entries", fake_stub(), vpack::build_config_block_for({}, empty_zip),
       empty_zip, "without entries"},
      {"block past the scan limit", fake_stub(499000), good + std::string(301010, ';') + "\n", "",
       "past the stub's scan limit"},
  };
  for (const LayoutCase& c : cases) {
    std::string out, error;
    const std::string& z = c.zip.empty() ? zip : c.zip;
    EXPECT_FALSE(vpack::assemble(c.stub, c.block.empty() ? good : c.block, z, &out, &error))
        << c.what;
    EXPECT_NE(error.find(c.message_part), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(out.empty()) << c.what;
  }
  std::string out, error;
  EXPECT_TRUE(vpack::assemble(with_early_marker, good, zip, &out, &error)) << error;
}

TEST(Layout, BlockMayReachTheLastArchiveOffsetTheStubScans) {
  std::string zip = zip_of({file_entry("f", "data")}, 6);
  std::string good = vpack::build_config_block_for({}, zip);
  std::string stub = fake_stub(499000);
  // The archive may start at offset 800004 but not one byte later.
  size_t fill = 800004 - stub.size() - good.size() - 1;
  std::string out, error;
  EXPECT_TRUE(vpack::assemble(stub, good + std::string(fill, ';') + "\n", zip, &out, &error))
      << error;
  EXPECT_FALSE(vpack::assemble(stub, good + std::string(fill + 1, ';') + "\n", zip, &out, &error));
}

TEST(Layout, MarkerIsFoundUpToOffset500000Only) {
  std::string zip = zip_of({file_entry("f", "data")}, 6);
  std::string block = vpack::build_config_block_for({}, zip);
  struct {
    size_t padding;
    bool found;
  } cases[] = {{500000 - 40000, true}, {500001 - 40000, false}};
  for (const auto& c : cases) {
    std::string file = vpack::assemble_raw(fake_stub(), block, zip, c.padding, 'y');
    vpack::PayloadReport report;
    std::string error;
    EXPECT_EQ(vpack::inspect_bytes(file, true, &report, &error), c.found) << error;
    if (c.found) {
      EXPECT_EQ(report.marker_offset, 40000 + c.padding);
    }
  }
}

// A payload behind a 32-bit PE header whose security directory names a
// certificate table of `table` bytes after `gap`, the way a signer appends it.
std::string signed_like(const std::string& payload, const std::string& gap, size_t table,
                        uint32_t offset_shift = 0) {
  std::string file = payload + gap + std::string(table, 'C');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
  };
  file[0] = 'M';
  file[1] = 'Z';
  put32(0x3C, 0x80);
  file.replace(0x80, 4, std::string("PE\0\0", 4));
  const size_t optional = 0x80 + 24;
  file[optional] = 0x0b;
  file[optional + 1] = 0x01;
  put32(optional + 92, 16);
  put32(optional + 96 + 4 * 8, static_cast<uint32_t>(payload.size() + gap.size()) + offset_shift);
  put32(optional + 96 + 4 * 8 + 4, static_cast<uint32_t>(table));
  return file;
}

TEST(Inspect, ReadsTheArchiveBeforeACertificateTable) {
  std::string payload = payload_of(zip_of({file_entry("f", "signed data")}, 6));
  struct {
    const char* what;
    std::string file;
    const char* message_part;  // null: the file reads
  } cases[] = {
      {"table right after", signed_like(payload, "", 1200), nullptr},
      {"signer's zero padding", signed_like(payload, std::string(7, '\0'), 800), nullptr},
      {"padding not zero", signed_like(payload, "1234567", 800), "before the certificate table"},
      {"gap of eight", signed_like(payload, std::string(8, '\0'), 800),
       "before the certificate table"},
      {"table not at the end", signed_like(payload, "", 800, 4) + "", "not at the end"},
  };
  for (const auto& c : cases) {
    vpack::PayloadReport report;
    std::string error;
    bool ok = vpack::inspect_bytes(c.file, true, &report, &error);
    if (!c.message_part) {
      EXPECT_TRUE(ok) << c.what << ": " << error;
      EXPECT_TRUE(report.verified) << c.what;
      EXPECT_EQ(report.certificate_offset + report.certificate_size, c.file.size()) << c.what;
      EXPECT_GT(report.certificate_size, 0u) << c.what;
    } else {
      EXPECT_FALSE(ok) << c.what;
      EXPECT_NE(error.find(c.message_part), std::string::npos) << c.what << ": " << error;
    }
  }
}

TEST(Inspect, ExplainsFilesTheStubWouldRefuse) {
  std::string zip = zip_of({file_entry("f", std::string(3000, 'd')), file_entry("g", "gg")}, 0);
  std::string good = payload_of(zip);
  std::string bad_data = good;
  bad_data[good.size() - zip.size() + 30 + 1 + 10] ^= 1;  // inside f's stored bytes
  std::string other_local_name = good;
  other_local_name[good.size() - zip.size() + 30] = 'F';
  std::string none_counted = good, one_counted = good;  // both counts of the end record
  for (size_t at : {good.size() - 22 + 8, good.size() - 22 + 10}) none_counted[at] = 0;
  for (size_t at : {good.size() - 22 + 8, good.size() - 22 + 10}) one_counted[at] = 1;
  std::string none_counted_unreadable = none_counted;  // nor a record where the directory starts
  none_counted_unreadable[good.find("PK\x01\x02")] = 'Q';
  std::string other_method = good;  // 12 in f's local header and central record
  other_method[good.size() - zip.size() + 8] = other_method[good.find("PK\x01\x02") + 10] = 12;
  struct {
    const char* what;
    std::string file;
    bool verify;
    const char* message_part;
  } cases[] = {
      {"bare stub", fake_stub(), false, "no [QV] marker"},
      {"marker only", fake_stub() + "[QV]\nZipSize=5\n", false, "no local-header signature"},
      {"cut short", good.substr(0, good.size() - 10), false, "no end-of-central-directory"},
      {"bytes after the archive", good + "tail", false, "no end-of-central-directory"},
      {"ZipSize too small",
       vpack::assemble_raw(fake_stub(), "[QV]\nZipSize=100\n", zip), false, "disagrees"},
      {"no ZipSize", vpack::assemble_raw(fake_stub(), "[QV]\nName=x\n", zip), false,
       "no ZipSize"},
      {"altered stored byte", bad_data, true, "CRC-32 mismatch"},
      {"local name differs", other_local_name, true, "local header names it otherwise"},
      {"method neither stored nor deflate", other_method, false, "method 12"},
      {"end record counts no entries", none_counted, true, "damaged end record"},
      {"end record counts too few", one_counted, true, "damaged end record"},
      {"end record counts no entries of an unreadable directory", none_counted_unreadable, true,
       "damaged end record"},
      {"name outside the destination", payload_of(zip_of({file_entry("a/../../x", "d")}, 0)),
       false, "outside the destination"},
  };
  for (const auto& c : cases) {
    vpack::PayloadReport report;
    std::string error;
    EXPECT_FALSE(vpack::inspect_bytes(c.file, c.verify, &report, &error)) << c.what;
    EXPECT_NE(error.find(c.message_part), std::string::npos) << c.what << ": " << error;
  }
  // Listing does not decompress, so the altered byte passes it, as in the stub.
  vpack::PayloadReport report;
  std::string error;
  EXPECT_TRUE(vpack::inspect_bytes(bad_data, false, &report, &error)) << error;
}

}  // namespace
