// Shared fixtures of the builder tests: a stand-in stub and scratch folders.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pack/archive_writer.h"

namespace vpack_test {

// A stub stand-in: filler bytes, no marker, no signature.
inline std::string fake_stub(size_t size = 40000) { return std::string(size, 'x'); }

inline vpack::Entry file_entry(const std::string& name, const std::string& data,
                               uint16_t date = 0x5A21, uint16_t time = 0x6000) {
  vpack::Entry e;
  e.name = name;
  e.data = data;
  e.dos_date = date;
  e.dos_time = time;
  return e;
}

// Bytes that deflate does not shrink.
inline std::string noise(size_t size, unsigned seed = 1) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// A fresh folder below the system's temporary folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vpack-XXXXXX").string();
    char* made = mkdtemp(&pattern[0]);
    path_ = made ? std::filesystem::path(made) : std::filesystem::path();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path write(const std::string& relative, const std::string& data) const {
    std::filesystem::path p = path_ / std::filesystem::u8path(relative);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
    return p;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vpack_test
