// Finds the payload inside a self-extracting file: the "[QV]" marker of the
// configuration block and the first local-header signature of the archive.
// Portable (no <windows.h>): the stub, the builder and the tests share it.
#pragma once
#include <stdint.h>

enum : uint32_t {
  kMarkerScanFirst = 20000,      // first offset where the marker may start
  kMarkerScanLast = 500000,      // last offset where the marker may start
  kArchiveCounterLimit = 800000  // archive_start never exceeds this
};

// Reads up to `size` bytes at `offset`; returns the count read (0 at the end
// of the file) or -1 when the read failed.
typedef long (*PayloadReadFn)(void* context, uint32_t offset, unsigned char* buffer,
                              uint32_t size);

enum PayloadScanResult {
  kPayloadFound = 0,
  kPayloadReadFailed,   // "Could not read the source SFX."
  kPayloadNotFound      // no marker or no signature within the limits
};

struct PayloadLocation {
  uint32_t marker_offset;  // M
  uint32_t archive_start;  // P - 4, where P is the signature's offset
};

PayloadScanResult locate_payload(PayloadReadFn read, void* context,
                                 PayloadLocation* location);

// The four marker bytes, built at run time so that the image never holds them.
void payload_marker_bytes(unsigned char out[4]);
