#include "config/payload_scan.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

struct MemoryFile {
  std::string bytes;
  bool fail_reads = false;
  int reads = 0;
};

long read_memory(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  MemoryFile* file = static_cast<MemoryFile*>(context);
  ++file->reads;
  if (file->fail_reads) return -1;
  if (offset >= file->bytes.size()) return 0;
  size_t n = file->bytes.size() - offset;
  if (n > size) n = size;
  memcpy(buffer, file->bytes.data() + offset, n);
  return static_cast<long>(n);
}

const std::string kMarker = std::string("[QV") + "]";
const std::string kSignature("PK\x03\x04", 4);

// A file of `size` filler bytes with the marker and the signature placed.
std::string make_file(size_t size, long marker_at, long signature_at) {
  std::string bytes(size, 'x');
  if (marker_at >= 0) bytes.replace(marker_at, 4, kMarker);
  if (signature_at >= 0) bytes.replace(signature_at, 4, kSignature);
  return bytes;
}

struct ScanCase {
  const char* name;
  size_t size;
  long marker_at;
  long signature_at;
  PayloadScanResult expected;
};

class PayloadScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(PayloadScan, FindsPayloadOnlyWithinTheScanLimits) {
  const ScanCase& c = GetParam();
  MemoryFile file{make_file(c.size, c.marker_at, c.signature_at)};
  PayloadLocation location = {};
  ASSERT_EQ(c.expected, locate_payload(read_memory, &file, &location));
  if (c.expected == kPayloadFound) {
    EXPECT_EQ(static_cast<uint32_t>(c.marker_at), location.marker_offset);
    EXPECT_EQ(static_cast<uint32_t>(c.signature_at - 4), location.archive_start);
  }
  // Locating the payload costs a handful of reads, not one per byte.
  EXPECT_LT(file.reads, 30);
}

const long kBlock = 64 * 1024;

INSTANTIATE_TEST_SUITE_P(
    Offsets, PayloadScan,
    ::testing::Values(
        ScanCase{"MarkerAtFirstOffset", 30000, 20000, 20100, kPayloadFound},
        ScanCase{"MarkerBeforeScanStartIsNotFound", 30000, 19999, 20100, kPayloadNotFound},
        ScanCase{"MarkerAtLastOffset", 600000, 500000, 500004, kPayloadFound},
        ScanCase{"MarkerBeyondScanLimitIsNotFound", 600000, 500001, 500010, kPayloadNotFound},
        ScanCase{"MarkerStraddlingTwoBlocks", 200000, 20000 + kBlock - 5, 150000, kPayloadFound},
        ScanCase{"SignatureStraddlingTwoBlocks", 300000, 20000, 20000 + 4 + kBlock - 2, kPayloadFound},
        ScanCase{"SignatureRightAfterMarker", 30000, 25000, 25004, kPayloadFound},
        ScanCase{"SignatureAtCounterLimit", 900000, 400000, 800004, kPayloadFound},
        ScanCase{"SignatureBeyondCounterLimitIsNotFound", 900000, 400000, 800005, kPayloadNotFound},
        ScanCase{"SignatureBeforeMarkerIsIgnored", 40000, 30000, 25000, kPayloadNotFound},
        ScanCase{"NoPayload", 100000, -1, -1, kPayloadNotFound},
        ScanCase{"FileShorterThanScanStart", 10000, -1, -1, kPayloadNotFound}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return info.param.name; });

TEST(PayloadScanEnd, PartialWindowAtEndOfFileNeverMatches) {
  // The file ends with the first three bytes of the marker; a scanner that
  // compared stale buffer bytes would see "[QV]" there.
  MemoryFile file{make_file(100000, -1, -1)};
  file.bytes.replace(50000, 4, kMarker);  // primes the buffer with the marker
  file.bytes.erase(50000, 4);
  file.bytes += kMarker.substr(0, 3);
  PayloadLocation location = {};
  EXPECT_EQ(kPayloadNotFound, locate_payload(read_memory, &file, &location));

  MemoryFile signature_file{make_file(70000, 30000, -1)};
  signature_file.bytes += kSignature.substr(0, 3);
  EXPECT_EQ(kPayloadNotFound, locate_payload(read_memory, &signature_file, &location));
}

TEST(PayloadScanEnd, FailedReadIsReported) {
  MemoryFile file{make_file(100000, 30000, 30004)};
  file.fail_reads = true;
  PayloadLocation location = {};
  EXPECT_EQ(kPayloadReadFailed, locate_payload(read_memory, &file, &location));
}

}  // namespace
