#include "pack/codepage.h"

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#endif

namespace vpack {
namespace {

#ifdef _WIN32

bool to_wide(UINT code_page, const std::string& in, std::wstring* out) {
  out->clear();
  if (in.empty()) return true;
  int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(),
                              static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(),
                             static_cast<int>(in.size()), &(*out)[0], n) == n;
}

bool from_wide(UINT code_page, const std::wstring& in, std::string* out) {
  out->clear();
  if (in.empty()) return true;
  // The UTF-8 code page takes no flags and no default-character check.
  DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  LPBOOL used = code_page == CP_UTF8 ? nullptr : &used_default;
  int n = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()),
                              nullptr, 0, nullptr, used);
  if (n <= 0 || used_default) return false;
  out->resize(static_cast<size_t>(n));
  n = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()),
                          &(*out)[0], n, nullptr, used);
  return n > 0 && !used_default;
}

bool convert(UINT from, UINT to, const std::string& in, std::string* out) {
  std::wstring wide;
  return to_wide(from, in, &wide) && from_wide(to, wide, out);
}

#else

bool convert(const char* from, const char* to, const std::string& in, std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result;
  result.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = &result[0];
  size_t dst_left = result.size();
  bool ok = true;
  while (src_left > 0) {
    if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1)) continue;
    if (errno != E2BIG) {
      ok = false;  // EILSEQ or EINVAL: not representable or malformed input
      break;
    }
    size_t used = result.size() - dst_left;
    result.resize(result.size() * 2);
    dst = &result[used];
    dst_left = result.size() - used;
  }
  // glibc counts characters it could not map as irreversible conversions;
  // without //TRANSLIT they are errors, so a success here is exact.
  if (ok && iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) ok = false;
  iconv_close(cd);
  if (!ok) return false;
  result.resize(result.size() - dst_left);
  *out = result;
  return true;
}

#endif

}  // namespace

bool utf8_to_cp936(const std::string& utf8, std::string* out) {
#ifdef _WIN32
  return convert(CP_UTF8, 936, utf8, out);
#else
  return convert("UTF-8", "CP936", utf8, out);
#endif
}

bool cp936_to_utf8(const std::string& cp936, std::string* out) {
#ifdef _WIN32
  return convert(936, CP_UTF8, cp936, out);
#else
  return convert("CP936", "UTF-8", cp936, out);
#endif
}

int decode_stored_name(bool utf8, const char* stored, wchar_t* out, int size) {
#ifdef _WIN32
  return MultiByteToWideChar(utf8 ? CP_UTF8 : 936, MB_ERR_INVALID_CHARS, stored, -1, out, size);
#else
  iconv_t cd = iconv_open("WCHAR_T", utf8 ? "UTF-8" : "CP936");
  if (cd == reinterpret_cast<iconv_t>(-1) || size <= 0) return 0;
  char* in = const_cast<char*>(stored);
  size_t in_left = strlen(stored) + 1;  // and the NUL, as the stub converts it
  char* to = reinterpret_cast<char*>(out);
  size_t to_left = static_cast<size_t>(size) * sizeof(wchar_t);
  // Without //TRANSLIT a character the code page lacks is an error (EILSEQ),
  // and a text that does not fit is one too (E2BIG).
  bool ok = iconv(cd, &in, &in_left, &to, &to_left) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &to, &to_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return 0;
  return size - static_cast<int>(to_left / sizeof(wchar_t));
#endif
}

std::string cp936_for_display(const std::string& cp936) {
  std::string utf8;
  if (cp936_to_utf8(cp936, &utf8)) return utf8;
  std::string shown;
  for (unsigned char c : cp936) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    }
  }
  return shown;
}

}  // namespace vpack
