#include "config/load_configuration.h"

#include "core/fatal.h"
#include "core/state.h"
#include "config/folder_vars.h"
#include "config/payload_scan.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

const char kSection[] = "QV";
const char kReadFailed[] = "Could not read the source SFX.";
const char kDamaged[] = "不能读取文件信息。此文件可能已经损坏。";

// The block goes through the system's INI reader by way of this file, which
// must not outlive start-up, not even a start-up that ends in a fatal error.
PathBuffer g_block_file;

void delete_block_file() {
  if (g_block_file[0]) DeleteFileA(g_block_file);
  g_block_file[0] = 0;
}

long read_executable(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  DWORD got = 0;
  if (!read_file_at(static_cast<HANDLE>(context), offset, buffer, size, &got)) return -1;
  return static_cast<long>(got);
}

// Copies the block [marker, archive signature) into a new temporary file.
void write_block_file(uint32_t marker_offset, uint32_t block_size) {
  char* block = static_cast<char*>(
      VirtualAlloc(nullptr, block_size + 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!block) fatal_error(kReadFailed);
  DWORD got = 0;
  if (!read_file_at(g_state.exe_handle, marker_offset, block, block_size, &got)) {
    fatal_error(kReadFailed);
  }
  if (got != block_size) fatal_error_code(kReadFailed, ERROR_HANDLE_EOF);

  char temp_dir[kPathSize];
  DWORD dir_length = GetTempPathA(sizeof temp_dir, temp_dir);
  if (dir_length == 0 || dir_length >= sizeof temp_dir ||
      GetTempFileNameA(temp_dir, kSection, 0, g_block_file) == 0) {
    g_block_file[0] = 0;
    // A folder name too long for the buffer is no failed call.
    fatal_error_code("不能写临时文件。", dir_length >= sizeof temp_dir ? 0 : GetLastError());
  }
  set_exit_hook(delete_block_file);
  HANDLE file = CreateFileA(g_block_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) fatal_error("不能写临时文件。");
  DWORD written = 0;
  BOOL ok = WriteFile(file, block, block_size, &written, nullptr);
  DWORD write_error = ok ? 0 : GetLastError();
  CloseHandle(file);
  VirtualFree(block, 0, MEM_RELEASE);
  // A block cut short would silently lose settings.
  if (!ok || written != block_size) fatal_error_code("不能写临时文件。", write_error);
}

const char* g_ini_file;

void read_text(const char* key, const char* fallback, char* out, DWORD size) {
  GetPrivateProfileStringA(kSection, key, fallback, out, size, g_ini_file);
}

int read_integer(const char* key) {
  return static_cast<int>(GetPrivateProfileIntA(kSection, key, 0, g_ini_file));
}

void read_settings() {
  SfxConfig& config = g_state.config;
  config.zip_size = read_integer("ZipSize");
  config.delete_after = read_integer("Delete");
  config.no_gui = read_integer("NoGUI");
  read_text("Name", "Unnamed Archive", config.archive_name, sizeof config.archive_name);
  read_text("Exec", kSharedEmptyText, config.exec_command, sizeof config.exec_command);
  read_text("DefaultPath", kSharedEmptyText, g_state.typed_path, kPathSize);
  read_text("Intro", kSharedEmptyText, config.intro_text, sizeof config.intro_text);
  char auto_extract[kSwitchBufferSize];
  char open_folder[kSwitchBufferSize];
  read_text("AutoExtract", "FALSE", auto_extract, sizeof auto_extract);
  read_text("OpenFolder", "FALSE", open_folder, sizeof open_folder);
  read_text("URL", kSharedEmptyText, config.url, sizeof config.url);

  // Shortcut0, Shortcut1, ... up to the first empty one; the list hands them
  // back from the highest number down.
  static char shortcut[kShortcutBufferSize];
  for (int index = 0;; ++index) {
    char key[32];
    text_format(key, sizeof key, "Shortcut%d", index);
    read_text(key, kSharedEmptyText, shortcut, sizeof shortcut);
    if (!shortcut[0]) break;
    item_list_push(&g_state.shortcut_list, shortcut);
  }

  // "\n" written in the block stands for a line break on the welcome page.
  // 乗 followed by n is no line break: its trail byte is not a backslash.
  for (char* c = config.intro_text; *c; c += gbk_char_width(c)) {
    if (c[0] == '\\' && c[1] == 'n') {
      c[0] = ' ';
      c[1] = '\n';
    }
  }
  config.auto_extract = str_compare_nocase(auto_extract, "1") == 0;
  config.open_folder = str_compare_nocase(open_folder, "1") == 0;
}

void derive_destination() {
  if (!g_state.typed_path[0]) {
    text_copy(g_state.typed_path, kPathSize, g_state.config.auto_extract ? "$temp$" : "$curdir$");
  }
  const char* expanded = expand_path_variables(g_state.typed_path);
  text_copy(g_state.typed_path, sizeof g_state.typed_path, expanded);
  text_copy(g_state.target_dir, sizeof g_state.target_dir, expanded);
  collapse_double_backslashes(g_state.typed_path);
  collapse_double_backslashes(g_state.target_dir);
}

}  // namespace

void apply_configuration_file(const char* ini_path) {
  g_ini_file = ini_path;
  read_settings();
  derive_destination();
  g_ini_file = nullptr;
}

void load_configuration() {
  DWORD length = GetModuleFileNameA(nullptr, g_state.exe_path, kPathSize);
  if (length == 0) fatal_error(kReadFailed);
  if (length >= kPathSize) fatal_error_code(kReadFailed, ERROR_INSUFFICIENT_BUFFER);
  HANDLE exe = CreateFileA(g_state.exe_path, GENERIC_READ, FILE_SHARE_READ, nullptr,
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
