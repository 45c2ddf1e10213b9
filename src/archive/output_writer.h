// Writes the extracted files on a thread of their own, so that decompressing
// the next entries overlaps with creating, writing, stamping and closing the
// last ones: under Wine each creation and close waits for the server.
#pragma once
#include <windows.h>

// A slot of decompressed bytes on its way to a file. The extraction fills
// the fields of a claimed slot, then submits it; the writer handles it in
// order.
struct OutputBlock {
  bool makes_directory;  // creates the folder `path` and its parents
  bool starts_file;      // creates the file `path` first
  bool has_separator;    // `path` has a folder part the writer may create
  bool ends_file;        // stamps the time and closes the file after `data`
  bool ends_entry;       // the last block of entry `entry_number`
  DWORD entry_number;    // counted from 1
  unsigned long dos_date;
  DWORD length;
  wchar_t name[MAX_PATH];  // the entry's name, for the status line
  wchar_t path[MAX_PATH];
  char* data;              // `capacity` bytes
  DWORD capacity;
};

// One read of the archive's data per block.
const DWORD kOutputBlockSize = 65535;

// The writer reports where it is: it starts an entry named `name`, or it has
// finished entry `number`.
struct OutputProgress {
  void (*entry_started)(const wchar_t* name);
  void (*entry_done)(DWORD number);
};

// The slots share one ring of bytes, each taking only what it holds: the
// decompression runs hundreds of small files ahead of the writes, far
// enough to have the large entries at the end of an archive decompressed
// while the small ones before them are still being created.
const int kOutputSlotCount = 512;
const DWORD kOutputRingSize = 8 << 20;

// The writer's state, shared by the extraction that fills the slots, the
// writer thread and the thread that ends the run. A failure of the system
// does not end the process here: the writer keeps its reason and lets the
// remaining slots go, and the extraction hands the failure on. Zero-filled
// (as a static object is) it is ready to start.
class OutputWriter {
 public:
  // Starts the writer thread; false when the system refuses it.
  bool start(const OutputProgress& progress);
  // A free slot of `capacity` bytes (at most kOutputBlockSize), waiting for
  // one while the writer is behind; null once a creation or a write failed.
  OutputBlock* claim(DWORD capacity);
  void submit(OutputBlock* block);
  // Returns once every submitted slot is handled and its file closed.
  void drain();
  // Drains, then ends the writer thread and frees its slots.
  void finish();
  // True once a creation or a write failed; `code` is the system's reason.
  bool failed(DWORD* code);
  // Removes the file being written, if any, and stops the writer from
  // creating or writing more; for an end in the middle of the extraction,
  // just before the process ends. Complete files stay. Safe to call again
  // on the thread that abandoned the run.
  void abandon();

 private:
  static DWORD WINAPI run(LPVOID writer);
  // Written files are closed on the system's pool of threads: under Wine a
  // close waits for the server, and the next creation need not wait
  // behind it.
  static DWORD WINAPI close_file(LPVOID file);
  void hand_over(HANDLE file);
  void wait_for_closes();
  bool write_block(const OutputBlock& block);
  bool create(const wchar_t* path);
  bool create_folders(const wchar_t* path);
  bool open(const OutputBlock& block);
  bool write(const char* data, DWORD size);
  DWORD room_for(DWORD capacity) const;

  OutputBlock slots_[kOutputSlotCount];
  char* slot_memory_;
  DWORD ring_next_;   // where the next slot's bytes go
  int first_filled_;  // the next slot the writer handles
  int filled_;        // slots submitted and not yet handled
  bool stopping_;
  bool failed_;
  DWORD failure_code_;
  SRWLOCK queue_lock_;
  CONDITION_VARIABLE slot_filled_;
  CONDITION_VARIABLE slot_freed_;
  HANDLE thread_;
  OutputProgress progress_;

  // The file being written. A run that ends while an entry is written must
  // not leave the file cut short looking complete, so the ending thread
  // removes it. The lock is held while the file or a folder is created,
  // while each block is written and while the file is closed.
  SRWLOCK output_lock_;
  HANDLE output_;
  wchar_t output_path_[MAX_PATH];
  volatile DWORD abandoned_by_;  // the thread that holds the lock for good
};
