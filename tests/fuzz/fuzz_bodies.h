// The bodies of the fuzz targets. Each takes any bytes and ends the process
// (abort) when the code under test breaks one of its promises; the
// sanitizers catch everything else. The host tree's regression tests replay
// the inputs that once found faults through the same bodies.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The payload scan over a file image built from the input around the scan
// limits and block edges, compared with a plain byte-by-byte scan.
void fuzz_payload_scan(const uint8_t* data, size_t size);
// Every operation of the text toolkit on texts and counts from the input.
void fuzz_text(const uint8_t* data, size_t size);
// Folder-variable expansion's portable steps, with made-up folders and
// environment values of every length up to the path limit.
void fuzz_folder_path(const uint8_t* data, size_t size);
// A shortcut value split into its link and target fields, each expanded.
void fuzz_shortcut_split(const uint8_t* data, size_t size);
// The checks on an entry name, against a plain component walk.
void fuzz_entry_name(const uint8_t* data, size_t size);
// minizip's reader over an archive in memory, walking and reading every
// entry the way the extraction worker does.
void fuzz_zip_reader(const uint8_t* data, size_t size);
