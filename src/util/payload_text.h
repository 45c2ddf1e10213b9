// The payload's texts as the system takes them: the configuration block and
// entry names are code page 936 bytes (names flagged as UTF-8 excepted),
// whatever code page the machine itself uses.
#pragma once
#include <windows.h>

const UINT kPayloadCodePage = 936;

// Converts `length` bytes (-1: up to and with the terminating zero) into
// `out` (`size` characters). 0 when they do not fit or hold a sequence that
// is no character of the code page; else the characters written.
int payload_text_to_wide(UINT code_page, const char* text, int length, wchar_t* out, int size);

// An entry's stored name as the extraction decodes it (an EntryNameDecoder).
int decode_payload_name(bool utf8, const char* stored, wchar_t* out, int size);
