#include "archive/extraction.h"

#include "core/fatal.h"
#include "core/progress_report.h"
#include "core/state.h"
#include "archive/embedded_archive.h"
#include "archive/entry_checks.h"
#include "archive/entry_name.h"
#include "archive/output_writer.h"
#include "util/payload_text.h"
#include "util/text.h"

namespace {

const wchar_t kDamaged[] = L"不能读取文件信息。此文件可能已经损坏。";
const wchar_t kCannotExtract[] = L"不能解压缩当前文件。";

void set_status_text(const wchar_t* name);

// What the extraction shares with the thread that ends the run: the writer
// and, once the extraction failed, the box's message and the system's code.
struct Extraction {
  OutputWriter writer;
  // The reader's windows on the executable; one archive is read per run.
  ArchiveWindow window;
  // The entry the extraction reads, named on the status line when it fails.
  wchar_t reading_name[MAX_PATH];
  // The file handed to the writer for the entry being read, until its data
  // prove sound: damaged data leave no file cut short or wrong.
  wchar_t unproven_file[MAX_PATH];
  const wchar_t* failure;
  DWORD failure_code;
};
Extraction g_extraction;

// Every fault waits for the files already handed to the writer: the end
// must not cut one of them short. A failed creation or write comes first,
// as its entry came first. A fault of the reader names its entry on the
// status line, as the box's text does not. The box is the wizard window's
// to show, in front of it; silent mode shows it on this thread.
[[noreturn]] void fail(const wchar_t* message, DWORD system_code) {
  Extraction& extraction = g_extraction;
  extraction.writer.drain();
  DWORD write_error;
  if (extraction.writer.failed(&write_error)) {
    message = kCannotExtract;
    system_code = write_error;
  } else if (extraction.reading_name[0]) {
    set_status_text(extraction.reading_name);
  }
  extraction.failure = message;
  extraction.failure_code = system_code;
  if (report_extraction_failed()) ExitThread(1);
  end_failed_extraction();
}

// A failed system call, with its code.
[[noreturn]] void fail_system(const wchar_t* message) {
  DWORD code = GetLastError();
  fail(message, code);
}

// The writer failed; fail() takes its reason.
OutputBlock* claim_block(DWORD capacity) {
  OutputBlock* block = g_extraction.writer.claim(capacity);
  if (!block) fail(kCannotExtract, 0);
  return block;
}

// The reader failed: a read of the executable, or else damaged data, for
// which the system has no text.
[[noreturn]] void fatal_damaged() { fail(kDamaged, embedded_archive_read_error()); }

// A name the extraction refuses; no system call failed.
[[noreturn]] void fatal_refused_name() { fail(kCannotExtract, 0); }

// Ends the process for any verdict but kEntrySound: a failed reader with the
// system's code for the read, a name the extraction cannot hold as refused,
// the rest as damaged data.
void refuse_unless_sound(EntryVerdict verdict) {
  switch (verdict) {
    case kEntrySound:
      return;
    case kEntryUnreadable:
      fatal_damaged();
    case kEntryNameTooLong:
      fatal_refused_name();
    case kEntryCrcMismatch:
      fail(kDamaged, ERROR_CRC);
    default:
      fail(kDamaged, 0);
  }
}

// Reads the current entry's information and its name, stored in code page
// 936 or, when flagged, in UTF-8. A name that does not fit the buffer ends
// the process before anything of the entry is written; so does one whose
// bytes are no characters of its code page, as damaged, and one that would
// reach outside the destination.
void read_entry_name(unzFile archive, unz_file_info* info, wchar_t (&name)[MAX_PATH]) {
  char stored[kPathBufferSize];
  refuse_unless_sound(read_entry_record(archive, info, stored));
  switch (decode_entry_name(stored, info->flag, decode_payload_name, name, MAX_PATH)) {
    case kEntryNameSound:
      break;
    case kEntryNameNotText:
      fail(kDamaged, 0);
    case kEntryNameEscapes:
      fatal_refused_name();
  }
}

// True when `path` (absolute) lies in `directory` (absolute, ending with a
// backslash) or is that directory itself.
bool lies_within(const wchar_t* path, const wchar_t* directory) {
  size_t length = lstrlenW(directory);
  if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(length),
                     directory, static_cast<int>(length)) == CSTR_EQUAL) {
    return true;
  }
  // The directory itself, written without its final backslash.
  return lstrlenW(path) + 1 == static_cast<int>(length) &&
         CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(length) - 1,
                        directory, static_cast<int>(length) - 1) == CSTR_EQUAL;
}

// Joins directory and name and makes the result absolute; an entry that
// would not fit or that would land outside the destination is refused.
void entry_target_path(const wchar_t* directory, const wchar_t* name, wchar_t* path) {
  wchar_t joined[MAX_PATH];
  if (entry_name_escapes(name) || !text_format(joined, MAX_PATH, L"%ls%ls", directory, name)) {
    fatal_refused_name();
  }
  DWORD length = GetFullPathNameW(joined, MAX_PATH, path, nullptr);
  if (length == 0) fail_system(kCannotExtract);
  if (length >= MAX_PATH) fatal_refused_name();
  collapse_double_backslashes(path);
  if (!lies_within(path, directory)) fatal_refused_name();
}

void set_status_text(const wchar_t* name) {
  // Silent mode shows no status: the text is not even made.
  if (!progress_reported()) return;
  wchar_t status[256];
  if (!text_format(status, 256, L"正在解压缩 %ls ...", name)) drop_split_character(status);
  report_status(status);
}

void show_entry_done(DWORD number) { report_position(number); }

}  // namespace

// Hands the archive's current entry to the writer, to be written below
// `directory` (which ends with a backslash); checks its data as they are
// read; its name is left in `name`. Every failure ends the process.
void extract_current_entry(unzFile archive, const wchar_t* directory, DWORD number,
                           wchar_t (&name)[MAX_PATH]) {
  unz_file_info info;
  read_entry_name(archive, &info, name);
  text_copy(g_extraction.reading_name, MAX_PATH, name);

  bool has_separator = false;
  entry_last_component(name, &has_separator);

  wchar_t path[MAX_PATH];
  entry_target_path(directory, name, path);
  bool makes_directory = entry_is_directory(info, name);
  // A file is opened before its output exists: an unreadable entry leaves
  // no new file. A directory is opened only to compare its names.
  refuse_unless_sound(open_entry(archive, &g_extraction.window, info, makes_directory));
  if (makes_directory) {
    OutputBlock* block = claim_block(0);
    block->makes_directory = true;
    block->ends_entry = true;
    block->entry_number = number;
    text_copy(block->name, MAX_PATH, name);
    text_copy(block->path, MAX_PATH, path);
    g_extraction.writer.submit(block);
    return;
  }

  // The bytes go to the writer a block at a time; a block that reaches the
  // end of the data also closes the file.
  uLong total = 0;
  for (bool first = true;; first = false) {
    // A block takes the rest of the data and a byte more, up to a whole
    // block: a short read is then the end, as it is for a whole block.
    uLong left = info.uncompressed_size > total ? info.uncompressed_size - total : 0;
    DWORD capacity = left < kOutputBlockSize ? static_cast<DWORD>(left) + 1 : kOutputBlockSize;
    OutputBlock* block = claim_block(capacity);
    if (first) {
      block->starts_file = true;
      block->has_separator = has_separator;
      text_copy(block->name, MAX_PATH, name);
      text_copy(block->path, MAX_PATH, path);
    }
    int count = unzReadCurrentFile(archive, block->data, capacity);
    if (count < 0) fatal_damaged();
    block->length = static_cast<DWORD>(count);
    // The reader fills the block unless the data end: a short block is the
    // last one, and an empty one closes a file whose size is a multiple.
    block->ends_file = block->ends_entry = block->length < capacity;
    block->entry_number = number;
    block->dos_date = info.dosDate;
    total += block->length;
    bool last = block->ends_file;
    g_extraction.writer.submit(block);
    if (first) text_copy(g_extraction.unproven_file, MAX_PATH, path);
    if (last) break;
  }
  // Data whose CRC-32 disagrees with the archive, or a stream that ends
  // before the recorded size, are damaged, not extracted.
  refuse_unless_sound(close_entry(archive, info, total));
  g_extraction.unproven_file[0] = '\0';
}

DWORD WINAPI extraction_worker(LPVOID) {
  text_append(g_state.target_dir, kPathSize, L"\\");
  wchar_t absolute[MAX_PATH];
  DWORD length = GetFullPathNameW(g_state.target_dir, MAX_PATH, absolute, nullptr);
  if (length == 0) fail_system(kCannotExtract);
  if (length >= MAX_PATH) fail(kCannotExtract, 0);
  text_copy(g_state.target_dir, kPathSize, absolute);

  // The status line and the bar follow the files written, not the
  // decompression running ahead of them.
  OutputProgress progress = {set_status_text, show_entry_done};
  if (!g_extraction.writer.start(progress)) fail_system(kCannotExtract);
  unzFile archive =
      open_embedded_archive(&g_extraction.window, g_state.exe_path, g_state.archive_start,
                            g_state.config.zip_size);
  unz_global_info global;
  if (unzGetGlobalInfo(archive, &global) != UNZ_OK) fatal_damaged();
  DWORD count = global.number_entry;
  refuse_unless_sound(check_entry_sizes(archive, &g_extraction.window));
  report_range(count);

  for (DWORD k = 1; k <= count; ++k) {
    wchar_t name[MAX_PATH];
    extract_current_entry(archive, g_state.target_dir, k, name);
    // The cleanup deletes what the list names: an entry it would miss
    // without a word ends the run instead.
    if (!item_list_push(&g_state.extracted_list, name)) fail(kCannotExtract, ERROR_NOT_ENOUGH_MEMORY);
    if (k < count && unzGoToNextFile(archive) != UNZ_OK) fatal_damaged();
  }
  unzCloseCurrentFile(archive);
  unzClose(archive);
  g_extraction.writer.finish();
  DWORD write_error;
  if (g_extraction.writer.failed(&write_error)) fail(kCannotExtract, write_error);
  report_position(count);
  Sleep(300);
  report_extraction_done();
  return 0;
}

void end_failed_extraction() {
  // A file cut short by a failed write goes, and so does the file of an
  // entry whose data proved damaged, open or already closed: a file that
  // looks extracted must be whole. The files before it stay.
  DWORD write_error;
  bool write_failed = g_extraction.writer.failed(&write_error);
  if (write_failed || g_extraction.unproven_file[0]) g_extraction.writer.abandon();
  if (!write_failed && g_extraction.unproven_file[0]) DeleteFileW(g_extraction.unproven_file);
  fatal_error_code(g_extraction.failure, g_extraction.failure_code);
}

void abandon_extraction() { g_extraction.writer.abandon(); }
