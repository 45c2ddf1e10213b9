#include "pack/source_tree.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "core/file_limits.h"
#include "pack/codepage.h"
#include "pack/file_io.h"
#include "pack/windows_names.h"

namespace vpack {
namespace {

namespace fs = std::filesystem;

// The shortest destination, a drive's root such as C:\, takes 3 of the 259
// bytes of the stub's path buffers.
const size_t kLongestName = kLongestPath - 3;
const uint64_t kLargestTotal = kLargestSfxFile - 1;

bool modification_time(const fs::path& path, const TimeZone& zone, uint16_t* date,
                       uint16_t* time, std::string* error) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD d = 0, t = 0;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (zone.local && !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local))) {
    *error = "cannot read the time stamp of " + display_path(path);
    return false;
  }
  if (!zone.local) {
    ULARGE_INTEGER ticks;  // 100 ns units
    ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
    ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
    ticks.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(zone.offset_minutes) *
                                             60 * 10000000);
    local.dwLowDateTime = ticks.LowPart;
    local.dwHighDateTime = ticks.HighPart;
  }
  if (!FileTimeToDosDateTime(&local, &d, &t)) {
    // Outside the DOS range: before 1980 or after 2107.
    SYSTEMTIME st;
    FileTimeToSystemTime(&local, &st);
    dos_date_time(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, date, time);
    return true;
  }
  *date = d;
  *time = t;
  return true;
#else
  struct stat st;
  struct tm local;
  if (stat(path.c_str(), &st) != 0) {
    *error = "cannot read the time stamp of " + display_path(path);
    return false;
  }
  time_t shifted = st.st_mtime + static_cast<time_t>(zone.offset_minutes) * 60;
  if (zone.local ? !localtime_r(&st.st_mtime, &local) : !gmtime_r(&shifted, &local)) {
    *error = "cannot read the time stamp of " + display_path(path);
    return false;
  }
  dos_date_time(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec, date, time);
  return true;
#endif
}

bool name_component_ok(const std::string& utf8, std::string* error, const fs::path& where) {
  for (unsigned char c : utf8) {
    if (c < 0x20 || std::string("\\:*?\"<>|").find(static_cast<char>(c)) != std::string::npos) {
      *error = display_path(where) + ": the name holds a character Windows file names cannot";
      return false;
    }
  }
  std::string problem = component_problem(utf8);
  if (!problem.empty()) {
    *error = display_path(where) + ": " + problem;
    return false;
  }
  return true;
}

// Names refused are collected, so that one run lists them all; past this
// many only their number is given.
const size_t kMostRefusedShown = 20;

struct Walk {
  fs::path root;
  std::vector<Entry>* entries;
  uint64_t total;
  TimeZone zone;
  std::vector<std::pair<std::string, std::string>> refused;  // path, message
};

void refuse(Walk* w, const fs::path& path, const std::string& message) {
  w->refused.emplace_back(display_path(path), message);
}

bool walk(Walk* w, const fs::path& dir, const std::string& prefix, const std::string& utf8_prefix,
          std::string* error) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) {
    *error = "cannot list " + display_path(dir) + ": " + ec.message();
    return false;
  }
  for (const fs::directory_entry& item : it) {
    const fs::path& path = item.path();
    fs::file_status status = fs::symlink_status(path, ec);
    if (ec) {
      *error = "cannot read " + display_path(path) + ": " + ec.message();
      return false;
    }
    if (fs::is_symlink(status)) {
      refuse(w, path, display_path(path) + ": symbolic links are refused");
      continue;
    }
    bool is_dir = fs::is_directory(status);
    if (!is_dir && !fs::is_regular_file(status)) {
      refuse(w, path, display_path(path) + ": special files are refused");
      continue;
    }
    std::string utf8 = path.filename().u8string();
    std::string problem;
    if (!name_component_ok(utf8, &problem, path)) {
      refuse(w, path, problem);
      continue;
    }
    std::string component;
    if (!utf8_to_cp936(utf8, &component)) {
      refuse(w, path,
             display_path(path) + ": the name has a character code page 936 cannot hold");
      continue;
    }
    Entry e;
    e.name = prefix + component + (is_dir ? "/" : "");
    e.utf8_name = utf8_prefix + utf8 + (is_dir ? "/" : "");
    if (e.name.size() > kLongestName) {
      refuse(w, path,
             display_path(path) + ": the entry name is " + std::to_string(e.name.size()) +
                 " bytes in code page 936; at most " + std::to_string(kLongestName) +
                 " fit the stub's paths even below a drive's root such as C:\\");
      continue;
    }
    if (!modification_time(path, w->zone, &e.dos_date, &e.dos_time, error)) return false;
    if (!is_dir) {
      uintmax_t size = fs::file_size(path, ec);
      if (ec) {
        *error = "cannot read the size of " + display_path(path) + ": " + ec.message();
        return false;
      }
      w->total += size;
      if (w->total > kLargestTotal) {
        *error = display_path(path) + ": the files add up to more than 2 GiB, and the stub "
                 "reads no self-extracting file of 2 GiB or more; " + kOverLimitAdvice;
        return false;
      }
      e.source = path;
    }
    std::string name = e.name, utf8_name = e.utf8_name;
    w->entries->push_back(std::move(e));
    if (is_dir && !walk(w, path, name, utf8_name, error)) return false;
  }
  return true;
}

}  // namespace

void dos_date_time(int year, int month, int day, int hour, int minute, int second,
                   uint16_t* date, uint16_t* time) {
  if (year < 1980) {
    year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  } else if (year > 2107) {
    year = 2107, month = 12, day = 31, hour = 23, minute = 59, second = 58;
  }
  if (second > 59) second = 59;  // a leap second
  *date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  *time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

bool parse_time_zone(const std::string& text, TimeZone* zone) {
  std::string lower;
  for (char c : text) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower == "local") {
    *zone = TimeZone();
    return true;
  }
  if (lower == "utc") {
    *zone = TimeZone{false, 0};
    return true;
  }
  if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) return false;
  size_t colon = text.find(':');
  std::string hours = text.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
  std::string minutes = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  if (colon == std::string::npos && hours.size() == 4) {
    minutes = hours.substr(2);
    hours = hours.substr(0, 2);
  }
  if (colon != std::string::npos && minutes.size() != 2) return false;
  if (hours.empty() || hours.size() > 2) return false;
  for (char c : hours + minutes)
    if (c < '0' || c > '9') return false;
  int h = std::stoi(hours), m = minutes.empty() ? 0 : std::stoi(minutes);
  int offset = (text[0] == '-' ? -1 : 1) * (h * 60 + m);
  if (m > 59 || offset < -12 * 60 || offset > 14 * 60) return false;
  *zone = TimeZone{false, offset};
  return true;
}

bool collect_directory(const fs::path& root, std::vector<Entry>* entries, std::string* error,
                       const TimeZone& zone) {
  entries->clear();
  std::error_code ec;
  fs::file_status status = fs::status(root, ec);
  if (ec || !fs::exists(status)) {
    *error = "source directory not found: " + display_path(root);
    return false;
  }
  if (!fs::is_directory(status)) {
    *error = "not a directory: " + display_path(root);
    return false;
  }
  Walk w{root, entries, 0, zone, {}};
  if (!walk(&w, root, std::string(), std::string(), error)) return false;
  // Byte order of the full names puts "a/" before "a/b" and keeps a
  // directory's contents together.
  std::sort(entries->begin(), entries->end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  size_t first = 0, second = 0;
  if (find_case_collision(*entries, &first, &second)) {
    auto shown = [&](size_t i) {
      std::string name = (*entries)[i].utf8_name;
      if (!name.empty() && name.back() == '/') name.pop_back();
      return display_path(root / fs::u8path(name));
    };
    w.refused.emplace_back(shown(first), shown(first) + " and " + shown(second) +
                           ": the names differ only in letter case, and Windows keeps one "
                           "file for both");
  }
  if (w.refused.empty()) return true;
  std::sort(w.refused.begin(), w.refused.end());
  error->clear();
  for (size_t i = 0; i < w.refused.size() && i < kMostRefusedShown; ++i)
    *error += (i ? "\n" : "") + w.refused[i].second;
  if (w.refused.size() > kMostRefusedShown)
    *error += "\nand " + std::to_string(w.refused.size() - kMostRefusedShown) +
              " more names refused";
  return false;
}

}  // namespace vpack
