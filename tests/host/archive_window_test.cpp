#include "archive/archive_window.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

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
