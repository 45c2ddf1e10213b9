// The end-of-central-directory record, found the way the stub's reader finds it.
#pragma once
#include <stdint.h>

#include <string>

namespace vpack {

// The stub searches 65,535 bytes back from four bytes before the archive's
// end, so the 22-byte record plus its comment must fit in that window.
const uint32_t kLongestReachableComment = 65517;

struct EndRecord {
  uint64_t offset = 0;  // of the signature, within the searched bytes
  uint16_t entries = 0;
  uint32_t directory_size = 0;
  uint32_t directory_offset = 0;
  uint16_t comment_length = 0;
};

// The last end record in `bytes` whose comment runs exactly to the end.
bool find_end_record(const std::string& bytes, EndRecord* record);

uint16_t read_u16(const unsigned char* p);
uint32_t read_u32(const unsigned char* p);

}  // namespace vpack
