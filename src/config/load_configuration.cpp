#include "config/load_configuration.h"

#include "core/fatal.h"
#include "core/state.h"
#include "config/folder_vars.h"
#include "config/payload_scan.h"
#include "util/fs.h"
#include "util/payload_text.h"
#include "util/text.h"

namespace {

const wchar_t kSection[] = L"QV";
const wchar_t kReadFailed[] = L"Could not read the source SFX.";
const wchar_t kDamaged[] = L"不能读取文件信息。此文件可能已经损坏。";
const wchar_t kCannotWriteTemp[] = L"不能写临时文件。";

// The block goes through the system's INI reader by way of this file, which
// must not outlive start-up, not even a start-up that ends in a fatal error.
PathBuffer g_block_file;

void delete_block_file() {
  if (g_block_file[0]) DeleteFileW(g_block_file);
  g_block_file[0] = 0;
}

// Copies the block [marker, archive signature) into a new temporary file.
void write_block_file(uint32_t marker_offset, uint32_t block_size) {
  char* block = static_cast<char*>(
      VirtualAlloc(nullptr, block_size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!block) fatal_error(kReadFailed);
  DWORD got = 0;
  if (!read_file_at(g_state.exe_handle, marker_offset, block, block_size, &got)) {
    fatal_error(kReadFailed);
  }
  if (got != block_size) fatal_error_code(kReadFailed, ERROR_HANDLE_EOF);

  wchar_t temp_dir[kPathSize];
  DWORD dir_length = GetTempPathW(kPathSize, temp_dir);
  if (dir_length == 0 || dir_length >= kPathSize ||
      GetTempFileNameW(temp_dir, kSection, 0, g_block_file) == 0) {
    g_block_file[0] = 0;
    // A folder name too long for the buffer is no failed call.
    fatal_error_code(kCannotWriteTemp, dir_length >= kPathSize ? 0 : GetLastError());
  }
  set_exit_hook(delete_block_file);
  if (!write_configuration_file(block, block_size, g_block_file)) fatal_error(kCannotWriteTemp);
  VirtualFree(block, 0, MEM_RELEASE);
}

const wchar_t* g_ini_file;

void read_text(const wchar_t* key, const wchar_t* fallback, wchar_t* out, DWORD size) {
  GetPrivateProfileStringW(kSection, key, fallback, out, size, g_ini_file);
}

int read_integer(const wchar_t* key) {
  return static_cast<int>(GetPrivateProfileIntW(kSection, key, 0, g_ini_file));
}

void read_settings() {
  SfxConfig& config = g_state.config;
  config.zip_size = read_integer(L"ZipSize");
  config.delete_after = read_integer(L"Delete");
  config.no_gui = read_integer(L"NoGUI");
  read_text(L"Name", L"Unnamed Archive", config.archive_name, kNameBufferSize);
  read_text(L"Exec", kSharedEmptyText, config.exec_command, kExecBufferSize);
  read_text(L"DefaultPath", kSharedEmptyText, g_state.typed_path, kPathSize);
  read_text(L"Intro", kSharedEmptyText, config.intro_text, kIntroBufferSize);
  wchar_t auto_extract[kSwitchBufferSize];
  wchar_t open_folder[kSwitchBufferSize];
  read_text(L"AutoExtract", L"FALSE", auto_extract, kSwitchBufferSize);
  read_text(L"OpenFolder", L"FALSE", open_folder, kSwitchBufferSize);
  read_text(L"URL", kSharedEmptyText, config.url, kUrlBufferSize);

  // Shortcut0, Shortcut1, ... up to the first empty one; the list hands them
  // back from the highest number down.
  static wchar_t shortcut[kShortcutBufferSize];
  for (int index = 0;; ++index) {
    wchar_t key[32];
    text_format(key, 32, L"Shortcut%d", index);
    read_text(key, kSharedEmptyText, shortcut, kShortcutBufferSize);
    if (!shortcut[0]) break;
    if (!item_list_push(&g_state.shortcut_list, shortcut)) {
      fatal_error_code(kReadFailed, ERROR_NOT_ENOUGH_MEMORY);
    }
  }

  // "\n" written in the block stands for a line break on the welcome page.
  for (wchar_t* c = config.intro_text; *c; ++c) {
    if (c[0] == L'\\' && c[1] == L'n') {
      c[0] = L' ';
      c[1] = L'\n';
    }
  }
  config.auto_extract = str_compare_nocase(auto_extract, L"1") == 0;
  config.open_folder = str_compare_nocase(open_folder, L"1") == 0;
}

void derive_destination() {
  if (!g_state.typed_path[0]) {
    text_copy(g_state.typed_path, kPathSize, g_state.config.auto_extract ? L"$temp$" : L"$curdir$");
  }
  const wchar_t* expanded = expand_path_variables(g_state.typed_path);
  text_copy(g_state.typed_path, 520, expanded);
  text_copy(g_state.target_dir, kPathSize, expanded);
  collapse_double_backslashes(g_state.typed_path);
  collapse_double_backslashes(g_state.target_dir);
}

}  // namespace

bool write_configuration_file(const char* block, uint32_t size, const wchar_t* path) {
  // Each byte becomes at most one character, after the mark.
  wchar_t* wide = static_cast<wchar_t*>(VirtualAlloc(
      nullptr, (size + 1) * sizeof(wchar_t), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!wide) return false;
  wide[0] = 0xFEFF;
  // The builder writes only characters of the code page; a byte that is
  // none reads as the default character, as it always did.
  const int characters = MultiByteToWideChar(kPayloadCodePage, 0, block, static_cast<int>(size),
                                             wide + 1, static_cast<int>(size));
  const DWORD bytes = static_cast<DWORD>(characters + 1) * sizeof(wchar_t);
  DWORD written = 0;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, wide, bytes, &written, nullptr);
  // A file cut short would silently lose settings.
  DWORD error = !ok ? GetLastError() : written != bytes ? ERROR_DISK_FULL : NO_ERROR;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  VirtualFree(wide, 0, MEM_RELEASE);
  SetLastError(error);
  return error == NO_ERROR;
}

void apply_configuration_file(const wchar_t* ini_path) {
  g_ini_file = ini_path;
  read_settings();
  derive_destination();
  g_ini_file = nullptr;
}

void load_configuration() {
  DWORD length = GetModuleFileNameW(nullptr, g_state.exe_path, kPathSize);
  if (length == 0) fatal_error(kReadFailed);
  if (length >= kPathSize) fatal_error_code(kReadFailed, ERROR_INSUFFICIENT_BUFFER);
  HANDLE exe = CreateFileW(g_state.exe_path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (exe == INVALID_HANDLE_VALUE) fatal_error(kReadFailed);
  g_state.exe_handle = exe;

  PayloadLocation location = {};
  switch (locate_payload(read_executable, exe, &location)) {
    case kPayloadFound:
      break;
    case kPayloadReadFailed:
      fatal_error(kReadFailed);
    case kPayloadNotFound:
      fatal_error_code(kDamaged, 0);
  }
  g_state.archive_start = static_cast<LONG>(location.archive_start);

  // The block runs from the marker up to the signature at archive_start + 4.
  write_block_file(location.marker_offset,
                   location.archive_start + 4 - location.marker_offset);
  apply_configuration_file(g_block_file);
  delete_block_file();
  set_exit_hook(nullptr);
}
