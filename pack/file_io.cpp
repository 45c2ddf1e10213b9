#include "pack/file_io.h"

#include <errno.h>
#include <signal.h>
#include <string.h>

#include <atomic>
#include <new>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#include <unistd.h>
#endif

namespace vpack {

namespace {

using NativeChar = std::filesystem::path::value_type;

// The names of the scratch files alive now, in a fixed table that the
// interrupt handler reads without locks. A slot's text belongs to the
// thread that claimed it and is never freed, so the handler cannot read
// freed memory; it reads a name only in the state kNamed, taken over by a
// compare-exchange that the owner's release loses.
enum SlotState { kFree, kClaimed, kNamed, kRemoving };
struct Slot {
  std::atomic<int> state{kFree};
  NativeChar* name = nullptr;  // capacity + 1 characters
  size_t capacity = 0;
};
const int kScratchSlots = 256;
Slot g_slots[kScratchSlots];

// Set once the run is ending by an interrupt: no scratch file is created
// from then on. Creations under way are counted, so that the handler waits
// for a file being opened and removes it too.
std::atomic<bool> g_ending{false};
std::atomic<int> g_creating{0};
thread_local bool t_creating = false;

int remember_scratch(const std::filesystem::path& path) {
  const auto& native = path.native();
  for (int i = 0; i < kScratchSlots; ++i) {
    Slot& slot = g_slots[i];
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kClaimed)) continue;
    if (slot.capacity < native.size()) {
      NativeChar* bigger = new (std::nothrow) NativeChar[native.size() + 1];
      if (!bigger) {
        slot.state.store(kFree);
        return -1;
      }
      delete[] slot.name;  // claimed: the handler does not read it
      slot.name = bigger;
      slot.capacity = native.size();
    }
    native.copy(slot.name, native.size());
    slot.name[native.size()] = 0;
    slot.state.store(kNamed);
    return i;
  }
  return -1;
}

void forget_scratch(int slot) {
  if (slot < 0) return;
  int expected = kNamed;
  // Lost to the handler: the run is ending and the slot stays its.
  g_slots[slot].state.compare_exchange_strong(expected, kFree);
}

void remove_named(const NativeChar* name) {
#ifdef _WIN32
  // Files are opened with shared deletion: one still open goes when its
  // last handle closes, which ending the process does. A reader that does
  // not share deletion closes soon; try again for a while.
  for (int tries = 0; !DeleteFileW(name) && GetLastError() == ERROR_SHARING_VIOLATION &&
                      tries < 200;
       ++tries)
    Sleep(5);
#else
  unlink(name);
#endif
}

// Async-signal-safe on Linux: atomics, unlink and nanosleep only.
void remove_all_scratch_files() {
  g_ending.store(true);
  // A file being created in another thread is waited for (two seconds at
  // most); one this thread was creating has been opened or never will be.
  int own = t_creating ? 1 : 0;
  for (int waited = 0; g_creating.load() > own && waited < 2000; ++waited) {
#ifdef _WIN32
    Sleep(1);
#else
    struct timespec millisecond = {0, 1000000};
    nanosleep(&millisecond, nullptr);
#endif
  }
  for (Slot& slot : g_slots) {
    int expected = kNamed;
    if (slot.state.compare_exchange_strong(expected, kRemoving)) remove_named(slot.name);
  }
}

#ifdef _WIN32
// Runs on a thread of its own while the main thread goes on: Ctrl+C,
// Ctrl+Break, the console window closed, the user logging off.
BOOL WINAPI end_on_console_event(DWORD) {
  remove_all_scratch_files();
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}
#else
const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_scratch_and_end(int signal_number) {
  remove_all_scratch_files();
  // Blocked while the handler runs: delivered, with the default action,
  // when it returns.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}
#endif

// Counts a creation for the handler; false once the run is ending.
class CreationGuard {
 public:
  CreationGuard() {
    g_creating.fetch_add(1);
    t_creating = true;
    admitted_ = !g_ending.load();
  }
  ~CreationGuard() {
    t_creating = false;
    g_creating.fetch_sub(1);
  }
  bool admitted() const { return admitted_; }

 private:
  bool admitted_;
};

}  // namespace

void remove_scratch_files_on_interrupt() {
#ifdef _WIN32
  // A Ctrl+C that the parent chose to ignore (a new process group) reaches
  // no handler, so that choice is kept.
  SetConsoleCtrlHandler(end_on_console_event, TRUE);
#else
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = remove_scratch_and_end;
  sigemptyset(&action.sa_mask);
  for (int s : kEndingSignals) sigaddset(&action.sa_mask, s);
  for (int s : kEndingSignals) {
    struct sigaction old;
    // A signal the caller ignores (`vandrel-pack ... &` in a script) stays
    // ignored.
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
#endif
}

SignalsBlocked::SignalsBlocked() {
#ifndef _WIN32
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : kEndingSignals) sigaddset(&ending, s);
  pthread_sigmask(SIG_BLOCK, &ending, &saved_);
#endif
}

SignalsBlocked::~SignalsBlocked() {
#ifndef _WIN32
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
#endif
}

FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  // Opened with shared deletion, so that the interrupt handler can remove
  // a scratch file while this process, on another thread, holds it open.
  bool write = mode[0] == 'w';
  HANDLE h = CreateFileW(path.c_str(), write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    errno = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ENOENT
            : code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ? EACCES
                                                                              : EIO;
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | (write ? 0 : _O_RDONLY));
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  FILE* file = _fdopen(fd, mode);
  if (!file) _close(fd);
  return file;
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
  CreationGuard guard;
  if (!guard.admitted()) {
    *error = "cannot create " + display_path(path) + ": the run was interrupted";
    return false;
  }
  // Named before it exists: an interrupt between the two leaves nothing.
  slot_ = remember_scratch(path);
  if (slot_ < 0) {
    *error = "cannot create " + display_path(path) + ": too many scratch files at once";
    return false;
  }
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
