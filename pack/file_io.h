// File access for the builder: whole-file reads of small inputs, positioned
// reads and writes with 64-bit offsets, and files under temporary names that
// are removed on every path unless renamed into place. Paths hold any
// character the platform allows (wide calls on Windows).
#pragma once
#include <stdint.h>
#include <signal.h>
#include <stdio.h>

#include <filesystem>
#include <string>

namespace vpack {

// Fails with a message when the file holds more than `most` bytes.
bool read_file(const std::filesystem::path& path, std::string* bytes, std::string* error,
               uint64_t most = UINT64_MAX);

// fopen with its modes ("rb", "w+b").
FILE* open_file(const std::filesystem::path& path, const char* mode);
// The last failed call's reason, for "cannot open PATH: reason".
std::string reason();

// Closes a FILE* when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(FILE* file = nullptr) : file_(file) {}
  ~FileHandle() {
    if (file_) fclose(file_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FILE* get() const { return file_; }

 private:
  FILE* file_;
};

bool seek_file(FILE* file, uint64_t offset);
// Up to `n` bytes at `offset` (fewer at the end of the file); false on an error.
bool read_at(FILE* file, uint64_t offset, size_t n, std::string* out);
bool write_at(FILE* file, uint64_t offset, const std::string& bytes);
// Moves `length` bytes at `from` to `to`; the two ranges may overlap.
bool move_within(FILE* file, uint64_t from, uint64_t to, uint64_t length);

// A file created for reading and writing under a name of its own, closed and
// removed when it goes out of scope, whatever ends the run, unless
// rename_to() moved it into place.
class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile() { remove(); }
  ScratchFile(ScratchFile&& other) noexcept;
  ScratchFile& operator=(ScratchFile&& other) noexcept;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool create(const std::filesystem::path& path, std::string* error);
  FILE* get() const { return file_; }
  const std::filesystem::path& path() const { return path_; }
  // Flushes and closes; a write that failed late shows here.
  bool close(std::string* error);
  // Closes, then renames over `target`; the file is kept from then on.
  bool rename_to(const std::filesystem::path& target, std::string* error);
  void remove();

 private:
  FILE* file_ = nullptr;
  std::filesystem::path path_;
  int slot_ = -1;  // where the interrupt handler finds the name
};

// Makes Ctrl+C and a termination request (Linux: SIGINT, SIGTERM and SIGHUP
// unless inherited as ignored; Windows: every console control event) remove
// every ScratchFile alive before the run ends, as a failure does.
void remove_scratch_files_on_interrupt();

// Keeps the signals that end a run away from the threads started while it
// lives, so that their handler runs on the main thread only.
class SignalsBlocked {
 public:
  SignalsBlocked();
  ~SignalsBlocked();
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_;
#endif
};

// OUT.partPID: the name beside `path` that this run writes to first.
std::filesystem::path temporary_path(const std::filesystem::path& path);

// The path as UTF-8 for messages.
std::string display_path(const std::filesystem::path& path);

}  // namespace vpack
