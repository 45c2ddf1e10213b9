#include "pack/stub_image.h"

#include <stdio.h>

#include "pack/zip_records.h"

namespace vpack {

bool check_stub_image(const std::string& bytes, const std::string& what, StubImage* image,
                      std::string* error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 0x40 || p[0] != 'M' || p[1] != 'Z') {
    *error = what + ": not a Windows program (no MZ header)";
    if (bytes.size() >= 4 && bytes.compare(0, 4, "\x7F" "ELF") == 0)
      *error = what + ": an ELF file, not a Windows program";
    return false;
  }
  uint32_t pe = read_u32(p + 0x3C);
  // Signature, then the file header: machine (2 bytes) ... characteristics
  // at offset 18 of the header.
  if (pe > bytes.size() || bytes.size() - pe < 24 ||
      bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    *error = what + ": an MZ file without a PE header, not a Windows program";
    return false;
  }
  uint16_t machine = read_u16(p + pe + 4);
  uint16_t characteristics = read_u16(p + pe + 4 + 18);
  if (machine == 0x14C) {
    image->machine = "i386";
  } else if (machine == 0x8664) {
    image->machine = "x86-64";
  } else {
    char hex[8];
    snprintf(hex, sizeof hex, "0x%04X", machine);
    *error = what + ": a Windows program for machine " + hex + "; the stub must be i386 or x86-64";
    return false;
  }
  const uint16_t kExecutable = 0x0002, kLibrary = 0x2000;
  if (!(characteristics & kExecutable) || (characteristics & kLibrary)) {
    *error = what + ": a library or object, not a Windows program";
    return false;
  }
  return true;
}

}  // namespace vpack
