#include "archive/archive_base.h"

namespace {

uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t end_record_in_tail(const unsigned char* tail, uint32_t length) {
  for (uint32_t at = length < 4 ? 0 : length - 4 + 1; at-- > 0;) {
    if (le32(tail + at) == 0x06054b50) return at;
  }
  return length;
}

uint32_t zip64_archive_base(const unsigned char* tail, uint32_t length, uint32_t first) {
  const uint32_t kLocator = 20, kZip64EndRecord = 56;
  uint32_t at = end_record_in_tail(tail, length);
  if (at == length || at < kLocator + kZip64EndRecord) return 0;
  const unsigned char* locator = tail + at - kLocator;
  const unsigned char* record = locator - kZip64EndRecord;
  // The recorded offset must fit 32 bits; otherwise the reader refuses it.
  if (le32(locator) != 0x07064b50 || le32(record) != 0x06064b50 || le32(locator + 12) != 0) {
    return 0;
  }
  uint32_t recorded = le32(locator + 8);
  uint32_t actual = first + static_cast<uint32_t>(record - tail);
  return actual > recorded ? actual - recorded : 0;
}
