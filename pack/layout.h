// Puts stub, configuration block and archive together and checks that the
// stub's payload scan will find them where they were put.
#pragma once
#include <stddef.h>

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

// check_layout, then stub + block + zip.
bool assemble(const std::string& stub, const std::string& block, const std::string& zip,
              std::string* out, std::string* error);

// stub, `padding` bytes of `fill`, block, zip: no checks, for fixtures that
// put the marker at chosen offsets or break the layout on purpose.
std::string assemble_raw(const std::string& stub, const std::string& block,
                         const std::string& zip, size_t padding = 0, char fill = '\0');

}  // namespace vpack
