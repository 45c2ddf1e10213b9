// Puts stub, configuration block and archive together and checks that the
// stub's payload scan will find them where they were put.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>

namespace vpack {

// Every layout rule the stub depends on: a stub over 20,000 bytes without the
// marker bytes past offset 20,000; the marker at an offset from 20,000 to
// 500,000; a block that starts with the marker, holds no second marker and no
// local-header signature, and carries the archive's exact ZipSize; an archive
// that starts with a local header, whose end record the stub can reach, and
// a whole file below 2 GiB.
bool check_layout(const std::string& stub, const std::string& block, const std::string& zip,
                  std::string* error);

// An archive seen through its ends, which is all check_layout reads: the
// first bytes (the payload scan stops at the archive's first local header)
// and the last ones, holding the end record and the comment.
struct ArchiveView {
  std::string head;  // its first kViewHead bytes or all of it
  std::string tail;  // its last kViewTail bytes or all of it
  uint64_t size = 0;
};
const size_t kViewHead = 1 << 16;
const size_t kViewTail = 22 + 0xFFFF;

ArchiveView view_of(const std::string& zip);
bool check_layout(const std::string& stub, const std::string& block, const ArchiveView& zip,
                  std::string* error);

// The rules on the stub and the block alone, which hold before the archive
// is written.
bool check_stub_and_block(const std::string& stub, const std::string& block,
                          std::string* error);

// check_layout, then stub + block + zip.
bool assemble(const std::string& stub, const std::string& block, const std::string& zip,
              std::string* out, std::string* error);

// stub, `padding` bytes of `fill`, block, zip: no checks, for fixtures that
// put the marker at chosen offsets or break the layout on purpose.
std::string assemble_raw(const std::string& stub, const std::string& block,
                         const std::string& zip, size_t padding = 0, char fill = '\0');

}  // namespace vpack
