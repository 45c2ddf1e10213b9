#include "pack/file_io.h"

#include <errno.h>
#include <signal.h>
#include <string.h>

#include <atomic>
#include <utility>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace vpack {

namespace {

using NativeChar = std::filesystem::path::value_type;

// The names of the scratch files alive now. An interrupt handler may only
// read these slots and remove the files they name.
const int kScratchSlots = 256;
std::atomic<NativeChar*> g_scratch_names[kScratchSlots];

int remember_scratch(const std::filesystem::path& path) {
  const auto& native = path.native();
  NativeChar* copy = new NativeChar[native.size() + 1];
  native.copy(copy, native.size());
  copy[native.size()] = 0;
  for (int slot = 0; slot < kScratchSlots; ++slot) {
    NativeChar* empty = nullptr;
    if (g_scratch_names[slot].compare_exchange_strong(empty, copy)) return slot;
  }
  delete[] copy;
  return -1;
}

void forget_scratch(int slot) {
  if (slot >= 0) delete[] g_scratch_names[slot].exchange(nullptr);
}

extern "C" void remove_scratch_and_end(int signal_number) {
  for (auto& slot : g_scratch_names) {
    NativeChar* name = slot.load();
#ifdef _WIN32
    if (name) _wunlink(name);
#else
    if (name) unlink(name);
#endif
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

void remove_scratch_files_on_interrupt() {
  signal(SIGINT, remove_scratch_and_end);
  signal(SIGTERM, remove_scratch_and_end);
}

FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wide(mode, mode + strlen(mode));
  return _wfopen(path.c_str(), wide.c_str());
#else
  return fopen(path.c_str(), mode);
#endif
}

std::string reason() { return strerror(errno); }

std::string display_path(const std::filesystem::path& path) { return path.u8string(); }

bool read_file(const std::filesystem::path& path, std::string* bytes, std::string* error,
               uint64_t most) {
  FileHandle f(open_file(path, "rb"));
  if (!f.get()) {
    *error = "cannot open " + display_path(path) + ": " + reason();
    return false;
  }
  bytes->clear();
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size <= most) bytes->reserve(static_cast<size_t>(size));
  char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f.get())) > 0) {
    if (n > most - bytes->size()) {
      *error = display_path(path) + " holds more than " + std::to_string(most) + " bytes";
      return false;
    }
    bytes->append(buffer, n);
  }
  if (ferror(f.get())) {
    *error = "cannot read " + display_path(path) + ": " + reason();
    return false;
  }
  return true;
}

bool seek_file(FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool read_at(FILE* file, uint64_t offset, size_t n, std::string* out) {
  out->resize(n);
  if (!seek_file(file, offset)) return false;
  size_t got = n ? fread(&(*out)[0], 1, n, file) : 0;
  out->resize(got);
  return !ferror(file);
}

bool write_at(FILE* file, uint64_t offset, const std::string& bytes) {
  return seek_file(file, offset) &&
         fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

bool move_within(FILE* file, uint64_t from, uint64_t to, uint64_t length) {
  // Forward moves copy from the end backwards and backward moves from the
  // start, so that no byte is overwritten before it has been copied.
  const uint64_t kStep = 1 << 20;
  std::string buffer;
  for (uint64_t done = 0; done < length;) {
    uint64_t n = length - done < kStep ? length - done : kStep;
    uint64_t at = to > from ? length - done - n : done;
    if (!read_at(file, from + at, static_cast<size_t>(n), &buffer) || buffer.size() != n ||
        !write_at(file, to + at, buffer))
      return false;
    done += n;
  }
  return fflush(file) == 0;
}

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : file_(other.file_), path_(std::move(other.path_)), slot_(other.slot_) {
  other.file_ = nullptr;
  other.path_.clear();
  other.slot_ = -1;
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
  if (this != &other) {
    remove();
    file_ = other.file_;
    path_ = std::move(other.path_);
    slot_ = other.slot_;
    other.file_ = nullptr;
    other.path_.clear();
    other.slot_ = -1;
  }
  return *this;
}

bool ScratchFile::create(const std::filesystem::path& path, std::string* error) {
  remove();
  // Named before it exists: an interrupt between the two leaves nothing.
  slot_ = remember_scratch(path);
  file_ = open_file(path, "w+b");
  if (!file_) {
    *error = "cannot create " + display_path(path) + ": " + reason();
    forget_scratch(slot_);
    slot_ = -1;
    return false;
  }
  path_ = path;
  return true;
}

bool ScratchFile::close(std::string* error) {
  if (!file_) return true;
  bool ok = !ferror(file_);
  int saved = errno;
  if (fclose(file_) != 0) {
    ok = false;
    saved = errno;
  }
  file_ = nullptr;
  if (!ok) *error = "cannot write " + display_path(path_) + ": " + strerror(saved);
  return ok;
}

bool ScratchFile::rename_to(const std::filesystem::path& target, std::string* error) {
  if (!close(error)) return false;
  std::error_code ec;
  std::filesystem::rename(path_, target, ec);
  if (ec) {
    *error = "cannot rename " + display_path(path_) + " to " + display_path(target) + ": " +
             ec.message();
    return false;
  }
  path_.clear();
  forget_scratch(slot_);
  slot_ = -1;
  return true;
}

void ScratchFile::remove() {
  if (file_) fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove(path_, ec);
  path_.clear();
  forget_scratch(slot_);
  slot_ = -1;
}

std::filesystem::path temporary_path(const std::filesystem::path& path) {
#ifdef _WIN32
  unsigned long pid = static_cast<unsigned long>(_getpid());
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  std::filesystem::path temp = path;
  temp += ".part" + std::to_string(pid);
  return temp;
}

}  // namespace vpack
