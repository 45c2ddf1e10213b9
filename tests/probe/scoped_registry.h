// One registry value changed for the length of a test and put back as it was
// (removed, with its key when the test made that key, if it was not there),
// whatever happens. Texts are code page 936 bytes, as the tests write them.
// Header only: the unit tests use it without the probe.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace probe {

class ScopedRegistryValue {
 public:
  // Value `name` (empty: the key's default) of `subkey` under `root`, in
  // registry view `view` (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY); the key is
  // made when it is missing.
  ScopedRegistryValue(HKEY root, const std::string& subkey, const std::string& name,
                      REGSAM view = 0)
      : root_(root), subkey_(wide(subkey)), name_(wide(name)), view_(view) {
    DWORD disposition = 0;
    ok_ = RegCreateKeyExW(root, subkey_.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | view,
                          nullptr, &key_, &disposition) == ERROR_SUCCESS;
    if (!ok_) return;
    created_key_ = disposition == REG_CREATED_NEW_KEY;
    DWORD size = 0;
    if (RegQueryValueExW(key_, value_name(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      saved_.resize(size);
      existed_ = RegQueryValueExW(key_, value_name(), nullptr, &type_,
                                  saved_.empty() ? nullptr : saved_.data(),
                                  &size) == ERROR_SUCCESS;
      saved_.resize(size);
    }
  }
  // The same, set to `value` at once (see ok()).
  ScopedRegistryValue(HKEY root, const std::string& subkey, const std::string& name,
                      const std::string& value, REGSAM view = 0)
      : ScopedRegistryValue(root, subkey, name, view) {
    ok_ = ok_ && set(value);
  }
  ~ScopedRegistryValue() {
    if (!key_) return;
    if (existed_) {
      RegSetValueExW(key_, value_name(), 0, type_, saved_.empty() ? nullptr : saved_.data(),
                     static_cast<DWORD>(saved_.size()));
    } else {
      RegDeleteValueW(key_, value_name());
    }
    RegCloseKey(key_);
    if (created_key_) RegDeleteKeyExW(root_, subkey_.c_str(), view_, 0);
  }
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

  bool ok() const { return ok_; }
  bool set(const std::string& value) {
    const std::wstring text = wide(value);
    return key_ && RegSetValueExW(key_, value_name(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
                       ERROR_SUCCESS;
  }
  bool remove() {
    const LONG status = key_ ? RegDeleteValueW(key_, value_name()) : ERROR_INVALID_HANDLE;
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }

 private:
  static std::wstring wide(const std::string& cp936) {
    std::wstring out(cp936.size(), L'\0');
    int n = MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), &out[0],
                                static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
  }
  const wchar_t* value_name() const { return name_.empty() ? nullptr : name_.c_str(); }

  HKEY root_;
  std::wstring subkey_, name_;
  REGSAM view_;
  HKEY key_ = nullptr;
  bool ok_ = false;
  bool created_key_ = false;
  bool existed_ = false;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> saved_;
};

}  // namespace probe
