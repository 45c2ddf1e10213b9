// Where an appended archive's own offsets count from. Portable (no
// <windows.h>): the stub's reader adapter and the builder's --info share it,
// so that the builder accepts exactly the archives the stub reads.
#pragma once
#include <stdint.h>

enum : uint32_t {
  // Bytes before the window's end that hold the end record with the longest
  // comment, the ZIP64 locator and the ZIP64 end record before it.
  kArchiveBaseTailSize = 0xFFFF + 4 + 20 + 56
};

// Where in `tail` (`length` bytes ending at the window end E) the end
// record lies that the reader takes: the signature nearest E whose four
// bytes lie before E. `length` when there is none.
uint32_t end_record_in_tail(const unsigned char* tail, uint32_t length);

// `tail` holds the file's bytes from offset `first` up to the window end E
// (`length` = E - first). An archive appended unchanged counts its offsets
// from its own start; the reader makes up for that by the central
// directory's place, except for the ZIP64 locator's offset of the ZIP64 end
// record. Where that record lies right before its locator at another place
// than the locator says, the difference is the archive's base and the reader
// must be shown offsets counted from there; otherwise the base is 0.
uint32_t zip64_archive_base(const unsigned char* tail, uint32_t length, uint32_t first);
