// Conversions between UTF-8 (what the builder takes) and code page 936 (what
// the stub reads for every text and every entry name).
#pragma once
#include <string>

namespace vpack {

// Fails on malformed UTF-8 and on any character code page 936 cannot hold;
// never substitutes a replacement character.
bool utf8_to_cp936(const std::string& utf8, std::string* out);

// For printing: fails on byte sequences that are not code page 936.
bool cp936_to_utf8(const std::string& cp936, std::string* out);

// An entry's stored name as the stub decodes it (an EntryNameDecoder): from
// UTF-8 or code page 936, strictly, into `size` characters with the NUL.
int decode_stored_name(bool utf8, const char* stored, wchar_t* out, int size);

// cp936_to_utf8, or the bytes with every non-ASCII byte written as \xNN.
std::string cp936_for_display(const std::string& cp936);

}  // namespace vpack
