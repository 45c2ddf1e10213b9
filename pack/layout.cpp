#include "pack/layout.h"

#include <string.h>

#include "config/payload_scan.h"
#include "core/file_limits.h"
#include "pack/config_block.h"
#include "pack/zip_records.h"

namespace vpack {
namespace {

const char kSignature[] = "PK\x03\x04";

std::string marker() {
  unsigned char bytes[4];
  payload_marker_bytes(bytes);
  return std::string(reinterpret_cast<char*>(bytes), 4);
}

// The three pieces seen as one file, for the stub's own scan.
struct Pieces {
  const std::string* parts[3];
};

long read_pieces(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  const Pieces* p = static_cast<const Pieces*>(context);
  uint64_t base = 0;
  uint32_t done = 0;
  for (const std::string* part : p->parts) {
    uint64_t at = static_cast<uint64_t>(offset) + done;
    if (done < size && at < base + part->size()) {
      if (at >= base) {
        uint64_t n = base + part->size() - at;
        if (n > size - done) n = size - done;
        memcpy(buffer + done, part->data() + (at - base), static_cast<size_t>(n));
        done += static_cast<uint32_t>(n);
      }
    }
    base += part->size();
  }
  return static_cast<long>(done);
}

}  // namespace

bool check_stub_and_block(const std::string& stub, const std::string& block,
                          std::string* error) {
  const std::string mark = marker();
  if (stub.size() <= kMarkerScanFirst) {
    *error = "the stub is " + std::to_string(stub.size()) +
             " bytes; it must be larger than 20000 bytes, where the payload scan starts";
    return false;
  }
  if (stub.size() > kMarkerScanLast) {
    *error = "the stub is " + std::to_string(stub.size()) +
             " bytes; the marker would start past offset 500000, where the scan ends";
    return false;
  }
  size_t false_marker = stub.find(mark, kMarkerScanFirst);
  if (false_marker != std::string::npos) {
    *error = "the stub holds the marker bytes [QV] at offset " + std::to_string(false_marker);
    return false;
  }
  if (block.compare(0, 4, mark) != 0) {
    *error = "the configuration block does not start with [QV]";
    return false;
  }
  size_t second = block.find(mark, 1);
  if (second != std::string::npos) {
    *error = "the configuration block holds a second [QV] at offset " +
             std::to_string(stub.size() + second);
    return false;
  }
  size_t false_signature = block.find(std::string(kSignature, 4));
  if (false_signature != std::string::npos) {
    *error = "the configuration block holds a local-header signature at offset " +
             std::to_string(stub.size() + false_signature);
    return false;
  }
  uint64_t archive_offset = stub.size() + block.size();
  if (archive_offset - 4 > kArchiveCounterLimit) {
    *error = "the configuration block is " + std::to_string(block.size()) +
             " bytes: the archive would start at offset " + std::to_string(archive_offset) +
             ", past the stub's scan limit of " + std::to_string(kArchiveCounterLimit + 4);
    return false;
  }
  return true;
}

ArchiveView view_of(const std::string& zip) {
  ArchiveView view;
  view.head = zip.substr(0, kViewHead);
  view.tail = zip.substr(zip.size() > kViewTail ? zip.size() - kViewTail : 0);
  view.size = zip.size();
  return view;
}

bool check_layout(const std::string& stub, const std::string& block, const std::string& zip,
                  std::string* error) {
  return check_layout(stub, block, view_of(zip), error);
}

bool check_layout(const std::string& stub, const std::string& block, const ArchiveView& zip,
                  std::string* error) {
  if (!check_stub_and_block(stub, block, error)) return false;
  if (zip.head.compare(0, 4, std::string(kSignature, 4)) != 0) {
    *error = "the archive does not start with a local header (an archive without entries "
             "cannot be found by the stub)";
    return false;
  }
  uint64_t archive_offset = stub.size() + block.size();
  uint64_t total = archive_offset + zip.size;
  if (total >= kLargestSfxFile) {
    *error = "the self-extracting file would be " + std::to_string(total) +
             " bytes; it must stay below 2 GiB";
    return false;
  }
  uint64_t zip_size = 0;
  if (!block_zip_size(parse_config_block(block), &zip_size)) {
    *error = "the configuration block has no ZipSize key";
    return false;
  }
  if (zip_size != zip.size) {
    *error = "ZipSize is " + std::to_string(zip_size) + " but the archive is " +
             std::to_string(zip.size) + " bytes";
    return false;
  }
  // The tail holds the last 65,557 bytes, all that the stub searches.
  EndRecord end;
  if (!find_end_record(zip.tail, &end)) {
    *error = "the archive has no end record at its end";
    return false;
  }
  if (end.comment_length > kLongestReachableComment) {
    *error = "the archive comment is " + std::to_string(end.comment_length) +
             " bytes; with more than " + std::to_string(kLongestReachableComment) +
             " the stub cannot reach the end record";
    return false;
  }

  // The stub's own scan over the result must land exactly on the pieces.
  Pieces pieces{{&stub, &block, &zip.head}};
  PayloadLocation location;
  if (locate_payload(read_pieces, &pieces, &location) != kPayloadFound ||
      location.marker_offset != stub.size() || location.archive_start + 4 != archive_offset) {
    *error = "the payload scan does not find the marker at " + std::to_string(stub.size()) +
             " and the archive at " + std::to_string(archive_offset);
    return false;
  }
  return true;
}

bool assemble(const std::string& stub, const std::string& block, const std::string& zip,
              std::string* out, std::string* error) {
  if (!check_layout(stub, block, zip, error)) return false;
  *out = assemble_raw(stub, block, zip);
  return true;
}

std::string assemble_raw(const std::string& stub, const std::string& block,
                         const std::string& zip, size_t padding, char fill) {
  std::string out;
  out.reserve(stub.size() + padding + block.size() + zip.size());
  out += stub;
  out.append(padding, fill);
  out += block;
  out += zip;
  return out;
}

}  // namespace vpack
