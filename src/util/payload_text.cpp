#include "util/payload_text.h"

int payload_text_to_wide(UINT code_page, const char* text, int length, wchar_t* out, int size) {
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, length, out, size);
}

int decode_payload_name(bool utf8, const char* stored, wchar_t* out, int size) {
  return payload_text_to_wide(utf8 ? CP_UTF8 : kPayloadCodePage, stored, -1, out, size);
}
