#include "pack/entry_prep.h"

#include <string.h>

#include <atomic>
#include <new>
#include <stdexcept>
#if !defined(_WIN32)
#include <thread>
#endif

#include <zlib.h>

#include "core/file_limits.h"

namespace vpack {

const uint64_t kLargestEntry = kLargestSfxFile - 1;

namespace {

// Raw deflate as zip.c itself would run it (window bits -15, memory level 8).
struct Deflater {
  z_stream z;
  bool live = false;
  explicit Deflater(int level) {
    memset(&z, 0, sizeof z);
    live = deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() {
    if (live) deflateEnd(&z);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
};

bool deflate_whole(const std::string& in, int level, std::string* out) {
  Deflater d(level);
  if (!d.live) return false;
  out->resize(deflateBound(&d.z, static_cast<uLong>(in.size())) + 16);
  d.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  d.z.avail_in = static_cast<uInt>(in.size());
  d.z.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
  d.z.avail_out = static_cast<uInt>(out->size());
  int rc = deflate(&d.z, Z_FINISH);
  out->resize(d.z.total_out);
  return rc == Z_STREAM_END;
}

uLong crc_of(uLong crc, const char* bytes, size_t n) {
  return crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(n));
}

void prepare_small(const Entry& entry, const ArchiveOptions& options, const StreamLimits& limits,
                   Prepared* p) {
  const std::string* data = &entry.data;
  if (!entry.source.empty()) {
    // The batch counted it as small: a file that has grown since is no
    // reason to hold more than a large entry's threshold in memory.
    uint64_t most = limits.large_entry < kLargestEntry ? limits.large_entry : kLargestEntry;
    if (!read_file(entry.source, &p->loaded, &p->error, most)) return;
    data = &p->loaded;
  }
  if (data->size() > kLargestEntry) {
    p->error = "entry " + entry.name + " is larger than 2 GiB";
    return;
  }
  bool is_directory = entry.name.back() == '/';
  if (is_directory && !data->empty()) {
    p->error = "directory entry " + entry.name + " has data";
    return;
  }
  p->size = data->size();
  p->crc = crc_of(crc32(0L, Z_NULL, 0), data->data(), data->size());
  p->method = 0;
  if (!is_directory && options.level > 0) {
    if (!deflate_whole(*data, options.level, &p->packed)) {
      p->error = "deflate failed for entry " + entry.name;
      return;
    }
    if (!options.store_if_larger || p->packed.size() < data->size()) p->method = Z_DEFLATED;
  }
  // Only the form that is written stays in memory until the entry's turn.
  std::string().swap(p->method ? p->loaded : p->packed);
  p->ok = true;
}

// Reads the source in chunks, deflating it into the spool file; when the
// deflated form is not smaller, the writer copies the source itself instead.
void prepare_large(const Entry& entry, const ArchiveOptions& options, const StreamLimits& limits,
                   const std::filesystem::path& spool_path, Prepared* p) {
  if (options.level == 0) {
    p->from_source = true;  // checksummed while it is copied
    p->ok = true;
    return;
  }
  FileHandle in(open_file(entry.source, "rb"));
  if (!in.get()) {
    p->error = "cannot open " + display_path(entry.source) + ": " + reason();
    return;
  }
  if (!p->spool.create(spool_path, &p->error)) return;
  Deflater d(options.level);
  if (!d.live) {
    p->error = "deflate failed for entry " + entry.name;
    return;
  }
  std::string input(limits.chunk, '\0'), output(limits.chunk, '\0');
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0, packed = 0;
  for (bool last = false; !last;) {
    size_t n = fread(&input[0], 1, input.size(), in.get());
    if (ferror(in.get())) {
      p->error = "cannot read " + display_path(entry.source) + ": " + reason();
      return;
    }
    last = n < input.size();
    crc = crc_of(crc, input.data(), n);
    size += n;
    if (size > kLargestEntry) {
      p->error = "entry " + entry.name + " is larger than 2 GiB";
      return;
    }
    d.z.next_in = reinterpret_cast<Bytef*>(&input[0]);
    d.z.avail_in = static_cast<uInt>(n);
    int rc;
    do {
      d.z.next_out = reinterpret_cast<Bytef*>(&output[0]);
      d.z.avail_out = static_cast<uInt>(output.size());
      rc = deflate(&d.z, last ? Z_FINISH : Z_NO_FLUSH);
      size_t made = output.size() - d.z.avail_out;
      if (rc == Z_STREAM_ERROR) {
        p->error = "deflate failed for entry " + entry.name;
        return;
      }
      if (fwrite(output.data(), 1, made, p->spool.get()) != made) {
        p->error = "cannot write " + display_path(spool_path) + ": " + reason();
        return;
      }
      packed += made;
    } while (d.z.avail_out == 0 || (last && rc != Z_STREAM_END));
  }
  if (fflush(p->spool.get()) != 0) {
    p->error = "cannot write " + display_path(spool_path) + ": " + reason();
    return;
  }
  p->size = size;
  p->crc = crc;
  p->method = !options.store_if_larger || packed < size ? Z_DEFLATED : 0;
  if (p->method == 0) {
    p->spool.remove();
    p->from_source = true;
  }
  p->ok = true;
}

void prepare(const Entry& entry, const ArchiveOptions& options, const StreamLimits& limits,
             const std::filesystem::path& spool_path, Prepared* p) {
  const std::string& name = entry.name;
  if (name.empty() || name.size() > 0xFFFF || name.find('\0') != std::string::npos ||
      entry.utf8_name.size() > 0xFFF0) {
    p->error = "entry name empty, too long or holding a zero byte";
    return;
  }
  if (p->large)
    prepare_large(entry, options, limits, spool_path, p);
  else
    prepare_small(entry, options, limits, p);
}

// A worker's exception would end the tool through std::terminate: it
// becomes the entry's error, reported in order like any other. Resetting
// the entry removes its spool file.
void prepare_guarded(const Entry& entry, const ArchiveOptions& options,
                     const StreamLimits& limits, const std::filesystem::path& spool,
                     size_t index, Prepared* p) {
  bool large = p->large;
  try {
    std::filesystem::path spool_path = spool;
    if (large) spool_path += "." + std::to_string(index);
    prepare(entry, options, limits, spool_path, p);
    return;
  } catch (const std::bad_alloc&) {
    *p = Prepared();
    p->error = "out of memory while reading or compressing " + entry.name;
  } catch (const std::exception& e) {
    *p = Prepared();
    p->error = "entry " + entry.name + ": " + e.what();
  } catch (...) {
    *p = Prepared();
    p->error = "entry " + entry.name + ": unexpected internal error";
  }
  p->large = large;
}

}  // namespace

void prepare_batch(const std::vector<Entry>& entries, size_t first, const ArchiveOptions& options,
                   const StreamLimits& limits, const std::filesystem::path& spool,
                   std::vector<Prepared>* batch) {
#if defined(_GLIBCXX_HAS_GTHREADS) && !defined(_WIN32)
  size_t workers = std::thread::hardware_concurrency();
  if (workers > 8) workers = 8;
  if (workers > batch->size()) workers = batch->size();
  if (workers > 1) {
    std::atomic<size_t> next(0);
    auto work = [&]() {
      for (size_t i; (i = next.fetch_add(1)) < batch->size();)
        prepare_guarded(entries[first + i], options, limits, spool, first + i, &(*batch)[i]);
    };
    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    {
      // The interrupt handler runs on this thread: it waits for a spool
      // file a worker is creating instead of stopping the worker midway.
      SignalsBlocked blocked;
      for (size_t t = 1; t < workers; ++t) {
        try {
          threads.emplace_back(work);
        } catch (const std::exception&) {
          break;  // fewer threads: the ones running and this one share the batch
        }
      }
    }
    work();
    for (std::thread& t : threads) t.join();
    return;
  }
#endif
  for (size_t i = 0; i < batch->size(); ++i)
    prepare_guarded(entries[first + i], options, limits, spool, first + i, &(*batch)[i]);
}

}  // namespace vpack
