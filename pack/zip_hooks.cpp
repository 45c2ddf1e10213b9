#include "pack/zip_hooks.h"

#include <errno.h>
#include <string.h>

#include "pack/file_io.h"

namespace vpack {
namespace {

voidpf ZCALLBACK pass_open(voidpf opaque, const char*, int) { return opaque; }

int ZCALLBACK nothing_to_close(voidpf, voidpf) { return 0; }

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

int ZCALLBACK memory_error(voidpf, voidpf) { return 0; }

bool region_seek(FileRegion* r) {
  uint64_t at = r->base + r->position;
  if (r->file_at == at) return true;
  if (!seek_file(r->file, at)) {
    r->failed = true;
    r->error_number = errno;
    r->file_at = UINT64_MAX;
    return false;
  }
  r->file_at = at;
  return true;
}

uLong ZCALLBACK region_read(voidpf, voidpf stream, void* buf, uLong size) {
  auto* r = static_cast<FileRegion*>(stream);
  // A stream switches between writing and reading only through a seek.
  r->file_at = UINT64_MAX;
  if (r->position >= r->end || !region_seek(r)) return 0;
  uint64_t left = r->end - r->position;
  size_t n = fread(buf, 1, left < size ? static_cast<size_t>(left) : size, r->file);
  r->position += n;
  r->file_at = UINT64_MAX;
  return static_cast<uLong>(n);
}

uLong ZCALLBACK region_write(voidpf, voidpf stream, const void* buf, uLong size) {
  auto* r = static_cast<FileRegion*>(stream);
  if (size > r->limit || r->position > r->limit - size) {
    r->failed = true;
    r->too_large = true;
    return 0;
  }
  if (!region_seek(r)) return 0;
  size_t n = fwrite(buf, 1, size, r->file);
  r->position += n;
  r->file_at += n;
  if (r->position > r->end) r->end = r->position;
  if (n != size) {
    r->failed = true;
    r->error_number = errno;
    r->file_at = UINT64_MAX;
  }
  return static_cast<uLong>(n);
}

long ZCALLBACK region_tell(voidpf, voidpf stream) {
  return static_cast<long>(static_cast<FileRegion*>(stream)->position);
}

long ZCALLBACK region_seek_hook(voidpf, voidpf stream, uLong offset, int origin) {
  auto* r = static_cast<FileRegion*>(stream);
  uint64_t base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = r->position;
  if (origin == ZLIB_FILEFUNC_SEEK_END) base = r->end;
  uint64_t target = base + offset;
  if (target > r->end) return -1;
  r->position = target;
  return 0;
}

int ZCALLBACK region_error(voidpf, voidpf stream) {
  return static_cast<FileRegion*>(stream)->failed ? 1 : 0;
}

}  // namespace

void memory_hooks(MemoryStream* stream, zlib_filefunc_def* hooks) {
  hooks->zopen_file = pass_open;
  hooks->zread_file = memory_read;
  hooks->zwrite_file = memory_write;
  hooks->ztell_file = memory_tell;
  hooks->zseek_file = memory_seek;
  hooks->zclose_file = nothing_to_close;
  hooks->zerror_file = memory_error;
  hooks->opaque = stream;
}

void file_region_hooks(FileRegion* region, zlib_filefunc_def* hooks) {
  hooks->zopen_file = pass_open;
  hooks->zread_file = region_read;
  hooks->zwrite_file = region_write;
  hooks->ztell_file = region_tell;
  hooks->zseek_file = region_seek_hook;
  hooks->zclose_file = nothing_to_close;
  hooks->zerror_file = region_error;
  hooks->opaque = region;
}

}  // namespace vpack
