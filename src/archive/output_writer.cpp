#include "archive/output_writer.h"

#include "core/fatal.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

const char kCannotExtract[] = "不能解压缩当前文件。";

// Slots enough for the decompression to run some small files ahead of the
// writes, holding a MiB.
const int kSlotCount = 16;

OutputBlock g_slots[kSlotCount];
char* g_slot_memory;
int g_first_filled;  // the next slot the writer handles
int g_filled;        // slots submitted and not yet handled
bool g_stopping;
SRWLOCK g_queue_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_slot_filled = CONDITION_VARIABLE_INIT;
CONDITION_VARIABLE g_slot_freed = CONDITION_VARIABLE_INIT;
HANDLE g_writer_thread;
DWORD g_writer_thread_id;
OutputProgress g_progress;

// The file being written. A user who quits the wizard while an entry is
// written ends the process at once; the file cut short then must not stay
// behind looking complete, so the quitting thread removes it. The lock is
// held while the file is created, while each block is written and while it
// is closed.
SRWLOCK g_output_lock = SRWLOCK_INIT;
HANDLE g_output;
char g_output_path[MAX_PATH];
const DWORD kAbandonWaitMs = 5000;

// A failed creation or write: the file being written is cut short and does
// not stay.
[[noreturn]] void fail_writing(DWORD code) {
  AcquireSRWLockExclusive(&g_output_lock);
  if (g_output) {
    CloseHandle(g_output);
    g_output = nullptr;
    DeleteFileA(g_output_path);
  }
  fatal_error_code(kCannotExtract, code);
}

HANDLE create_output(const char* path) {
  AcquireSRWLockExclusive(&g_output_lock);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) {
    g_output = file;
    text_copy(g_output_path, sizeof g_output_path, path);
  }
  ReleaseSRWLockExclusive(&g_output_lock);
  // The caller's error box tells why the creation failed.
  SetLastError(error);
  return file;
}

// Creates the file; a file whose folder is missing (an archive without
// directory entries) gets the folder made first.
HANDLE open_output(const OutputBlock& block) {
  HANDLE file = create_output(block.path);
  if (file != INVALID_HANDLE_VALUE) return file;
  if (!block.has_separator) fail_writing(GetLastError());
  char parent[MAX_PATH];
  path_parent(block.path, parent, sizeof parent);
  create_directory_chain(parent);
  file = create_output(block.path);
  if (file == INVALID_HANDLE_VALUE) fail_writing(GetLastError());
  return file;
}

void write_output(HANDLE file, const char* data, DWORD size) {
  while (size > 0) {
    AcquireSRWLockExclusive(&g_output_lock);
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, size, &written, nullptr);
    DWORD error = GetLastError();
    ReleaseSRWLockExclusive(&g_output_lock);
    if (!ok) fail_writing(error);
    // A full disk may take part of a block and report success: the rest is
    // written again, so that the call that fails tells why, and a call that
    // takes nothing is the full disk.
    if (written == 0) fail_writing(ERROR_DISK_FULL);
    data += written;
    size -= written;
  }
}

void stamp_last_write_time(HANDLE file, unsigned long dos_date) {
  FILETIME local_time;
  FILETIME utc_time;
  // A date the system cannot convert leaves the time the file was given.
  if (!DosDateTimeToFileTime(HIWORD(dos_date), LOWORD(dos_date), &local_time)) return;
  if (!LocalFileTimeToFileTime(&local_time, &utc_time)) return;
  SetFileTime(file, nullptr, nullptr, &utc_time);
}

void close_output(HANDLE file) {
  AcquireSRWLockExclusive(&g_output_lock);
  CloseHandle(file);
  g_output = nullptr;
  ReleaseSRWLockExclusive(&g_output_lock);
}

DWORD WINAPI writer_thread(LPVOID) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (;;) {
    AcquireSRWLockExclusive(&g_queue_lock);
    while (g_filled == 0 && !g_stopping)
      SleepConditionVariableSRW(&g_slot_filled, &g_queue_lock, INFINITE, 0);
    if (g_filled == 0) {
      ReleaseSRWLockExclusive(&g_queue_lock);
      return 0;
    }
    OutputBlock& block = g_slots[g_first_filled];
    ReleaseSRWLockExclusive(&g_queue_lock);

    if (block.makes_directory || block.starts_file) g_progress.entry_started(block.name);
    if (block.makes_directory && !create_directory_chain(block.path)) fail_writing(GetLastError());
    if (block.starts_file) file = open_output(block);
    if (block.length > 0) write_output(file, block.data, block.length);
    if (block.ends_file) {
      stamp_last_write_time(file, block.dos_date);
      close_output(file);
      file = INVALID_HANDLE_VALUE;
    }
    if (block.ends_entry) g_progress.entry_done(block.entry_number);

    AcquireSRWLockExclusive(&g_queue_lock);
    g_first_filled = (g_first_filled + 1) % kSlotCount;
    --g_filled;
    WakeAllConditionVariable(&g_slot_freed);
    ReleaseSRWLockExclusive(&g_queue_lock);
  }
}

}  // namespace

void output_writer_start(const OutputProgress& progress) {
  g_progress = progress;
  g_slot_memory = static_cast<char*>(VirtualAlloc(nullptr, kSlotCount * kOutputBlockSize,
                                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!g_slot_memory) fatal_error(kCannotExtract);
  for (int k = 0; k < kSlotCount; ++k) g_slots[k].data = g_slot_memory + k * kOutputBlockSize;
  g_first_filled = 0;
  g_filled = 0;
  g_stopping = false;
  g_writer_thread = CreateThread(nullptr, 0, writer_thread, nullptr, 0, &g_writer_thread_id);
  if (!g_writer_thread) fatal_error(kCannotExtract);
}

OutputBlock* output_claim() {
  AcquireSRWLockExclusive(&g_queue_lock);
  // The writer frees a slot or ends the process: it cannot stop otherwise.
  while (g_filled == kSlotCount)
    SleepConditionVariableSRW(&g_slot_freed, &g_queue_lock, INFINITE, 0);
  OutputBlock* block = &g_slots[(g_first_filled + g_filled) % kSlotCount];
  ReleaseSRWLockExclusive(&g_queue_lock);
  block->makes_directory = false;
  block->starts_file = false;
  block->has_separator = false;
  block->ends_file = false;
  block->ends_entry = false;
  block->length = 0;
  return block;
}

void output_submit(OutputBlock*) {
  AcquireSRWLockExclusive(&g_queue_lock);
  ++g_filled;
  WakeAllConditionVariable(&g_slot_filled);
  ReleaseSRWLockExclusive(&g_queue_lock);
}

void output_writer_drain() {
  if (!g_writer_thread || GetCurrentThreadId() == g_writer_thread_id) return;
  AcquireSRWLockExclusive(&g_queue_lock);
  while (g_filled > 0) SleepConditionVariableSRW(&g_slot_freed, &g_queue_lock, INFINITE, 0);
  ReleaseSRWLockExclusive(&g_queue_lock);
}

void output_writer_finish() {
  output_writer_drain();
  AcquireSRWLockExclusive(&g_queue_lock);
  g_stopping = true;
  WakeAllConditionVariable(&g_slot_filled);
  ReleaseSRWLockExclusive(&g_queue_lock);
  // The queue is empty: the thread only has to see the flag.
  WaitForSingleObject(g_writer_thread, 10000);
  CloseHandle(g_writer_thread);
  g_writer_thread = nullptr;
  VirtualFree(g_slot_memory, 0, MEM_RELEASE);
  g_slot_memory = nullptr;
}

void abandon_current_entry() {
  // Waits at most for the one block being written.
  DWORD start = GetTickCount();
  while (!TryAcquireSRWLockExclusive(&g_output_lock)) {
    if (GetTickCount() - start >= kAbandonWaitMs) return;
    Sleep(1);
  }
  if (g_output) {
    CloseHandle(g_output);
    g_output = nullptr;
    DeleteFileA(g_output_path);
  }
  // The lock stays held: the writer creates and writes nothing more before
  // the process ends.
}
