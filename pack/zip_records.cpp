#include "pack/zip_records.h"

namespace vpack {

uint16_t read_u16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t read_u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool find_end_record(const std::string& bytes, EndRecord* record) {
  if (bytes.size() < 22) return false;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  uint64_t last = bytes.size() - 22;
  uint64_t first = last > 0xFFFF ? last - 0xFFFF : 0;
  for (uint64_t at = last + 1; at-- > first;) {
    const unsigned char* p = b + at;
    if (p[0] != 'P' || p[1] != 'K' || p[2] != 5 || p[3] != 6) continue;
    uint16_t comment = read_u16(p + 20);
    if (at + 22 + comment != bytes.size()) continue;
    record->offset = at;
    record->entries = read_u16(p + 10);
    record->directory_size = read_u32(p + 12);
    record->directory_offset = read_u32(p + 16);
    record->comment_length = comment;
    return true;
  }
  return false;
}

}  // namespace vpack
