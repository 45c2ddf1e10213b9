// The one writer of forged fixtures: ZIP records found and changed in place,
// and executable headers made or altered, for the tests that feed damaged or
// foreign files to the stub and its parts. Header only, portable.
#pragma once
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "../../pack/zip_records.h"

namespace forge {

inline uint32_t read_le(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

inline void write_le(std::string* bytes, size_t at, int width, uint32_t value) {
  for (int i = 0; i < width; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Where one entry of a ZIP archive lies.
struct ZipRecord {
  std::string name;
  size_t central = 0;  // offset of its central-directory record
  size_t local = 0;    // offset of its local header
  size_t data = 0;     // offset of its data
  size_t compressed = 0;
};

// Offsets into a central-directory record.
const size_t kCentralCompressedSize = 20;
const size_t kCentralNameLength = 28;
const size_t kCentralExtraLength = 30;
const size_t kCentralLocalOffset = 42;

// The entries of `zip`, found through its end record as the stub's reader
// finds them (uses the builder library's reader).
inline std::vector<ZipRecord> zip_records(const std::string& zip) {
  std::vector<ZipRecord> records;
  vpack::EndRecord end;
  if (!vpack::find_end_record(zip, &end)) return records;
  size_t at = end.directory_offset;
  for (uint32_t i = end.entries; i > 0 && at + 46 <= zip.size(); --i) {
    ZipRecord record;
    record.central = at;
    const size_t name_length = read_le(zip, at + kCentralNameLength, 2);
    record.name = zip.substr(at + 46, name_length);
    record.compressed = read_le(zip, at + kCentralCompressedSize, 4);
    record.local = read_le(zip, at + kCentralLocalOffset, 4);
    record.data = record.local + 30 + read_le(zip, record.local + 26, 2) +
                  read_le(zip, record.local + 28, 2);
    records.push_back(record);
    at += 46 + name_length + read_le(zip, at + kCentralExtraLength, 2) + read_le(zip, at + 32, 2);
  }
  return records;
}

// A DOS header whose PE offset is `pe_offset`, padded with zeros to `size`
// bytes, with the PE signature at that offset when it fits.
inline std::string dos_image(uint32_t pe_offset, size_t size) {
  std::string bytes(size < 64 ? 64 : size, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  write_le(&bytes, 60, 4, pe_offset);
  if (pe_offset + 4 <= bytes.size()) memcpy(&bytes[pe_offset], "PE\0\0", 4);
  bytes.resize(size);
  return bytes;
}

// The program with the machine field of its file header changed (0x0200:
// IA-64, which no system here runs); unchanged when it has no such header.
inline std::string with_machine(std::string image, uint16_t machine) {
  if (image.size() < 64) return image;
  const uint32_t pe = read_le(image, 60, 4);
  if (pe + 6 <= image.size()) write_le(&image, pe + 4, 2, machine);
  return image;
}

}  // namespace forge
