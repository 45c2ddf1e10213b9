#include "pack/archive_writer.h"

#include <string.h>

#include <atomic>
#include <new>
#include <stdexcept>
#if !defined(_WIN32)
#include <thread>
#endif

#include <zip.h>
#include <zlib.h>

#include "config/payload_scan.h"
#include "pack/file_io.h"

namespace vpack {
namespace {

// minizip's file hooks over a growable byte string with a write position.
struct MemoryStream {
  std::string* bytes;
  size_t position;
  bool failed;
};

voidpf ZCALLBACK memory_open(voidpf opaque, const char*, int) { return opaque; }

uLong ZCALLBACK memory_read(voidpf, voidpf stream, void* buf, uLong size) {
  auto* s = static_cast<MemoryStream*>(stream);
  if (s->position >= s->bytes->size()) return 0;
  size_t n = s->bytes->size() - s->position;
  if (n > size) n = size;
  memcpy(buf, s->bytes->data() + s->position, n);
  s->position += n;
  return static_cast<uLong>(n);
}

uLong ZCALLBACK memory_write(voidpf, voidpf stream, const void* buf, uLong size) {
  auto* s = static_cast<MemoryStream*>(stream);
  const char* in = static_cast<const char*>(buf);
  size_t end = s->position + size;
  if (s->position == s->bytes->size()) {
    s->bytes->append(in, size);
  } else {
    if (end > s->bytes->size()) s->bytes->resize(end);
    memcpy(&(*s->bytes)[s->position], in, size);
  }
  s->position = end;
  return size;
}

long ZCALLBACK memory_tell(voidpf, voidpf stream) {
  return static_cast<long>(static_cast<MemoryStream*>(stream)->position);
}

long ZCALLBACK memory_seek(voidpf, voidpf stream, uLong offset, int origin) {
  auto* s = static_cast<MemoryStream*>(stream);
  size_t base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = s->position;
  if (origin == ZLIB_FILEFUNC_SEEK_END) base = s->bytes->size();
  size_t target = base + offset;
  if (target > s->bytes->size()) return -1;
  s->position = target;
  return 0;
}

int ZCALLBACK memory_close(voidpf, voidpf) { return 0; }

int ZCALLBACK memory_error(voidpf, voidpf stream) {
  return static_cast<MemoryStream*>(stream)->failed ? 1 : 0;
}

// Raw deflate as zip.c itself would run it (window bits -15, memory level 8).
bool deflate_raw(const std::string& in, int level, std::string* out) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return false;
  out->resize(deflateBound(&z, static_cast<uLong>(in.size())) + 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
  z.avail_out = static_cast<uInt>(out->size());
  int rc = deflate(&z, Z_FINISH);
  out->resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END;
}

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

const uint64_t kLargestEntry = kLargestSfxFile - 1;
const uint64_t kBatchBytes = 128u << 20;
const size_t kBatchEntries = 256;

// An entry's bytes made ready for writing.
struct Prepared {
  std::string loaded;  // the file's bytes when the entry names a source
  std::string packed;  // raw deflate output
  uLong crc = 0;
  int method = 0;
  bool ok = false;
  std::string error;
};

uint64_t expected_size(const Entry& entry) {
  if (entry.source.empty()) return entry.data.size();
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(entry.source, ec);
  return ec ? 0 : size;
}

void prepare(const Entry& entry, const ArchiveOptions& options, Prepared* p) {
  const std::string& name = entry.name;
  bool is_directory = !name.empty() && name.back() == '/';
  if (name.empty() || name.size() > 0xFFFF || name.find('\0') != std::string::npos ||
      entry.utf8_name.size() > 0xFFF0) {
    p->error = "entry name empty, too long or holding a zero byte";
    return;
  }
  const std::string* data = &entry.data;
  if (!entry.source.empty()) {
    if (!read_file(entry.source, &p->loaded, &p->error)) return;
    data = &p->loaded;
  }
  if (data->size() > kLargestEntry) {
    p->error = "entry " + name + " is larger than 2 GiB";
    return;
  }
  if (is_directory && !data->empty()) {
    p->error = "directory entry " + name + " has data";
    return;
  }
  p->crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data->data()),
                 static_cast<uInt>(data->size()));
  p->method = 0;
  if (!is_directory && options.level > 0) {
    if (!deflate_raw(*data, options.level, &p->packed)) {
      p->error = "deflate failed for entry " + name;
      return;
    }
    if (!options.store_if_larger || p->packed.size() < data->size()) p->method = Z_DEFLATED;
  }
  p->ok = true;
}

// A worker's exception would end the tool through std::terminate: it
// becomes the entry's error, reported in order like any other.
void prepare_guarded(const Entry& entry, const ArchiveOptions& options, Prepared* p) {
  try {
    prepare(entry, options, p);
  } catch (const std::bad_alloc&) {
    *p = Prepared();
    p->error = "out of memory while reading or compressing " + entry.name;
  } catch (const std::exception& e) {
    *p = Prepared();
    p->error = "entry " + entry.name + ": " + e.what();
  }
}

void prepare_all(const std::vector<Entry>& entries, size_t first, const ArchiveOptions& options,
                 std::vector<Prepared>* batch) {
#if defined(_GLIBCXX_HAS_GTHREADS) && !defined(_WIN32)
  size_t workers = std::thread::hardware_concurrency();
  if (workers > 8) workers = 8;
  if (workers > batch->size()) workers = batch->size();
  if (workers > 1) {
    std::atomic<size_t> next(0);
    auto work = [&]() {
      for (size_t i; (i = next.fetch_add(1)) < batch->size();)
        prepare_guarded(entries[first + i], options, &(*batch)[i]);
    };
    std::vector<std::thread> threads;
    for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    return;
  }
#endif
  for (size_t i = 0; i < batch->size(); ++i)
    prepare_guarded(entries[first + i], options, &(*batch)[i]);
}

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

bool write_entry(zipFile zf, const Entry& entry, const Prepared& p, int level,
                 std::string* error) {
  if (!p.ok) {
    *error = p.error;
    return false;
  }
  const std::string& data = entry.source.empty() ? entry.data : p.loaded;
  const std::string& body = p.method ? p.packed : data;
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
                                p.method, p.method ? level : 0, 1, -MAX_WBITS, 8,
                                Z_DEFAULT_STRATEGY, nullptr, 0, 0, flags);
  if (rc == ZIP_OK && !body.empty())
    rc = zipWriteInFileInZip(zf, body.data(), static_cast<unsigned>(body.size()));
  if (rc == ZIP_OK) rc = zipCloseFileInZipRaw(zf, static_cast<uLong>(data.size()), p.crc);
  if (rc != ZIP_OK) {
    *error = "cannot write entry " + entry.name + " (minizip error " + std::to_string(rc) + ")";
    return false;
  }
  return true;
}

}  // namespace

bool build_archive(const std::vector<Entry>& entries, const ArchiveOptions& options,
                   std::string* zip, std::string* error) {
  if (options.level < 0 || options.level > 9) {
    *error = "compression level " + std::to_string(options.level) + " is outside 0-9";
    return false;
  }
  if (options.comment.size() > 0xFFFF || options.comment.find('\0') != std::string::npos) {
    *error = "archive comment longer than 65,535 bytes or holding a zero byte";
    return false;
  }
  zip->clear();
  MemoryStream stream{zip, 0, false};
  zlib_filefunc_def hooks;
  hooks.zopen_file = memory_open;
  hooks.zread_file = memory_read;
  hooks.zwrite_file = memory_write;
  hooks.ztell_file = memory_tell;
  hooks.zseek_file = memory_seek;
  hooks.zclose_file = memory_close;
  hooks.zerror_file = memory_error;
  hooks.opaque = &stream;
  zipFile zf = zipOpen2("memory", APPEND_STATUS_CREATE, nullptr, &hooks);
  if (!zf) {
    *error = "cannot start the archive";
    return false;
  }

  // Room for every entry stored, so that the archive never moves in memory.
  uint64_t room = 22 + options.comment.size();
  for (const Entry& entry : entries)
    room += expected_size(entry) + 2 * (entry.name.size() + entry.utf8_name.size()) + 128;
  if (room < kLargestEntry) zip->reserve(static_cast<size_t>(room));

  size_t next = 0;
  while (next < entries.size()) {
    // A batch of entries is loaded and compressed in parallel, then written
    // in order; the bytes do not depend on the number of threads.
    size_t end = next;
    uint64_t batch_bytes = 0;
    while (end < entries.size() && (end == next || (batch_bytes < kBatchBytes &&
                                                    end - next < kBatchEntries))) {
      batch_bytes += expected_size(entries[end]);
      ++end;
    }
    std::vector<Prepared> batch(end - next);
    prepare_all(entries, next, options, &batch);
    for (size_t i = next; i < end; ++i) {
      if (!write_entry(zf, entries[i], batch[i - next], options.level, error)) {
        zipClose(zf, nullptr);
        return false;
      }
    }
    next = end;
  }
  int rc = zipClose(zf, options.comment.empty() ? nullptr : options.comment.c_str());
  if (rc != ZIP_OK) {
    *error = "cannot finish the archive (minizip error " + std::to_string(rc) + ")";
    return false;
  }
  return true;
}

bool build_archive(const std::vector<Entry>& entries, int level, std::string* zip,
                   std::string* error, const std::string& comment) {
  ArchiveOptions options;
  options.level = level;
  options.comment = comment;
  return build_archive(entries, options, zip, error);
}

}  // namespace vpack
