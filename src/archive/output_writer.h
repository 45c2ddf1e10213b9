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
  char name[MAX_PATH];   // the entry's name, for the status line
  char path[MAX_PATH];
  char* data;            // kOutputBlockSize bytes
};

// One read of the archive's data per block, as the extraction always wrote:
// the blocks decoded before damaged data stay written.
const DWORD kOutputBlockSize = 65535;

// The writer reports where it is: it starts an entry named `name`, or it has
// finished entry `number`.
struct OutputProgress {
  void (*entry_started)(const char* name);
  void (*entry_done)(DWORD number);
};

// Starts the writer thread; every failure ends the process.
void output_writer_start(const OutputProgress& progress);
// A free slot, waiting for one while the writer is behind.
OutputBlock* output_claim();
void output_submit(OutputBlock* block);
// Returns once every submitted slot is handled. Called before the extraction
// ends the process for a fault of its own, so that no file is left cut
// short by the exit; does not wait when called by the writer itself.
void output_writer_drain();
// Drains, then ends the writer thread and frees its slots.
void output_writer_finish();

// Removes the file being written, if any, and stops the writer from
// creating or writing more; for a quit in the middle of the extraction, just
// before the process ends. Complete files stay.
void abandon_current_entry();
