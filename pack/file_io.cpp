#include "pack/file_io.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace vpack {
namespace {

FILE* open_file(const std::filesystem::path& path, bool for_writing) {
#ifdef _WIN32
  return _wfopen(path.c_str(), for_writing ? L"wb" : L"rb");
#else
  return fopen(path.c_str(), for_writing ? "wb" : "rb");
#endif
}

std::string reason() { return strerror(errno); }

}  // namespace

std::string display_path(const std::filesystem::path& path) { return path.u8string(); }

bool read_file(const std::filesystem::path& path, std::string* bytes, std::string* error) {
  FILE* f = open_file(path, false);
  if (!f) {
    *error = "cannot open " + display_path(path) + ": " + reason();
    return false;
  }
  bytes->clear();
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec) bytes->reserve(static_cast<size_t>(size));
  char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
  bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    *error = "cannot read " + display_path(path);
    return false;
  }
  return true;
}

bool write_file_atomically(const std::filesystem::path& path,
                           const std::vector<const std::string*>& pieces, std::string* error,
                           bool (*check)(const std::filesystem::path&, void*, std::string*),
                           void* check_context) {
#ifdef _WIN32
  unsigned long pid = static_cast<unsigned long>(_getpid());
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  std::filesystem::path temp = path;
  temp += ".part" + std::to_string(pid);
  FILE* f = open_file(temp, true);
  if (!f) {
    *error = "cannot create " + display_path(temp) + ": " + reason();
    return false;
  }
  bool ok = true;
  for (const std::string* piece : pieces) {
    if (!piece->empty() && fwrite(piece->data(), 1, piece->size(), f) != piece->size()) {
      ok = false;
      break;
    }
  }
  if (fclose(f) != 0) ok = false;
  std::error_code ec;
  if (!ok) {
    *error = "cannot write " + display_path(temp) + ": " + reason();
    std::filesystem::remove(temp, ec);
    return false;
  }
  bool checked = true;
  try {
    checked = !check || check(temp, check_context, error);
  } catch (...) {
    std::filesystem::remove(temp, ec);  // no half-made output, whatever ends the tool
    throw;
  }
  if (!checked) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    *error = "cannot rename " + display_path(temp) + " to " + display_path(path) + ": " +
             ec.message();
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace vpack
