#include "archive/archive_window.h"

#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/entry_checks.h"
#include "archive/entry_name.h"

namespace {

struct CountedFile {
  std::string bytes;
  int reads = 0;
};

long read_counted(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  CountedFile* file = static_cast<CountedFile*>(context);
  ++file->reads;
  if (offset >= file->bytes.size()) return 0;
  size_t n = file->bytes.size() - offset < size ? file->bytes.size() - offset : size;
  memcpy(buffer, file->bytes.data() + offset, n);
  return static_cast<long>(n);
}

long read_failing(void*, uint32_t, unsigned char*, uint32_t) { return -1; }

void put(std::string* s, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) *s += static_cast<char>(i < 8 ? value >> (8 * i) : 0);
}

// An entry of a stored archive, with the damage to give it.
struct Item {
  std::string name, data;
  std::string local_name = "";  // when it differs from the central name
  int method = 0;
  bool sizes_64 = false;  // a ZIP64 field gives 5 GiB
  uint32_t crc_flip = 0;
  uint32_t size_claim = 0;  // recorded beyond the stored bytes
};

// Offsets count from the archive's first byte, as when it is appended
// unchanged; `zip64` ends it with ZIP64 records that the reader must use.
std::string stored_zip(const std::vector<Item>& items, bool zip64 = false) {
  std::string zip, central;
  for (const Item& it : items) {
    uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(it.data.data()),
                         static_cast<uInt>(it.data.size())) ^ it.crc_flip;
    uint64_t size = it.data.size(), claim = size + it.size_claim;
    std::string local = it.local_name.empty() ? it.name : it.local_name, extra;
    if (it.sizes_64) put(&extra, 0x00100001, 4), put(&extra, 5ull << 30, 8), put(&extra, size, 8);
    put(&central, 0x02014b50, 4), put(&central, 0x00140014, 4), put(&central, it.method << 16, 4);
    put(&central, 0, 4), put(&central, crc, 4);
    put(&central, it.sizes_64 ? 0xFFFFFFFFFFFFFFFFull : size | claim << 32, 8);
    put(&central, it.name.size() | extra.size() << 16, 4), put(&central, 0, 10);
    put(&central, zip.size(), 4), central += it.name + extra;
    put(&zip, 0x04034b50, 4), put(&zip, 20, 4), put(&zip, it.method, 2), put(&zip, 0, 4);
    put(&zip, crc, 4), put(&zip, size | claim << 32, 8), put(&zip, local.size(), 4);
    zip += local + it.data;
  }
  uint64_t count = items.size(), at = zip.size(), record = at + central.size();
  zip += central;
  if (zip64) {
    put(&zip, 0x06064b50, 4), put(&zip, 44, 8), put(&zip, 0x002d002d, 4), put(&zip, 0, 8);
    put(&zip, count, 8), put(&zip, count, 8), put(&zip, central.size(), 8), put(&zip, at, 8);
    put(&zip, 0x07064b50, 4), put(&zip, 0, 4), put(&zip, record, 8), put(&zip, 1, 4);
    count = 0xFFFF, at = 0xFFFFFFFF;
  }
  put(&zip, 0x06054b50, 8), put(&zip, count | count << 16, 4), put(&zip, central.size(), 4);
  put(&zip, at, 4), put(&zip, 0, 2);
  return zip;
}

// Walks the archive in `file` as the extraction does, up to the first fault.
EntryVerdict walk(const std::string& file, uint32_t start, uint32_t zip_size) {
  CountedFile f{file};
  std::unique_ptr<ArchiveWindow> window(new ArchiveWindow());
  if (!archive_window_open(window.get(), read_counted, &f, file.size(), start, zip_size))
    return kEntryUnreadable;
  zlib_filefunc_def hooks;
  archive_window_hooks(window.get(), &hooks);
  unzFile archive = unzOpen2("file", &hooks);
  if (!archive) return kEntryUnreadable;
  EntryVerdict verdict = check_entry_sizes(archive, window.get());
  for (int more = unzGoToFirstFile(archive); verdict == kEntrySound && more == UNZ_OK;
       more = unzGoToNextFile(archive)) {
    unz_file_info info;
    char name[kPathBufferSize], data[100];
    verdict = read_entry_record(archive, &info, name);
    bool directory = verdict == kEntrySound && entry_is_directory(info, name);
    if (verdict == kEntrySound) verdict = open_entry(archive, window.get(), info, directory);
    if (verdict != kEntrySound || directory) continue;
    int got, total = 0;
    while ((got = unzReadCurrentFile(archive, data, sizeof data)) > 0) total += got;
    verdict = got < 0 ? kEntryUnreadable : close_entry(archive, info, total);
  }
  unzClose(archive);
  return verdict;
}

TEST(ArchiveWindow, ReaderTakesWhatTheExtractionTakes) {
  std::string prefix(40000, 'x'), name259(259, 'n');
  Item good{"dir/f.txt", "some data"}, dir{"dir/", ""};
  Item other_name = good, other_length = good, nul = good, method = good, method_dir = dir;
  other_name.local_name = "dir/F.txt", other_length.local_name = "dir/ff.txt";
  nul.name = std::string("dir/\0x", 6), method.method = 12, method_dir.method = 14;
  Item sizes_64 = good, crc = good, short_data = good;
  sizes_64.sizes_64 = true, crc.crc_flip = 1, short_data.size_claim = 3;
  // The end record counts no entry while its central directory has a size:
  // no record where the directory starts, or a size that lands inside one.
  std::string uncounted = stored_zip({good});
  uncounted.replace(uncounted.size() - 14, 4, std::string(4, '\0'));
  std::string misplaced = uncounted;
  uncounted[uncounted.find("PK\x01\x02")] = 'Q';
  misplaced[misplaced.size() - 10] -= 1;
  struct {
    const char* what;
    std::string zip;
    std::string after;  // beyond the window end E
    EntryVerdict verdict;
  } cases[] = {
      {"sound", stored_zip({dir, good}), "", kEntrySound},
      {"no entries", stored_zip({}), "", kEntrySound},
      {"no entries counted, no record where the directory starts", uncounted, "",
       kEntryCountDiffers},
      {"no entries counted, a directory size landing inside a record", misplaced, "",
       kEntryCountDiffers},
      {"ZIP64 records counted from the archive's start", stored_zip({dir, good}, true), "",
       kEntrySound},
      {"bytes beyond E that hide the end record from a search of the file's end",
       stored_zip({good}), std::string(70000, 'c'), kEntrySound},
      {"local name differs", stored_zip({dir, other_name}), "", kEntryLocalNameDiffers},
      {"local name of another length", stored_zip({other_length}), "", kEntryUnreadable},
      {"NUL in the central name", stored_zip({nul}), "", kEntryNameHasNul},
      {"name of 259 bytes", stored_zip({{name259, "x"}}), "", kEntrySound},
      {"name of 260 bytes", stored_zip({{name259 + "n", "x"}}), "", kEntryNameTooLong},
      {"file of another method", stored_zip({dir, method}), "", kEntryMethodUnknown},
      {"directory of another method", stored_zip({method_dir, good}), "", kEntrySound},
      {"64-bit sizes after a sound entry", stored_zip({good, sizes_64}), "",
       kEntryNeeds64BitSizes},
      {"CRC-32 differs", stored_zip({crc}), "", kEntryCrcMismatch},
      {"data end before the recorded size", stored_zip({short_data}), "", kEntrySizeDiffers},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(walk(prefix + c.zip + c.after, 40000, static_cast<uint32_t>(c.zip.size())),
              c.verdict)
        << c.what;
  }
}

TEST(ArchiveWindow, ReadsCostWhatTheStubPays) {
  CountedFile file;
  for (uint32_t i = 0; i < 300000; ++i) file.bytes += static_cast<char>(i * 7 + (i >> 9));
  const uint32_t kEnd = 300000, kBig = kReadWindowSize;
  struct Read {
    uint32_t offset, size;
  };
  struct {
    const char* what;
    std::vector<Read> reads;
    int file_reads;
  } cases[] = {
      {"small reads within one window", {{0, 4}, {4, 26}, {100, 1000}}, 1},
      {"two places in turn keep a window each",
       {{0, 30}, {200000, 46}, {30, 10}, {200046, 46}, {40, 100}}, 2},
      {"a third place refills the window used less recently",
       {{0, 4}, {100000, 4}, {0, 4}, {200000, 4}, {0, 4}, {100000, 4}}, 4},
      {"a read straddling a window's end refills from its offset",
       {{0, 4}, {kBig - 6, 10}, {kBig, 4}, {0, 4}}, 2},
      {"a read as large as a window goes straight to the file, keeping both windows",
       {{0, 4}, {200000, 4}, {100000, kBig}, {8, 4}, {200008, 4}}, 3},
      {"past the end of the file", {{kEnd, 10}, {kEnd + 100000, 2}}, 0},
      {"the end of the file answers short", {{kEnd - 10, 100}, {kEnd - 5, 5}}, 1},
  };
  for (const auto& c : cases) {
    file.reads = 0;
    std::unique_ptr<ArchiveWindow> window(new ArchiveWindow());
    ASSERT_TRUE(archive_window_open(window.get(), read_counted, &file, kEnd, 0, 0));
    for (const Read& r : c.reads) {
      std::string got(r.size, '\0');
      long n = archive_window_read(window.get(), r.offset, &got[0], r.size);
      std::string want = r.offset < kEnd ? file.bytes.substr(r.offset, r.size) : "";
      EXPECT_EQ(got.substr(0, n < 0 ? 0 : n), want) << c.what << " at " << r.offset;
    }
    EXPECT_EQ(file.reads, c.file_reads) << c.what;
  }
  std::unique_ptr<ArchiveWindow> window(new ArchiveWindow());
  EXPECT_FALSE(archive_window_open(window.get(), read_counted, &file, 0x80000000u, 0, 0));
  ASSERT_FALSE(archive_window_open(window.get(), read_failing, nullptr, kEnd, 0, 1000));
  char byte;
  EXPECT_EQ(archive_window_read(window.get(), 0, &byte, 1), -1);
}

}  // namespace
