#include "fuzz_bodies.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include <unzip.h>

#include "archive/archive_window.h"
#include "archive/entry_checks.h"
#include "archive/entry_name.h"
#include "config/path_components.h"
#include "config/payload_scan.h"
#include "util/text.h"

namespace {

[[noreturn]] void broken(const char* promise) {
  fprintf(stderr, "fuzz: broken promise: %s\n", promise);
  abort();
}

void require(bool holds, const char* promise) {
  if (!holds) broken(promise);
}

// One character a byte; 0xE0 to 0xEF become halves of surrogate pairs, so
// that texts may hold a pair cut in two.
std::wstring widen(const std::string& bytes) {
  std::wstring out;
  for (unsigned char c : bytes) {
    out += c >= 0xE0 && c <= 0xEF ? static_cast<wchar_t>(0xD800 + (c - 0xE0) * 0x80)
                                  : static_cast<wchar_t>(c);
  }
  return out;
}

// Takes bytes off the front of the input.
struct Input {
  const uint8_t* data;
  size_t size;

  uint8_t byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
    return v;
  }
  // Up to the next zero byte (consumed) or the end.
  std::string text() {
    std::string out;
    while (size > 0) {
      uint8_t c = byte();
      if (c == 0) break;
      out += static_cast<char>(c);
    }
    return out;
  }
  std::wstring wide_text() { return widen(text()); }
};

// A text in a heap block of exactly `size` bytes, so that a write past it
// is caught; `text` is cut to fit.
struct Buffer {
  std::vector<wchar_t> chars;
  Buffer(const std::wstring& text, size_t size) : chars(size, L'\0') {
    size_t n = text.size() < size ? text.size() : size - 1;
    wmemcpy(chars.data(), text.data(), n);
  }
  wchar_t* get() { return chars.data(); }
};

bool is_substring(const wchar_t* part, const wchar_t* whole) {
  return wcsstr(whole, part) != nullptr;
}

// ---------------------------------------------------------------- payload

struct Image {
  std::vector<uint8_t> bytes;
  uint32_t fail_from;  // reads touching this offset or beyond fail
};

long read_image(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  const Image* image = static_cast<const Image*>(context);
  if (static_cast<uint64_t>(offset) + size > image->fail_from) return -1;
  if (offset >= image->bytes.size()) return 0;
  uint32_t n = static_cast<uint32_t>(image->bytes.size()) - offset;
  if (n > size) n = size;
  memcpy(buffer, image->bytes.data() + offset, n);
  return static_cast<long>(n);
}

// The first window at or after `first` and at most `last` that holds the
// pattern within the image; -1 when none.
long plain_scan(const std::vector<uint8_t>& bytes, const unsigned char* pattern, uint32_t first,
                uint32_t last) {
  for (uint64_t at = first; at <= last && at + 4 <= bytes.size(); ++at) {
    // Straight to the next place where the pattern's first byte stands.
    const void* next = memchr(bytes.data() + at, pattern[0], bytes.size() - at);
    if (!next) return -1;
    at = static_cast<const uint8_t*>(next) - bytes.data();
    if (at > last || at + 4 > bytes.size()) return -1;
    if (memcmp(bytes.data() + at, pattern, 4) == 0) return static_cast<long>(at);
  }
  return -1;
}

}  // namespace

void fuzz_payload_scan(const uint8_t* data, size_t size) {
  // Pieces of the input are laid at offsets near the limits and near the
  // edges of the scan's 64 KiB blocks; everything else is filler.
  static const uint32_t kAnchors[] = {
      kMarkerScanFirst,          kMarkerScanFirst + 65536 - 3, kMarkerScanFirst + 2 * 65533,
      kMarkerScanLast,           kMarkerScanLast + 4,          kMarkerScanLast + 65533,
      kArchiveCounterLimit,      kArchiveCounterLimit + 4,     kArchiveCounterLimit + 8,
      kMarkerScanLast - 65533};
  Input in{data, size};
  uint8_t mode = in.byte();
  // Kept from run to run: a fresh image of most of a megabyte each time
  // would cost more than the scan.
  static Image image;
  uint32_t end = 0;
  std::vector<std::pair<uint32_t, std::string>> pieces;
  for (int i = 0; i < 3 && in.size > 0; ++i) {
    uint32_t anchor = kAnchors[in.byte() % (sizeof kAnchors / sizeof kAnchors[0])];
    uint32_t at = anchor + static_cast<int8_t>(in.byte());
    std::string piece = in.text();
    pieces.emplace_back(at, piece);
    if (at + piece.size() > end) end = at + static_cast<uint32_t>(piece.size());
  }
  // The file ends right after the last piece, or a little later.
  end += mode & 7;
  image.bytes.assign(end, (mode & 8) ? 'x' : 0);
  for (const auto& piece : pieces) {
    memcpy(image.bytes.data() + piece.first, piece.second.data(), piece.second.size());
  }
  image.fail_from = (mode & 16) ? end / 2 + in.u32() % (end / 2 + 1) : 0xFFFFFFFFu;

  PayloadLocation location = {};
  PayloadScanResult result = locate_payload(read_image, &image, &location);

  unsigned char marker[4];
  payload_marker_bytes(marker);
  static const unsigned char signature[4] = {0x50, 0x4B, 0x03, 0x04};
  long m = plain_scan(image.bytes, marker, kMarkerScanFirst, kMarkerScanLast);
  long p = m < 0 ? -1 : plain_scan(image.bytes, signature, static_cast<uint32_t>(m) + 4,
                                   kArchiveCounterLimit + 4);
  if (image.fail_from == 0xFFFFFFFFu) {
    require(result != kPayloadReadFailed, "no read failed, so none is reported");
    require((result == kPayloadFound) == (p >= 0), "found exactly when a plain scan finds both");
    if (result == kPayloadFound) {
      require(location.marker_offset == static_cast<uint32_t>(m), "the first marker is taken");
      require(location.archive_start + 4 == static_cast<uint32_t>(p),
              "the first signature after the marker is taken");
    }
  } else if (result == kPayloadFound) {
    // Whatever failed, a result that is given must be right.
    require(location.marker_offset == static_cast<uint32_t>(m) &&
                location.archive_start + 4 == static_cast<uint32_t>(p),
            "a found payload is where a plain scan finds it");
  }
}

// ------------------------------------------------------------------- text

void fuzz_text(const uint8_t* data, size_t size) {
  Input in{data, size};
  int n = static_cast<int8_t>(in.byte());
  int capacity = 1 + in.byte();
  std::wstring text = in.wide_text();
  std::wstring needle = in.wide_text();
  std::wstring replacement = in.wide_text();
  const wchar_t* t = text.c_str();
  const wchar_t* nd = needle.c_str();

  int found = str_find(n, t, nd);
  if (found != 0) {
    require(found >= 1 && static_cast<size_t>(found - 1) + needle.size() <= text.size() &&
                wmemcmp(t + found - 1, nd, needle.size()) == 0 && found - 1 >= (n < 0 ? 0 : n),
            "str_find gives a place of the needle at or after start");
  }
  const wchar_t* searched = str_search(t, nd);
  if (searched) {
    require(searched >= t && wcsncmp(searched, nd, needle.size()) == 0,
            "str_search points at the needle");
  }
  for (int index = -1; index < 4; ++index) {
    const wchar_t* field = str_field(t, nd, index);
    require(field == kSharedEmptyText || (field[0] != L'\0' && is_substring(field, t)),
            "a field is a non-empty part of the text");
  }
  require(wcslen(str_left(t, n)) <= text.size(), "str_left is no longer than the text");
  const wchar_t* mid = str_mid(t, n, capacity);
  require(is_substring(mid, t) && wcslen(mid) <= static_cast<size_t>(capacity),
          "str_mid is a part of at most n characters");
  const wchar_t* right = str_right(t, n);
  require(right >= t && right <= t + text.size(), "str_right points into the text");

  int a = str_compare_nocase(t, nd);
  int b = str_compare_nocase(nd, t);
  require((a == 0) == (b == 0) && (a == 0 || a == -b), "str_compare_nocase is antisymmetric");

  Buffer replaced(text, static_cast<size_t>(capacity));
  int changed = str_replace_first(replaced.get(), nd, replacement.c_str(), capacity);
  require(wcslen(replaced.get()) < static_cast<size_t>(capacity),
          "str_replace_first stays within its size");
  if (!changed) require(wcscmp(replaced.get(), Buffer(text, static_cast<size_t>(capacity)).get()) == 0,
                        "a refused replacement changes nothing");

  Buffer path(text, kTextPathSize);
  size_t before = wcslen(path.get());
  bool network = path.get()[0] == L'\\' && path.get()[1] == L'\\';
  collapse_double_backslashes(path.get());
  require(wcslen(path.get()) <= before, "collapsing never lengthens a path");
  int pair = str_find(0, path.get(), L"\\\\");
  require(pair == 0 || (network && pair == 1),
          "only a network path's leading pair of backslashes is left");

  Buffer dropped(text, text.size() + 1);
  drop_split_character(dropped.get());
  size_t kept = wcslen(dropped.get());
  require(text.compare(0, kept, dropped.get()) == 0 && kept + 1 >= text.size(),
          "dropping a split character keeps the text before it");
  require(kept == 0 || dropped.get()[kept - 1] < 0xD800 || dropped.get()[kept - 1] > 0xDBFF,
          "no first half of a surrogate pair is left without its second");

  Buffer copied(L"", static_cast<size_t>(capacity));
  int whole = text_copy(copied.get(), capacity, t);
  require(whole == (text.size() < static_cast<size_t>(capacity)), "text_copy says when it cut");
  text_append(copied.get(), capacity, nd);
  require(wcslen(copied.get()) < static_cast<size_t>(capacity), "text_append stays within");
  Buffer formatted(L"", static_cast<size_t>(capacity));
  text_format(formatted.get(), capacity, L"%ls|%d|%ls", t, n, nd);
  require(wcslen(formatted.get()) < static_cast<size_t>(capacity), "text_format stays within");
}

// ----------------------------------------------------------- folder paths

namespace {

// Made-up machine: the variables' folders and the environment's values
// come from the input.
struct Machine {
  std::wstring folder;       // for %desktop%
  std::wstring target_dir;   // for %targetdir%
  std::wstring environment;  // for %temp%
};

void expand_environment(void* context, const wchar_t* path, wchar_t* out, size_t size) {
  const Machine* machine = static_cast<const Machine*>(context);
  std::wstring expanded;
  for (const wchar_t* c = path; *c;) {
    if (wcsncmp(c, L"%temp%", 6) == 0) {
      expanded += machine->environment;
      c += 6;
    } else {
      expanded += *c++;
    }
  }
  // As the system does: nothing at all when the result does not fit.
  if (expanded.size() + 1 > size) {
    out[0] = L'\0';
    return;
  }
  wmemcpy(out, expanded.c_str(), expanded.size() + 1);
}

int variable_folder(void* context, const wchar_t* component, wchar_t* out) {
  const Machine* machine = static_cast<const Machine*>(context);
  const std::wstring* folder = nullptr;
  if (str_compare_nocase(component, L"%desktop%") == 0) folder = &machine->folder;
  if (str_compare_nocase(component, L"%targetdir%") == 0) folder = &machine->target_dir;
  if (!folder) return 0;
  // Folders are read into 260-byte buffers.
  text_copy(out, kTextPathSize, folder->c_str());
  return 1;
}

void expand_checked(const std::wstring& text, Machine* machine) {
  Buffer path(text, kExpandedPathSize);
  bool whole = false;
  const wchar_t* result = expand_path_components(path.get(), expand_environment, variable_folder,
                                                 machine, &whole);
  require(wcslen(result) <= kExpandedPathSize - 2, "an expanded path has at most 259 characters");
  // A path that asked for the environment's value and got it whole holds it.
  const bool only_temp = text.find(L"%temp%") != std::wstring::npos &&
                         std::count(text.begin(), text.end(), L'%') == 2 &&
                         text.find(L'$') == std::wstring::npos;
  if (whole && only_temp && !machine->environment.empty() &&
      machine->environment.back() != L'\\') {
    require(wcsstr(result, machine->environment.c_str()) != nullptr,
            "a whole expansion holds the environment's value");
  }
  require(wcslen(path.get()) < kExpandedPathSize, "the path stays within its buffer");
}

std::wstring repeated(uint8_t length, wchar_t fill, bool trailing_backslash) {
  std::wstring out(length, fill);
  if (trailing_backslash && !out.empty()) out.back() = L'\\';
  return out;
}

}  // namespace

void fuzz_folder_path(const uint8_t* data, size_t size) {
  Input in{data, size};
  uint8_t shape = in.byte();
  Machine machine;
  machine.folder = repeated(in.byte(), L'D', shape & 1);
  machine.target_dir = repeated(in.byte(), L'T', shape & 2);
  // Environment values of any length: the expansion may outgrow a path
  // many times over.
  uint16_t environment_length = static_cast<uint16_t>(in.byte() | in.byte() << 8);
  machine.environment.assign(environment_length % 4096, L'E');
  if ((shape & 4) && !machine.environment.empty()) machine.environment.back() = L'\\';
  if (shape & 8) machine.folder += in.wide_text();
  expand_checked(in.wide_text(), &machine);
}

void fuzz_shortcut_split(const uint8_t* data, size_t size) {
  Input in{data, size};
  Machine machine;
  machine.folder = repeated(in.byte(), L'D', true);
  machine.target_dir = repeated(in.byte(), L'T', true);
  // A shortcut value is read into 1,024 bytes.
  std::wstring value = widen(std::string(reinterpret_cast<const char*>(in.data), in.size));
  value = value.substr(0, wcsnlen(value.c_str(), 1023));
  const wchar_t* link = str_field(value.c_str(), L"|", 0);
  const wchar_t* target = str_field(value.c_str(), L"|", 1);
  for (const wchar_t* field : {link, target}) {
    require(field == kSharedEmptyText || is_substring(field, value.c_str()),
            "a shortcut field is a part of its value");
    if (field[0]) expand_checked(field, &machine);
  }
  // The two fields may overlap: a value that starts with "|" keeps that
  // separator in its link field, and the target is read from the first "|".
  if (target[0]) require(link[0] != L'\0', "a value with a target has a link field");
}

// ------------------------------------------------------------ entry names

void fuzz_entry_name(const uint8_t* data, size_t size) {
  // Names reach the checks from a 260-byte buffer.
  std::string name(reinterpret_cast<const char*>(data), size);
  name = name.substr(0, strnlen(name.c_str(), 259));
  const char* n = name.c_str();
  bool has_separator = false;
  const char* last = entry_last_component(n, &has_separator);
  require(last >= n && last <= n + name.size(), "the last component lies in the name");
  bool escapes = entry_name_escapes(n);

  // A plain walk over the components, character by character.
  bool separator_seen = false;
  bool should_escape = name[0] == '/' || name[0] == '\\';
  size_t component_start = 0;
  int depth = 0;
  for (size_t i = 0; i <= name.size();) {
    char c = n[i];
    bool is_end = c == '\0';
    if (c == ':') should_escape = true;
    if (is_end || c == '/' || c == '\\') {
      std::string component = name.substr(component_start, i - component_start);
      if (component == "..") {
        should_escape = true;
        --depth;
      } else if (!component.empty() && component != ".") {
        ++depth;
      }
      if (depth < 0) should_escape = true;
      if (!is_end) separator_seen = true;
      component_start = i + 1;
      if (is_end) break;
      ++i;
      continue;
    }
    i += gbk_char_width(n + i);
  }
  require(has_separator == separator_seen, "a separator is seen exactly when there is one");
  require(escapes == should_escape, "a name escapes exactly when a component walk leaves");
  // The last component starts the name or follows a separator, and holds
  // none at a character boundary. A lead byte takes the byte after it, as
  // the system's own character steps do, even where that byte is a "/".
  require(last == n || last[-1] == '/' || last[-1] == '\\',
          "the last component starts the name or follows a separator");
  for (const char* c = last; *c; c += gbk_char_width(c)) {
    require(*c != '/' && *c != '\\', "the last component holds no separator");
  }
}

// ------------------------------------------------------------- zip reader

namespace {

struct MemoryFile {
  const uint8_t* data;
  uint32_t size;
};

long read_memory_file(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  const MemoryFile* file = static_cast<const MemoryFile*>(context);
  if (offset >= file->size) return 0;
  uint32_t n = file->size - offset < size ? file->size - offset : size;
  memcpy(buffer, file->data + offset, n);
  return static_cast<long>(n);
}

}  // namespace

void fuzz_zip_reader(const uint8_t* data, size_t size) {
  if (size < 1) return;
  // The first byte moves the end the reader is shown (a ZipSize off by a
  // little either way).
  int shift = static_cast<int8_t>(data[0]) / 16;
  MemoryFile file = {data + 1, static_cast<uint32_t>(size - 1)};
  static ArchiveWindow window;
  if (!archive_window_open(&window, read_memory_file, &file, file.size, 0,
                           file.size + static_cast<uint32_t>(shift))) {
    return;
  }
  zlib_filefunc_def access;
  archive_window_hooks(&window, &access);
  unzFile archive = unzOpen2("memory", &access);
  unz_global_info global;
  if (unzGetGlobalInfo(archive, &global) != UNZ_OK) {
    require(archive == nullptr, "only a failed open fails the global information");
    return;
  }
  static char buffer[65535];
  uLong total = 0;
  EntryVerdict verdict = check_entry_sizes(archive, &window);
  for (uLong k = 1; verdict == kEntrySound && k <= global.number_entry && k <= 2000; ++k) {
    unz_file_info info;
    char name[kPathBufferSize];
    verdict = read_entry_record(archive, &info, name);
    if (verdict == kEntryUnreadable) break;
    require(strnlen(name, sizeof name) <= info.size_filename,
            "the name is no longer than recorded");
    if (verdict != kEntrySound) break;
    bool directory = entry_is_directory(info, name);
    verdict = open_entry(archive, &window, info, directory);
    if (verdict == kEntrySound && !directory) {
      uint32_t delivered = 0;
      for (;;) {
        int count = unzReadCurrentFile(archive, buffer, sizeof buffer);
        if (count <= 0) break;
        require(static_cast<uLong>(count) <= sizeof buffer, "a read fills at most the buffer");
        delivered += static_cast<uint32_t>(count);
        require(delivered <= info.uncompressed_size,
                "no more than the recorded size is delivered");
        total += static_cast<uLong>(count);
        // Enough for a bomb: the point is the parsing, not the volume.
        if (total > (64u << 20)) break;
      }
      verdict = close_entry(archive, info, delivered);
      if (total > (64u << 20)) break;
    }
    if (k < global.number_entry && unzGoToNextFile(archive) != UNZ_OK) break;
  }
  unzCloseCurrentFile(archive);
  unzClose(archive);
}
