#include "config/payload_scan.h"

#include <string.h>

namespace {

// Large reads keep start-up to a handful of system calls; consecutive blocks
// overlap by three bytes so that no four-byte window is missed.
const uint32_t kBlockSize = 64 * 1024;

struct BlockScanner {
  PayloadReadFn read;
  void* context;
  unsigned char buffer[kBlockSize];
};

// Looks for `pattern` in windows starting at offsets first..last inclusive.
// Only complete windows of bytes actually read can match.
PayloadScanResult scan_for(BlockScanner* scanner, const unsigned char pattern[4],
                           uint32_t first, uint32_t last, uint32_t* found) {
  uint32_t offset = first;
  while (offset <= last) {
    uint32_t windows_wanted = last - offset + 1;
    uint32_t want = windows_wanted + 3;
    if (want > kBlockSize) want = kBlockSize;
    long got = scanner->read(scanner->context, offset, scanner->buffer, want);
    if (got < 0) return kPayloadReadFailed;
    if (got < 4) return kPayloadNotFound;  // the file ends before a full window
    uint32_t windows = static_cast<uint32_t>(got) - 3;
    for (uint32_t i = 0; i < windows; ++i) {
      if (scanner->buffer[i] == pattern[0] && memcmp(scanner->buffer + i, pattern, 4) == 0) {
        *found = offset + i;
        return kPayloadFound;
      }
    }
    if (static_cast<uint32_t>(got) < want) return kPayloadNotFound;  // end of file
    offset += windows;
  }
  return kPayloadNotFound;
}

}  // namespace

void payload_marker_bytes(unsigned char out[4]) {
  // Stored shifted so that the four bytes never appear in the image.
  static volatile unsigned char shifted[4] = {'[' + 1, 'Q' + 1, 'V' + 1, ']' + 1};
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(shifted[i] - 1);
}

PayloadScanResult locate_payload(PayloadReadFn read, void* context,
                                 PayloadLocation* location) {
  static BlockScanner scanner;
  scanner.read = read;
  scanner.context = context;

  unsigned char marker[4];
  payload_marker_bytes(marker);
  uint32_t marker_offset = 0;
  PayloadScanResult result =
      scan_for(&scanner, marker, kMarkerScanFirst, kMarkerScanLast, &marker_offset);
  if (result != kPayloadFound) return result;

  // The archive's window is read four bytes after a counter that starts at the
  // marker and may not pass kArchiveCounterLimit.
  static const unsigned char signature[4] = {0x50, 0x4B, 0x03, 0x04};
  uint32_t signature_offset = 0;
  result = scan_for(&scanner, signature, marker_offset + 4, kArchiveCounterLimit + 4,
                    &signature_offset);
  if (result != kPayloadFound) return result;

  location->marker_offset = marker_offset;
  location->archive_start = signature_offset - 4;
  return kPayloadFound;
}
