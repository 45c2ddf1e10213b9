// The tests write their texts as code page 936 bytes (the sources are
// compiled so, and the payload stores them so); the stub keeps UTF-16. These
// convert between the two with code page 936 itself, whatever the machine's.
#pragma once
#include <windows.h>

#include <string>

inline std::wstring wide(const std::string& gbk) {
  std::wstring out(gbk.size(), L'\0');
  int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), &out[0],
                              static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

inline std::string gbk(const std::wstring& text) {
  std::string out(text.size() * 2, '\0');
  int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), &out[0],
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}
