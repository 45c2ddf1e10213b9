#include "util/payload_text.h"

int payload_text_to_wide(UINT code_page, const char* text, int length, wchar_t* out, int size) {
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, length, out, size);
}
