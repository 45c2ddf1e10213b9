#include "pack/archive_writer.h"

#include <string.h>

#include <zip.h>
#include <zlib.h>

#include "pack/entry_prep.h"
#include "pack/file_io.h"
#include "pack/zip_hooks.h"

namespace vpack {
namespace {

const size_t kBatchEntries = 256;

tm_zip tm_from_dos(uint16_t date, uint16_t time) {
  // zip.c uses the DOS word only when it is non-zero; these fields give the
  // same word back, so a zero date and time stay zero.
  tm_zip t;
  t.tm_year = 1980 + (date >> 9);
  t.tm_mon = ((date >> 5) & 15) - 1;
  t.tm_mday = date & 31;
  t.tm_hour = time >> 11;
  t.tm_min = (time >> 5) & 63;
  t.tm_sec = (time & 31) * 2;
  return t;
}

const uint64_t kUnknownSize = UINT64_MAX;

// The source's size now, or kUnknownSize. A source whose size cannot be
// read counts as large where entries are streamed: it is never held whole.
uint64_t expected_size(const Entry& entry) {
  if (entry.source.empty()) return entry.data.size();
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(entry.source, ec);
  return ec ? kUnknownSize : size;
}

uint64_t counted(uint64_t size) { return size == kUnknownSize ? 0 : size; }

// The Unicode Path extra field: tag, size, version 1, the CRC-32 of the
// stored name (so that a tool can tell a stale field), the UTF-8 name.
std::string unicode_path_field(const Entry& entry) {
  if (entry.utf8_name.empty() || entry.utf8_name == entry.name) return std::string();
  std::string field;
  auto put16 = [&](uint32_t v) {
    field += static_cast<char>(v & 0xFF);
    field += static_cast<char>((v >> 8) & 0xFF);
  };
  uLong name_crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(entry.name.data()),
                         static_cast<uInt>(entry.name.size()));
  put16(0x7075);
  put16(static_cast<uint32_t>(1 + 4 + entry.utf8_name.size()));
  field += '\x01';
  put16(static_cast<uint32_t>(name_crc));
  put16(static_cast<uint32_t>(name_crc >> 16));
  field += entry.utf8_name;
  return field;
}

// Copies a large entry's bytes into the archive in chunks: the deflated
// bytes from its spool file, or the source itself when it is stored. A
// stored source is checksummed again and must be what was deflated.
bool copy_large(zipFile zf, const Entry& entry, Prepared* p, int level, size_t chunk,
                std::string* error) {
  FileHandle source(p->from_source ? open_file(entry.source, "rb") : nullptr);
  FILE* in = p->from_source ? source.get() : p->spool.get();
  if (p->from_source) {
    if (!in) {
      *error = "cannot open " + display_path(entry.source) + ": " + reason();
      return false;
    }
  } else if (!seek_file(in, 0)) {
    *error = "cannot read " + display_path(p->spool.path()) + ": " + reason();
    return false;
  }
  std::string buffer(chunk, '\0');
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0;
  size_t n;
  while ((n = fread(&buffer[0], 1, buffer.size(), in)) > 0) {
    if (p->from_source) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
      size += n;
      if (size > kLargestEntry) {
        *error = "entry " + entry.name + " is larger than 2 GiB";
        return false;
      }
    }
    int rc = zipWriteInFileInZip(zf, buffer.data(), static_cast<unsigned>(n));
    if (rc != ZIP_OK) {
      *error = "cannot write entry " + entry.name + " (minizip error " + std::to_string(rc) + ")";
      return false;
    }
  }
  if (ferror(in)) {
    std::string what = display_path(p->from_source ? entry.source : p->spool.path());
    *error = "cannot read " + what + ": " + reason();
    return false;
  }
  if (p->from_source) {
    if (level > 0 && (crc != p->crc || size != p->size)) {
      *error = display_path(entry.source) + " changed while it was packed";
      return false;
    }
    p->crc = crc;
    p->size = size;
  }
  return true;
}

bool write_entry(zipFile zf, const Entry& entry, Prepared* p, int level, size_t chunk,
                 std::string* error) {
  if (!p->ok) {
    *error = p->error;
    return false;
  }
  bool is_directory = entry.name.back() == '/';
  zip_fileinfo info;
  memset(&info, 0, sizeof info);
  info.tmz_date = tm_from_dos(entry.dos_date, entry.dos_time);
  info.dosDate = (static_cast<uLong>(entry.dos_date) << 16) | entry.dos_time;
  info.external_fa = is_directory ? 0x10 : 0x20;  // directory / archive attribute
  uLong flags = entry.utf8_flag ? 0x800 : 0;
  std::string extra = unicode_path_field(entry);
  const void* extra_bytes = extra.empty() ? nullptr : extra.data();
  uInt extra_size = static_cast<uInt>(extra.size());
  int rc = zipOpenNewFileInZip4(zf, entry.name.c_str(), &info, extra_bytes, extra_size,
                                extra_bytes, extra_size, nullptr,
                                p->method, p->method ? level : 0, 1, -MAX_WBITS, 8,
                                Z_DEFAULT_STRATEGY, nullptr, 0, 0, flags);
  if (rc == ZIP_OK && p->large) {
    if (!copy_large(zf, entry, p, level, chunk, error)) return false;
  } else if (rc == ZIP_OK) {
    const std::string& data = entry.source.empty() ? entry.data : p->loaded;
    const std::string& body = p->method ? p->packed : data;
    if (!body.empty()) rc = zipWriteInFileInZip(zf, body.data(), static_cast<unsigned>(body.size()));
  }
  if (rc == ZIP_OK) rc = zipCloseFileInZipRaw(zf, static_cast<uLong>(p->size), p->crc);
  if (rc != ZIP_OK) {
    *error = "cannot write entry " + entry.name + " (minizip error " + std::to_string(rc) + ")";
    return false;
  }
  return true;
}

// Closes an archive left unfinished by a failure or an exception, so that
// minizip's own memory goes too; finish() closes it with its comment.
class OpenArchive {
 public:
  explicit OpenArchive(zipFile zf) : zf_(zf) {}
  ~OpenArchive() {
    if (zf_) zipClose(zf_, nullptr);
  }
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;
  zipFile get() const { return zf_; }
  bool finish(const std::string& comment, std::string* error) {
    int rc = zipClose(zf_, comment.empty() ? nullptr : comment.c_str());
    zf_ = nullptr;
    if (rc == ZIP_OK) return true;
    *error = "cannot finish the archive (minizip error " + std::to_string(rc) + ")";
    return false;
  }

 private:
  zipFile zf_;
};

bool check_options(const ArchiveOptions& options, std::string* error) {
  if (options.level < 0 || options.level > 9) {
    *error = "compression level " + std::to_string(options.level) + " is outside 0-9";
    return false;
  }
  if (options.comment.size() > 0xFFFF || options.comment.find('\0') != std::string::npos) {
    *error = "archive comment longer than 65,535 bytes or holding a zero byte";
    return false;
  }
  return true;
}

// Every entry and the end of the archive. A batch of entries is loaded and
// compressed in parallel, then written in order: the bytes depend neither on
// the number of threads nor on the limits.
bool write_entries(zipFile zf, const std::vector<Entry>& entries, const ArchiveOptions& options,
                   const StreamLimits& limits, const std::filesystem::path& spool,
                   std::string* error) {
  std::vector<uint64_t> sizes(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) sizes[i] = expected_size(entries[i]);
  size_t next = 0;
  while (next < entries.size()) {
    size_t end = next;
    uint64_t in_memory = 0, spooled = 0;
    std::vector<Prepared> batch;
    while (end < entries.size() &&
           (end == next || (in_memory < limits.batch_bytes && spooled < limits.batch_spool &&
                            end - next < kBatchEntries))) {
      batch.emplace_back();
      batch.back().large = !entries[end].source.empty() && sizes[end] > limits.large_entry;
      (batch.back().large ? spooled : in_memory) += counted(sizes[end]);
      ++end;
    }
    prepare_batch(entries, next, options, limits, spool, &batch);
    for (size_t i = next; i < end; ++i) {
      Prepared* p = &batch[i - next];
      if (!write_entry(zf, entries[i], p, options.level, limits.chunk, error)) return false;
      *p = Prepared();  // its memory and spool file go before the next entry's turn
    }
    next = end;
  }
  return true;
}

}  // namespace

bool build_archive(const std::vector<Entry>& entries, const ArchiveOptions& options,
                   std::string* zip, std::string* error) {
  if (!check_options(options, error)) return false;
  zip->clear();
  MemoryStream stream{zip, 0};
  zlib_filefunc_def hooks;
  memory_hooks(&stream, &hooks);
  OpenArchive archive(zipOpen2("memory", APPEND_STATUS_CREATE, nullptr, &hooks));
  if (!archive.get()) {
    *error = "cannot start the archive";
    return false;
  }
  // Room for every entry stored, so that the archive never moves in memory.
  uint64_t room = 22 + options.comment.size();
  for (const Entry& entry : entries)
    room += counted(expected_size(entry)) + 2 * (entry.name.size() + entry.utf8_name.size()) + 128;
  if (room < kLargestEntry) zip->reserve(static_cast<size_t>(room));

  // Every entry is read and deflated whole.
  StreamLimits whole;
  whole.large_entry = UINT64_MAX;
  whole.batch_bytes = 128u << 20;
  return write_entries(archive.get(), entries, options, whole, std::filesystem::path(), error) &&
         archive.finish(options.comment, error);
}

bool build_archive(const std::vector<Entry>& entries, int level, std::string* zip,
                   std::string* error, const std::string& comment) {
  ArchiveOptions options;
  options.level = level;
  options.comment = comment;
  return build_archive(entries, options, zip, error);
}

bool write_archive(const std::vector<Entry>& entries, const ArchiveOptions& options,
                   const ArchiveTarget& target, uint64_t* size, std::string* error,
                   const StreamLimits& limits) {
  if (!check_options(options, error)) return false;
  FileRegion region;
  region.file = target.file;
  region.base = target.base;
  region.limit = target.limit;
  zlib_filefunc_def hooks;
  file_region_hooks(&region, &hooks);
  bool ok;
  {
    OpenArchive archive(zipOpen2("archive", APPEND_STATUS_CREATE, nullptr, &hooks));
    if (!archive.get()) {
      *error = "cannot start the archive";
      return false;
    }
    ok = write_entries(archive.get(), entries, options, limits, target.spool, error) &&
         archive.finish(options.comment, error);
  }
  // The file's own failure says more than minizip's error number.
  if (region.too_large) {
    *error = std::string("the self-extracting file grows past 2 GiB while the archive is "
                         "written, and the stub reads it only below 2 GiB; ") + kOverLimitAdvice;
    ok = false;
  } else if (region.failed) {
    *error = "cannot write " + target.name + ": " + strerror(region.error_number);
    ok = false;
  }
  *size = region.end;
  return ok;
}

uint64_t archive_size_bound(const std::vector<Entry>& entries, const ArchiveOptions& options) {
  // Local header and central record per entry, name and extra field in
  // both, then the end record and the comment.
  uint64_t size = 22 + options.comment.size();
  for (const Entry& entry : entries)
    size += 30 + 46 + 2 * (entry.name.size() + unicode_path_field(entry).size()) +
            counted(expected_size(entry));
  return size;
}

}  // namespace vpack
