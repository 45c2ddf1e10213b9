#include "archive/output_writer.h"

#include "util/fs.h"
#include "util/text.h"

namespace {

const DWORD kNoRoom = 0xFFFFFFFF;

// Files handed to the pool and not closed yet, by the one writer there is.
// Under Wine the pool adds a thread for every close that waits for the
// server: a cap keeps a run of many small files from filling a 32-bit
// address space with thread stacks.
const LONG kClosesInFlight = 16;
struct PendingCloses {
  SRWLOCK lock;
  CONDITION_VARIABLE changed;
  LONG count;
};
PendingCloses g_closes;

void stamp_last_write_time(HANDLE file, unsigned long dos_date) {
  FILETIME local_time;
  FILETIME utc_time;
  // A date the system cannot convert leaves the time the file was given.
  if (!DosDateTimeToFileTime(HIWORD(dos_date), LOWORD(dos_date), &local_time)) return;
  if (!LocalFileTimeToFileTime(&local_time, &utc_time)) return;
  SetFileTime(file, nullptr, nullptr, &utc_time);
}

}  // namespace

// Each step below answers false with the system's reason as the last error.
bool OutputWriter::create(const wchar_t* path) {
  AcquireSRWLockExclusive(&output_lock_);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) {
    output_ = file;
    text_copy(output_path_, MAX_PATH, path);
  }
  ReleaseSRWLockExclusive(&output_lock_);
  SetLastError(error);
  return file != INVALID_HANDLE_VALUE;
}

// Under the output lock as well: once the run is abandoned, no folder of
// an entry still queued may appear.
bool OutputWriter::create_folders(const wchar_t* path) {
  AcquireSRWLockExclusive(&output_lock_);
  bool made = create_directory_chain(path) != 0;
  DWORD error = GetLastError();
  ReleaseSRWLockExclusive(&output_lock_);
  SetLastError(error);
  return made;
}

// Creates the file; a file whose folder is missing (an archive without
// directory entries) gets the folder made first.
bool OutputWriter::open(const OutputBlock& block) {
  if (create(block.path)) return true;
  // A file of the same name earlier in the archive may not be closed yet.
  if (GetLastError() == ERROR_SHARING_VIOLATION) {
    wait_for_closes();
    if (create(block.path)) return true;
  }
  if (!block.has_separator) return false;
  wchar_t parent[MAX_PATH];
  path_parent(block.path, parent, MAX_PATH);
  create_folders(parent);
  return create(block.path);
}

bool OutputWriter::write(const char* data, DWORD size) {
  while (size > 0) {
    AcquireSRWLockExclusive(&output_lock_);
    DWORD written = 0;
    BOOL ok = WriteFile(output_, data, size, &written, nullptr);
    DWORD error = GetLastError();
    ReleaseSRWLockExclusive(&output_lock_);
    // A full disk may take part of a block and report success: the rest is
    // written again, so that the call that fails tells why, and a call that
    // takes nothing is the full disk.
    if (ok && written == 0) error = ERROR_DISK_FULL;
    SetLastError(error);
    if (!ok || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool OutputWriter::write_block(const OutputBlock& block) {
  if (block.makes_directory && !create_folders(block.path)) return false;
  if (block.starts_file && !open(block)) return false;
  if (block.length > 0 && !write(block.data, block.length)) return false;
  if (block.ends_file) {
    // Under the lock: an abandoned run has closed the handle already.
    AcquireSRWLockExclusive(&output_lock_);
    stamp_last_write_time(output_, block.dos_date);
    HANDLE file = output_;
    output_ = nullptr;
    ReleaseSRWLockExclusive(&output_lock_);
    hand_over(file);
  }
  return true;
}

// Counts itself down once the file is closed.
DWORD WINAPI OutputWriter::close_file(LPVOID file) {
  CloseHandle(file);
  AcquireSRWLockExclusive(&g_closes.lock);
  --g_closes.count;
  WakeAllConditionVariable(&g_closes.changed);
  ReleaseSRWLockExclusive(&g_closes.lock);
  return 0;
}

void OutputWriter::hand_over(HANDLE file) {
  AcquireSRWLockExclusive(&g_closes.lock);
  while (g_closes.count >= kClosesInFlight)
    SleepConditionVariableSRW(&g_closes.changed, &g_closes.lock, INFINITE, 0);
  ++g_closes.count;
  ReleaseSRWLockExclusive(&g_closes.lock);
  if (!QueueUserWorkItem(close_file, file, WT_EXECUTEDEFAULT)) close_file(file);
}

// Rare: at the end, and for a name met twice.
void OutputWriter::wait_for_closes() {
  AcquireSRWLockExclusive(&g_closes.lock);
  while (g_closes.count > 0)
    SleepConditionVariableSRW(&g_closes.changed, &g_closes.lock, INFINITE, 0);
  ReleaseSRWLockExclusive(&g_closes.lock);
}

DWORD WINAPI OutputWriter::run(LPVOID argument) {
  OutputWriter& writer = *static_cast<OutputWriter*>(argument);
  for (;;) {
    AcquireSRWLockExclusive(&writer.queue_lock_);
    while (writer.filled_ == 0 && !writer.stopping_)
      SleepConditionVariableSRW(&writer.slot_filled_, &writer.queue_lock_, INFINITE, 0);
    if (writer.filled_ == 0) {
      ReleaseSRWLockExclusive(&writer.queue_lock_);
      return 0;
    }
    const OutputBlock& block = writer.slots_[writer.first_filled_];
    ReleaseSRWLockExclusive(&writer.queue_lock_);

    // After a failure the slots are only let go: the file cut short stays
    // open for the thread that ends the run to remove.
    bool written = true;
    DWORD error = 0;
    if (!writer.failed_) {
      if (block.makes_directory || block.starts_file) writer.progress_.entry_started(block.name);
      written = writer.write_block(block);
      if (!written) {
        error = GetLastError();
      } else if (block.ends_entry) {
        writer.progress_.entry_done(block.entry_number);
      }
    }

    AcquireSRWLockExclusive(&writer.queue_lock_);
    if (!written) {
      writer.failure_code_ = error;
      writer.failed_ = true;
    }
    writer.first_filled_ = (writer.first_filled_ + 1) % kOutputSlotCount;
    --writer.filled_;
    WakeAllConditionVariable(&writer.slot_freed_);
    ReleaseSRWLockExclusive(&writer.queue_lock_);
  }
}

bool OutputWriter::start(const OutputProgress& progress) {
  progress_ = progress;
  slot_memory_ = static_cast<char*>(
      VirtualAlloc(nullptr, kOutputRingSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!slot_memory_) return false;
  thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
  return thread_ != nullptr;
}

// Where `capacity` bytes fit in one piece beside the bytes in use, which run
// from the oldest filled slot's to ring_next_, perhaps round the end of the
// ring; kNoRoom while they do not fit.
DWORD OutputWriter::room_for(DWORD capacity) const {
  if (filled_ == kOutputSlotCount) return kNoRoom;
  if (filled_ == 0) return 0;
  DWORD oldest = static_cast<DWORD>(slots_[first_filled_].data - slot_memory_);
  // A piece stops short of the oldest byte in use: reaching it would look
  // like an empty ring.
  if (ring_next_ < oldest) return oldest - ring_next_ > capacity ? ring_next_ : kNoRoom;
  if (kOutputRingSize - ring_next_ >= capacity) return ring_next_;
  return oldest > capacity ? 0 : kNoRoom;
}

OutputBlock* OutputWriter::claim(DWORD capacity) {
  AcquireSRWLockExclusive(&queue_lock_);
  // The writer frees every slot, even after a failure.
  DWORD offset = 0;
  while (!failed_ && (offset = room_for(capacity)) == kNoRoom)
    SleepConditionVariableSRW(&slot_freed_, &queue_lock_, INFINITE, 0);
  OutputBlock* block = failed_ ? nullptr : &slots_[(first_filled_ + filled_) % kOutputSlotCount];
  if (block) {
    block->data = slot_memory_ + offset;
    block->capacity = capacity;
    ring_next_ = offset + capacity;
  }
  ReleaseSRWLockExclusive(&queue_lock_);
  if (!block) return nullptr;
  block->makes_directory = false;
  block->starts_file = false;
  block->has_separator = false;
  block->ends_file = false;
  block->ends_entry = false;
  block->length = 0;
  return block;
}

void OutputWriter::submit(OutputBlock*) {
  AcquireSRWLockExclusive(&queue_lock_);
  ++filled_;
  WakeAllConditionVariable(&slot_filled_);
  ReleaseSRWLockExclusive(&queue_lock_);
}

void OutputWriter::drain() {
  AcquireSRWLockExclusive(&queue_lock_);
  while (filled_ > 0) SleepConditionVariableSRW(&slot_freed_, &queue_lock_, INFINITE, 0);
  ReleaseSRWLockExclusive(&queue_lock_);
  // The files are closed too: a failure's box then never loads the window
  // DLLs while the pool's threads still run (under Wine a crash inside GDI
  // was seen once there, before the box showed).
  wait_for_closes();
}

void OutputWriter::finish() {
  // What follows the extraction may open the files.
  drain();
  AcquireSRWLockExclusive(&queue_lock_);
  stopping_ = true;
  WakeAllConditionVariable(&slot_filled_);
  ReleaseSRWLockExclusive(&queue_lock_);
  // The queue is empty: the thread only has to see the flag.
  WaitForSingleObject(thread_, 10000);
  CloseHandle(thread_);
  thread_ = nullptr;
  VirtualFree(slot_memory_, 0, MEM_RELEASE);
  slot_memory_ = nullptr;
}

bool OutputWriter::failed(DWORD* code) {
  AcquireSRWLockExclusive(&queue_lock_);
  bool failed = failed_;
  *code = failure_code_;
  ReleaseSRWLockExclusive(&queue_lock_);
  return failed;
}

void OutputWriter::abandon() {
  // The thread that abandoned the run may come here again (a quit handled
  // inside the failure's box): the lock it holds for good would never come.
  const DWORD thread = GetCurrentThreadId();
  if (abandoned_by_ == thread) return;
  // Waits for the one block being written, however long the system takes:
  // the file cannot be removed while the writer holds it, and the process
  // must not end in the middle of a write. Another thread waits here for
  // good once the run is abandoned: the process ends meanwhile.
  AcquireSRWLockExclusive(&output_lock_);
  abandoned_by_ = thread;
  if (output_) {
    CloseHandle(output_);
    output_ = nullptr;
    DeleteFileW(output_path_);
  }
  // The caller may remove a file already written.
  wait_for_closes();
  // The lock stays held: the writer creates and writes nothing more before
  // the process ends.
}
